// The members of an export archive: which files of the exporting server go
// into the archive, under which member name, in which order. Member names are
// paths relative to the install folder with backslashes, letter case exactly
// as given (frozen: archives of every release use them, and the import
// extracts each member to the same relative path on the target server).
// Every member is deflated at kMemberCompressionLevel; there is no comment
// and no manifest.
#ifndef PORTELLE_PACKAGE_ARCHIVELAYOUT_H_
#define PORTELLE_PACKAGE_ARCHIVELAYOUT_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace package {

inline constexpr int kMemberCompressionLevel = 9;

// The alert-message files, in the order they are archived and moved. Sources
// below 10.49 keep them at the top of the install folder, later ones under
// "Admin\"; the import moves top-level copies into "Admin\".
inline constexpr std::array<std::u16string_view, 10> kAlertFileNames = {
    u"ALERT.MSG",    u"AlertAS.msg", u"AlertBM.msg", u"alertcfw.msg", u"AlertDAC.MSG",
    u"AlertDLP.MSG", u"AlertH.MSG",  u"AlertL.MSG",  u"AlertM.MSG",   u"AlertWSR.msg"};

// The server's DLP client configuration, and the name its copy travels
// under, so that extraction never overwrites the target's own file; the DLP
// template migration reads the two side by side.
inline constexpr std::u16string_view kDlpClcFileName = u"Private\\DlpClc.xml";
inline constexpr std::u16string_view kDlpClcCopyName = u"Private\\DlpClc.ori.xml";

// How a member is taken from the exporting server.
enum class MemberKind {
  kFolderFiles,      // every file directly in the folder `name` (ending in '\'),
                     // each as `name` + file name; subfolders are left out
  kFile,             // the file `name`
  kCopy,             // `source` copied to `name`, added, and the copy deleted
  kPackageDataFile,  // skva.dat, written just before the archive
};

// What the archive assembly does when a member's file is missing. Each kLog*
// value stands for one level-69 line, formatted by the caller:
//   kLogAlertFile         "%s - %S does not exist, errno = %d" (with the name)
//   kLogSortingRuleFile   "%s - SORTINGRULE_FILE does not exist, errno = %d"
//   kLogDlpIniFile        "%s - DLP_INI_FILE does not exist, errno = %d"
//   kLogDlpClcFile        "%s - DLPCLC_FILE does not exist, errno = %d"; a failed
//                         copy logs "%s - Copy DLPCLC_FILE file failed (%lu). DLP
//                         template will not be migrated."
//   kLogDlpExceptionFile  "%s - DLP_EXCEPTION_FILE does not exist, errno = %d"
enum class MissingFile {
  kNotTested,        // added without an existence test; a missing file adds nothing
  kSkippedSilently,  // existence test; a missing file is skipped without a line
  kLogAlertFile,
  kLogSortingRuleFile,
  kLogDlpIniFile,
  kLogDlpClcFile,
  kLogDlpExceptionFile,
};

struct ArchiveMember {
  MemberKind kind;
  std::u16string name;    // member name (for kFolderFiles the folder)
  std::u16string source;  // what is read on the exporting server; equals
                          // `name` except for kCopy
  MissingFile when_missing;
};

// The members in the order they are added, for an exporting server of
// version `server_version`.
std::vector<ArchiveMember> ArchiveMembers(double server_version);

// Whether `name` (a member name with backslashes as separators) is a member
// that an export archive of some source version holds: one of the listed
// files under either of its names, or a file directly in a listed folder.
// Letter case is ignored, as it is by the Windows file names members land
// on. The import extracts nothing else into the server's folder.
bool IsArchiveMemberName(std::u16string_view name);

}  // namespace package

#endif  // PORTELLE_PACKAGE_ARCHIVELAYOUT_H_
