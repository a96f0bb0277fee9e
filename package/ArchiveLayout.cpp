#include "package/ArchiveLayout.h"

#include "package/PackageDataFile.h"

namespace package {
namespace {

// One row of the member list. Sources below `since_version` keep the file
// elsewhere, under `older_name`, and the archive mirrors the source's layout;
// rows with since_version 0 have one name for every source. The alert row
// stands for the ten files of kAlertFileNames, its names being the folders
// they sit in ("" is the top level).
struct LayoutRow {
  bool alert_files;
  MemberKind kind;
  std::u16string_view name;
  std::u16string_view older_name;
  double since_version;
  std::u16string_view source;  // empty: the member name
  MissingFile when_missing;
};

constexpr LayoutRow kLayout[] = {
    {false, MemberKind::kFolderFiles, u"Private\\PFW\\", {}, 0, {}, MissingFile::kNotTested},
    {false, MemberKind::kFile, u"ous.ini", {}, 0, {}, MissingFile::kNotTested},
    {true, MemberKind::kFile, u"Admin\\", u"", 10.49, {}, MissingFile::kLogAlertFile},
    {false, MemberKind::kFile, u"Private\\SortingRuleStore\\SortingRule.xml", {}, 0, {},
     MissingFile::kLogSortingRuleFile},
    {false, MemberKind::kFile, u"Private\\dlp.ini", {}, 0, {}, MissingFile::kLogDlpIniFile},
    {false, MemberKind::kCopy, kDlpClcCopyName, {}, 0, kDlpClcFileName,
     MissingFile::kLogDlpClcFile},
    {false, MemberKind::kFile, u"Private\\DLP_exception.ini", {}, 0, {},
     MissingFile::kLogDlpExceptionFile},
    {false, MemberKind::kFile, u"sscfg.ini", {}, 0, {}, MissingFile::kSkippedSilently},
    {false, MemberKind::kFile, u"admin\\ssnotify.ini", u"ssnotify.ini", 10.01, {},
     MissingFile::kSkippedSilently},
    {false, MemberKind::kPackageDataFile, kPackageDataFileName, {}, 0, {},
     MissingFile::kNotTested},
};

ArchiveMember MakeMember(MemberKind kind, std::u16string name, std::u16string_view source,
                         MissingFile when_missing) {
  std::u16string read = source.empty() ? name : std::u16string(source);
  return ArchiveMember{kind, std::move(name), std::move(read), when_missing};
}

}  // namespace

std::vector<ArchiveMember> ArchiveMembers(double server_version) {
  std::vector<ArchiveMember> members;
  for (const LayoutRow& row : kLayout) {
    const bool older = server_version < row.since_version;
    const std::u16string_view name = older ? row.older_name : row.name;
    if (!row.alert_files) {
      members.push_back(MakeMember(row.kind, std::u16string(name), row.source, row.when_missing));
      continue;
    }
    for (const std::u16string_view alert : kAlertFileNames) {
      members.push_back(
          MakeMember(row.kind, std::u16string(name) + std::u16string(alert), {}, row.when_missing));
    }
  }
  return members;
}

}  // namespace package
