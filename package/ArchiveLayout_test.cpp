#include "package/ArchiveLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace {

using package::ArchiveMember;
using package::ArchiveMembers;
using package::MemberKind;
using package::MissingFile;

std::vector<std::u16string> Names(double version) {
  std::vector<std::u16string> names;
  for (const ArchiveMember& member : ArchiveMembers(version)) names.push_back(member.name);
  return names;
}

// The lists as an archive of each source layout holds them.
const std::vector<std::u16string> kTopLevelAlerts = {
    u"ALERT.MSG",    u"AlertAS.msg", u"AlertBM.msg", u"alertcfw.msg", u"AlertDAC.MSG",
    u"AlertDLP.MSG", u"AlertH.MSG",  u"AlertL.MSG",  u"AlertM.MSG",   u"AlertWSR.msg"};
const std::vector<std::u16string> kAdminAlerts = {
    u"Admin\\ALERT.MSG",    u"Admin\\AlertAS.msg",  u"Admin\\AlertBM.msg", u"Admin\\alertcfw.msg",
    u"Admin\\AlertDAC.MSG", u"Admin\\AlertDLP.MSG", u"Admin\\AlertH.MSG",  u"Admin\\AlertL.MSG",
    u"Admin\\AlertM.MSG",   u"Admin\\AlertWSR.msg"};

std::vector<std::u16string> Expected(const std::vector<std::u16string>& alerts,
                                     std::u16string ssnotify) {
  std::vector<std::u16string> names = {u"Private\\PFW\\", u"ous.ini"};
  names.insert(names.end(), alerts.begin(), alerts.end());
  names.insert(names.end(), {u"Private\\SortingRuleStore\\SortingRule.xml", u"Private\\dlp.ini",
                             u"Private\\DlpClc.ori.xml", u"Private\\DLP_exception.ini",
                             u"sscfg.ini", ssnotify, u"skva.dat"});
  return names;
}

TEST(ArchiveLayoutTest, MemberNamesFollowTheSourceLayout) {
  EXPECT_EQ(Names(10.0), Expected(kTopLevelAlerts, u"ssnotify.ini"));
  EXPECT_EQ(Names(8.0), Expected(kTopLevelAlerts, u"ssnotify.ini"));
  EXPECT_EQ(Names(10.01), Expected(kTopLevelAlerts, u"admin\\ssnotify.ini"));
  EXPECT_EQ(Names(10.48), Expected(kTopLevelAlerts, u"admin\\ssnotify.ini"));
  EXPECT_EQ(Names(10.49), Expected(kAdminAlerts, u"admin\\ssnotify.ini"));
  EXPECT_EQ(Names(10.5), Expected(kAdminAlerts, u"admin\\ssnotify.ini"));
  EXPECT_EQ(Names(10.6), Expected(kAdminAlerts, u"admin\\ssnotify.ini"));
}

TEST(ArchiveLayoutTest, KindsSourcesAndMissingFileBehaviour) {
  const std::vector<ArchiveMember> members = ArchiveMembers(10.5);
  ASSERT_EQ(members.size(), 19u);
  const auto check = [&](size_t i, MemberKind kind, std::u16string source, MissingFile missing) {
    SCOPED_TRACE(i);
    EXPECT_EQ(members[i].kind, kind);
    EXPECT_EQ(members[i].source, source);
    EXPECT_EQ(members[i].when_missing, missing);
  };
  check(0, MemberKind::kFolderFiles, u"Private\\PFW\\", MissingFile::kNotTested);
  check(1, MemberKind::kFile, u"ous.ini", MissingFile::kNotTested);
  for (size_t i = 2; i < 12; ++i) {
    check(i, MemberKind::kFile, kAdminAlerts[i - 2], MissingFile::kLogAlertFile);
  }
  check(12, MemberKind::kFile, u"Private\\SortingRuleStore\\SortingRule.xml",
        MissingFile::kLogSortingRuleFile);
  check(13, MemberKind::kFile, u"Private\\dlp.ini", MissingFile::kLogDlpIniFile);
  check(14, MemberKind::kCopy, u"Private\\DlpClc.xml", MissingFile::kLogDlpClcFile);
  check(15, MemberKind::kFile, u"Private\\DLP_exception.ini", MissingFile::kLogDlpExceptionFile);
  check(16, MemberKind::kFile, u"sscfg.ini", MissingFile::kSkippedSilently);
  check(17, MemberKind::kFile, u"admin\\ssnotify.ini", MissingFile::kSkippedSilently);
  check(18, MemberKind::kPackageDataFile, u"skva.dat", MissingFile::kNotTested);
}

}  // namespace

namespace {

TEST(ArchiveLayoutTest, MemberNamesOfEverySourceLayoutAreKnownAndNothingElse) {
  for (const double version : {8.0, 10.01, 10.49, 10.6}) {
    for (const ArchiveMember& member : ArchiveMembers(version)) {
      if (member.kind == MemberKind::kFolderFiles) continue;
      EXPECT_TRUE(package::IsArchiveMemberName(member.name)) << version;
    }
  }
  for (const std::u16string_view known :
       {u"Private\\PFW\\profile.dat", u"private\\pfw\\Policy.ini", u"ADMIN\\alert.msg",
        u"alertwsr.MSG", u"Admin\\SSNOTIFY.ini", u"SKVA.DAT"}) {
    EXPECT_TRUE(package::IsArchiveMemberName(known)) << platform::Utf16ToUtf8(known);
  }
  // Files in other places, in subfolders of the firewall folder, the folder
  // itself, and names that merely begin or end like a member.
  for (const std::u16string_view unknown :
       {u"bsnscan.ini", u"private\\bsnserver.ini", u"BsnPfwCommon.so", u"BsnPfwCommon.dll",
        u"SvcCfgRunner", u"Private\\PFW\\", u"Private\\PFW\\sub\\x.dat", u"Private\\PFW\\sub/x.dat",
        u"Private\\DlpClc.xml", u"Admin\\ALERT.MSG.bak", u"Admin\\", u"Admin\\Admin\\ALERT.MSG",
        u"Private\\ssnotify.ini", u"x\\skva.dat", u""}) {
    EXPECT_FALSE(package::IsArchiveMemberName(unknown)) << platform::Utf16ToUtf8(unknown);
  }
}

}  // namespace
