// What an export archive holds, decoded for a person or a script to check
// before the archive is imported: its members, and the settings package in
// its skva.dat (versions, every domain record, the INI sections carried).
//
// Archives are outside input. The reader trusts nothing in them: member
// counts, names and sizes are bounded, nothing is written to disk, and the
// package goes through the same checks the import applies.
#ifndef PORTELLE_EXAMINE_ARCHIVEEXAMINER_H_
#define PORTELLE_EXAMINE_ARCHIVEEXAMINER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace examine {

// More members than an export ever writes by far.
inline constexpr size_t kMaxMembers = 65535;
// The largest skva.dat member read (its compressed package).
inline constexpr uint64_t kMaxPackageMemberBytes = uint64_t{256} << 20;

struct MemberInfo {
  std::string name;  // as stored, in the system code page
  uint64_t size = 0;
  uint64_t compressed_size = 0;
  int method = 0;  // 0 stored, 8 deflated
};

// One ScanConfigs record. Texts are the UTF-16LE fields as UTF-8; a field
// of odd byte length is shown with its last byte left out.
struct DomainRecord {
  std::string uid;
  size_t uid_bytes = 0;
  std::string parent_uid;
  size_t parent_uid_bytes = 0;
  std::string domain_name;
  size_t domain_name_bytes = 0;
  std::optional<int32_t> domain_name_size;
  std::string computer_name;
  size_t computer_name_bytes = 0;
  std::optional<int32_t> computer_name_size;
  size_t uninstall_bytes = 0;
  size_t unload_bytes = 0;
  bool has_config = false;
  size_t config_bytes = 0;
  size_t config_tokens = 0;  // TAB-separated tokens of the configuration
  // The spyware list count (token 63) and whether the token count is that of
  // the current layout: 62 + 1 + count + 47.
  uint32_t spyware_count = 0;
  bool current_layout = false;
};

struct IniSection {
  std::string name;
  size_t keys = 0;
};

struct ArchiveReport {
  std::vector<MemberInfo> members;
  bool has_package = false;  // skva.dat found and decoded
  std::optional<double> version;
  std::optional<int32_t> service_pack;
  std::optional<int32_t> patch;
  std::vector<DomainRecord> domains;
  bool has_ini = false;
  size_t ini_bytes = 0;
  std::vector<IniSection> ini_sections;
};

// Reads the archive at `path` (a native path). False, with *error saying
// what is wrong, for a file that cannot be opened or is not a zip archive, a
// member that does not read back (bad data or CRC), too many members, an
// archive without skva.dat, or a skva.dat that is not a settings package;
// *report then holds what was read before the fault.
bool ExamineArchive(const std::string& path, ArchiveReport* report, std::string* error);

// The report as readable text, and as one JSON object.
std::string ReportText(const ArchiveReport& report);
std::string ReportJson(const ArchiveReport& report);

}  // namespace examine

#endif  // PORTELLE_EXAMINE_ARCHIVEEXAMINER_H_
