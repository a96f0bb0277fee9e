// What an import of an archive would change on the installed server,
// worked out without changing anything: the INI keys the merge would change
// (found by running the import's own INI merge on copies of the two INI
// files in a scratch folder), the domains that would be created or left
// alone as duplicates (read-only lookups of their entry names), the files
// the extraction and the alert-file moves would write or remove, and the
// calls into the server's own components that would follow.
//
// One plan serves both the preview an administrator reads before an import
// and the list of files saved before the import writes anything.
#ifndef PORTELLE_IMPORT_IMPORTPLAN_H_
#define PORTELLE_IMPORT_IMPORTPLAN_H_

#include <string>
#include <vector>

#include "package/ServerSettings.pb.h"
#include "platform/string_table.h"

namespace import_plan {

// The two INI files the merge writes, relative to the install folder.
inline constexpr std::u16string_view kMainIniName = u"bsnscan.ini";
inline constexpr std::u16string_view kPrivateIniName = u"private\\bsnserver.ini";

struct IniChange {
  std::u16string file;  // kMainIniName or kPrivateIniName
  std::u16string section;
  std::u16string key;
  bool had_value = false;  // the key exists before the import
  std::u16string current;
  bool has_value = false;  // the key exists after the import
  std::u16string next;
  // The archive holds another value, but the import keeps the target's
  // (its server ID, its move directories, a larger reserved disk space).
  bool kept = false;
  std::u16string archive_value;  // kept: what the archive holds
};

enum class DomainFate {
  kCreated,      // no domain of that entry name exists: it would be created
  kDuplicate,    // left alone and listed in the duplicate-domain report
  kNotImported,  // a value does not fit the creation record
};

struct DomainPlan {
  std::u16string uid;
  std::u16string entry_name;
  std::u16string domain_name;
  std::u16string parent_uid;
  DomainFate fate = DomainFate::kCreated;
};

struct ImportPlan {
  std::u16string archive;
  std::u16string install;
  std::vector<IniChange> ini;
  std::vector<DomainPlan> domains;  // in package order
  // Files relative to the install folder, with backslashes.
  std::vector<std::u16string> files_replaced;  // exist and would be overwritten
  std::vector<std::u16string> files_added;     // do not exist yet
  // Gone after the import: moved into "Admin\", or the DLP template copy
  // that the template migration deletes after its run.
  std::vector<std::u16string> files_removed;
  // The calls into the server's components, as the import would make them.
  std::vector<std::u16string> component_calls;

  // Every file the import would change, create or remove, once each: both
  // INI files and the files above.
  std::vector<std::u16string> TouchedFiles() const;
};

struct PlanOptions {
  bool ini = true;      // run the INI merge on copies
  bool domains = true;  // look the entry names up in the database service
};

// Checks the whole archive as the import does (every member's name below
// the install folder, every member's data, a readable settings package),
// without showing anything, then works the plan out. False when the
// archive would be refused, with *failure saying why in the user's terms
// (nothing is written then either).
bool MakePlan(const std::u16string& install_path, const std::u16string& archive_path,
              const PlanOptions& options, ImportPlan* plan, platform::AppMessage* failure);

}  // namespace import_plan

#endif  // PORTELLE_IMPORT_IMPORTPLAN_H_
