#include "package/ArchiveLayout.h"

#include "package/PackageDataFile.h"
#include "package/ServerVersions.h"
#include "platform/text.h"

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

// clang-format off
constexpr LayoutRow kLayout[] = {
    {false, MemberKind::kFolderFiles, u"Private\\PFW\\", {}, 0, {}, MissingFile::kNotTested},
    {false, MemberKind::kFile, u"ous.ini", {}, 0, {}, MissingFile::kNotTested},
    {true, MemberKind::kFile, u"Admin\\", u"", server_versions::k105Threshold, {},
     MissingFile::kLogAlertFile},
    {false, MemberKind::kFile, u"Private\\SortingRuleStore\\SortingRule.xml", {}, 0, {},
     MissingFile::kLogSortingRuleFile},
    {false, MemberKind::kFile, u"Private\\dlp.ini", {}, 0, {}, MissingFile::kLogDlpIniFile},
    {false, MemberKind::kCopy, kDlpClcCopyName, {}, 0, kDlpClcFileName,
     MissingFile::kLogDlpClcFile},
    {false, MemberKind::kFile, u"Private\\DLP_exception.ini", {}, 0, {},
     MissingFile::kLogDlpExceptionFile},
    {false, MemberKind::kFile, u"sscfg.ini", {}, 0, {}, MissingFile::kSkippedSilently},
    {false, MemberKind::kFile, u"admin\\ssnotify.ini", u"ssnotify.ini",
     server_versions::kAfter10Threshold, {}, MissingFile::kSkippedSilently},
    {false, MemberKind::kPackageDataFile, kPackageDataFileName, {}, 0, {},
     MissingFile::kNotTested},
};
// clang-format on

ArchiveMember MakeMember(MemberKind kind, std::u16string name, std::u16string_view source,
                         MissingFile when_missing) {
  std::u16string read = source.empty() ? name : std::u16string(source);
  return ArchiveMember{kind, std::move(name), std::move(read), when_missing};
}

// Whether `name` is `folder` followed by one file name without a folder.
bool IsFileDirectlyIn(std::u16string_view name, std::u16string_view folder) {
  if (name.size() <= folder.size() ||
      !platform::EqualsIgnoreCase(name.substr(0, folder.size()), folder)) {
    return false;
  }
  return name.find_first_of(u"\\/", folder.size()) == std::u16string_view::npos;
}

bool MatchesRowName(const LayoutRow& row, std::u16string_view row_name, std::u16string_view name) {
  if (row.kind == MemberKind::kFolderFiles) return IsFileDirectlyIn(name, row_name);
  if (!row.alert_files) return platform::EqualsIgnoreCase(name, row_name);
  for (const std::u16string_view alert : kAlertFileNames) {
    if (name.size() == row_name.size() + alert.size() &&
        platform::EqualsIgnoreCase(name.substr(0, row_name.size()), row_name) &&
        platform::EqualsIgnoreCase(name.substr(row_name.size()), alert)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsArchiveMemberName(std::u16string_view name) {
  for (const LayoutRow& row : kLayout) {
    if (MatchesRowName(row, row.name, name)) return true;
    if (row.since_version != 0 && MatchesRowName(row, row.older_name, name)) return true;
  }
  return false;
}

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
