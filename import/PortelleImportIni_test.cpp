#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "import/PortelleImport.h"
#include "import/TextModeFile.h"
#include "import/testing/ImportTestSupport.h"
#include "platform/file_faults.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "tests/support/utf16le.h"

namespace import_testing {
namespace {

constexpr char kTarget[] =
    "[Global Setting]\r\nServerID=target-server-id\r\nDiskReserved=500\r\nOnlyInTarget=keep\r\n"
    "Shared=old\r\n"
    "[Manual Scan Configuration]\r\nMoveDir=/var/q/manual\r\nOther=1\r\n"
    "[Real Time Scan Configuration]\r\nMoveDir=/var/q/real\r\n"
    "[Prescheduled Scan Configuration]\r\nMoveDir=/var/q/scheduled\r\n"
    "[URL_FILTER_INI_SECTION]\r\nCustom=target\r\nURLFilterRatingLevel_InOffice=3\r\n";

constexpr char kPackage[] =
    "[Global Setting]\r\nServerID=source-server-id\r\nDiskReserved=100\r\nShared=new\r\n"
    "New=1\r\n"
    "[Manual Scan Configuration]\r\nMoveDir=C:\\Source\\Quarantine\r\nOther=2\r\n"
    "[Scan Now Configuration]\r\nMoveDir=C:\\Source\\Now\r\n"
    "[URL_FILTER_INI_SECTION]\r\nCustom=source\r\nURLFilterRatingLevel_InOffice=2\r\n"
    "[VIGIL_Exception]\r\nItem0=a.exe\r\n"
    "[NotMerged]\r\nX=1\r\n"
    "[Other Update Source]\r\nA=2\r\nB=3\r\n"
    "[INI_UPDATE_SETTING]\r\nU=1\r\n";

class ImportToIniTest : public ImportTest {
 protected:
  std::u16string Read(const char16_t* file, const char16_t* section, const char16_t* key) {
    char16_t buffer[1024] = {};
    const std::u16string path = install_path() + file;
    platform::GetPrivateProfileStringW(section, key, u"<missing>", buffer, 1024, path.c_str());
    return buffer;
  }
  std::u16string Main(const char16_t* section, const char16_t* key) {
    return Read(u"bsnscan.ini", section, key);
  }
  std::u16string Private(const char16_t* section, const char16_t* key) {
    return Read(u"private\\bsnserver.ini", section, key);
  }

  // The names in a folder below the install folder, sorted.
  std::vector<std::string> Listing(const std::string& relative = "") {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(
             platform::NativePath(install_path() + platform::FromSystemCodePage(relative)))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void Import(std::string_view global_config) {
    SKVA_Server_Settings::SettingAggregation package;
    package.set_global_config_string(std::string(global_config));
    importer_->SetPackage(package);
    EXPECT_TRUE(importer_->ImportToIni());
  }
};

TEST_F(ImportToIniTest, MergesKeyByKeyAndKeepsWhatBelongsToTheTarget) {
  WriteServerFile("bsnscan.ini", kTarget);
  WriteServerFile("private/bsnserver.ini", "[Other Update Source]\r\nA=1\r\nC=target\r\n");
  Import(kPackage);

  EXPECT_EQ(Main(u"Global Setting", u"ServerID"), u"target-server-id");
  EXPECT_EQ(Main(u"Global Setting", u"DiskReserved"), u"500");
  EXPECT_EQ(Main(u"Global Setting", u"OnlyInTarget"), u"keep");
  EXPECT_EQ(Main(u"Global Setting", u"Shared"), u"new");
  EXPECT_EQ(Main(u"Global Setting", u"New"), u"1");
  EXPECT_EQ(Main(u"Manual Scan Configuration", u"MoveDir"), u"/var/q/manual");
  EXPECT_EQ(Main(u"Manual Scan Configuration", u"Other"), u"2");
  EXPECT_EQ(Main(u"Real Time Scan Configuration", u"MoveDir"), u"/var/q/real");
  // A move directory the target lacks is written back empty.
  EXPECT_EQ(Main(u"Scan Now Configuration", u"MoveDir"), u"");
  // The web-threat section is not merged key by key: only its known keys.
  EXPECT_EQ(Main(u"URL_FILTER_INI_SECTION", u"Custom"), u"target");
  EXPECT_EQ(Main(u"URL_FILTER_INI_SECTION", u"URLFilterRatingLevel_InOffice"), u"2");
  EXPECT_EQ(Main(u"VIGIL_Exception", u"Item0"), u"a.exe");
  EXPECT_EQ(Main(u"NotMerged", u"X"), u"<missing>");
  EXPECT_EQ(Main(u"Other Update Source", u"A"), u"<missing>");

  EXPECT_EQ(Private(u"Other Update Source", u"A"), u"2");
  EXPECT_EQ(Private(u"Other Update Source", u"B"), u"3");
  EXPECT_EQ(Private(u"Other Update Source", u"C"), u"target");
  EXPECT_EQ(Private(u"INI_UPDATE_SETTING", u"U"), u"1");
  EXPECT_EQ(Private(u"Global Setting", u"New"), u"<missing>");

  EXPECT_FALSE(ServerFileExists("tmp.ini"));
  EXPECT_TRUE(Logged(8, u"OrigDiskSize[100] < min NewDiskSize[500], convert to NewDiskSize"));
  EXPECT_TRUE(Logged(68, u"CImportSkvaSettings::ImportToIni - <=ImportToIni()"));
}

// The files as the merge leaves them, byte for byte: keys change in place,
// new keys follow the last line of their section, new sections come at the
// end in merge order, and the kept values are back.
constexpr char kMergedMain[] =
    "[Global Setting]\r\nServerID=target-server-id\r\nDiskReserved=500\r\nOnlyInTarget=keep\r\n"
    "Shared=new\r\nNew=1\r\n"
    "[Manual Scan Configuration]\r\nMoveDir=/var/q/manual\r\nOther=2\r\n"
    "[Real Time Scan Configuration]\r\nMoveDir=/var/q/real\r\n"
    "[Prescheduled Scan Configuration]\r\nMoveDir=/var/q/scheduled\r\n"
    "[URL_FILTER_INI_SECTION]\r\nCustom=target\r\nURLFilterRatingLevel_InOffice=2\r\n"
    "URLFilterCfgFlag_InOffice=0\r\nURLFilterCfgFlag_OutOffice=0\r\n"
    "URLFilterRatingLevel_OutOffice=1\r\nURLFilterQueryMode_InOffice=0\r\n"
    "[Scan Now Configuration]\r\nMoveDir=\r\n"
    "[VIGIL_Exception]\r\nItem0=a.exe\r\n";
constexpr char kMergedPrivate[] =
    "[Other Update Source]\r\nA=2\r\nC=target\r\nB=3\r\n[INI_UPDATE_SETTING]\r\nU=1\r\n";

TEST_F(ImportToIniTest, TheMergedFilesHoldExactlyTheseBytes) {
  WriteServerFile("bsnscan.ini", kTarget);
  WriteServerFile("private/bsnserver.ini", "[Other Update Source]\r\nA=1\r\nC=target\r\n");
  Import(kPackage);
  EXPECT_EQ(ServerFile("bsnscan.ini"), kMergedMain);
  EXPECT_EQ(ServerFile("private/bsnserver.ini"), kMergedPrivate);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"Admin", "bsnscan.ini", "private"}));
  EXPECT_EQ(Listing("private"), (std::vector<std::string>{"bsnserver.ini"}));
}

// A private file that does not exist yet is created by the merge, as a
// write into it always did; one that the merge does not touch stays absent.
TEST_F(ImportToIniTest, MissingTargetFilesAreCreatedOnlyWhenSomethingIsMerged) {
  WriteServerFile("bsnscan.ini", kTarget);
  Import(kPackage);
  EXPECT_EQ(ServerFile("bsnscan.ini"), kMergedMain);
  EXPECT_EQ(ServerFile("private/bsnserver.ini"),
            "[Other Update Source]\r\nA=2\r\nB=3\r\n[INI_UPDATE_SETTING]\r\nU=1\r\n");

  WriteServerFile("bsnscan.ini", kTarget);
  ASSERT_TRUE(platform::DeleteFile(install_path() + u"private\\bsnserver.ini").ok());
  Import("[Global Setting]\r\nShared=new\r\n");
  EXPECT_FALSE(ServerFileExists("private/bsnserver.ini"));
  EXPECT_EQ(Listing("private"), std::vector<std::string>{});
}

// A merge that cannot finish changes neither file: the failure comes after
// the main file's staging copy was made, and that copy goes again.
TEST_F(ImportToIniTest, AMergeThatFailsLeavesBothFilesAsTheyWere) {
  const std::string target_private = "[Other Update Source]\r\nA=1\r\nC=target\r\n";
  const std::string main_staging = "bsnscan.ini.staging";
  const std::string private_staging = "private/bsnserver.ini.staging";
  for (const std::string& blocked : {private_staging, main_staging}) {
    SCOPED_TRACE(blocked);
    WriteServerFile("bsnscan.ini", kTarget);
    WriteServerFile("private/bsnserver.ini", target_private);
    WriteServerFile(blocked + "/inside", "a folder in the staging file's place");
    SKVA_Server_Settings::SettingAggregation package;
    package.set_global_config_string(std::string(kPackage));
    importer_->SetPackage(package);
    EXPECT_FALSE(importer_->ImportToIni());
    EXPECT_EQ(ServerFile("bsnscan.ini"), kTarget);
    EXPECT_EQ(ServerFile("private/bsnserver.ini"), target_private);
    const platform::AppMessage& failure = importer_->failure();
    EXPECT_EQ(failure.id, platform::kMsgInstallFileNotWritten);
    EXPECT_EQ(platform::NativePath(failure.argument1),
              platform::NativePath(install_path() + platform::FromSystemCodePage(blocked)));
    EXPECT_FALSE(failure.argument2.empty());
    // Nothing is left but the folder in the way.
    EXPECT_FALSE(ServerFileExists("tmp.ini"));
    EXPECT_EQ(Listing().size() + Listing("private").size(), 5u);
    EXPECT_TRUE(ServerFileExists(blocked));
    std::filesystem::remove_all(
        platform::NativePath(install_path() + platform::FromSystemCodePage(blocked)));
  }
}

// A full disk or a failed rename while bsnscan.ini's merged version is
// staged leaves the file byte for byte as it was, and nothing beside it.
TEST_F(ImportToIniTest, AFailedStagedWriteLeavesTheTargetByteIdentical) {
  for (const bool rename_fails : {false, true}) {
    SCOPED_TRACE(rename_fails ? "rename" : "write");
    WriteServerFile("bsnscan.ini", kTarget);
    const std::vector<std::string> before = Listing();
    platform::FileFaults faults;
    faults.only_paths_containing = "bsnscan.ini";
    faults.fail_write_at = rename_fails ? 0 : 1;
    faults.disk_full = true;
    faults.fail_renames = rename_fails;
    {
      const platform::ScopedFileFaults installed(&faults);
      SKVA_Server_Settings::SettingAggregation package;
      package.set_global_config_string(std::string(kPackage));
      importer_->SetPackage(package);
      EXPECT_FALSE(importer_->ImportToIni());
    }
    EXPECT_GT(rename_fails ? faults.renames : faults.failed_writes, 0u);
    EXPECT_EQ(ServerFile("bsnscan.ini"), kTarget);
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(importer_->failure().id, platform::kMsgInstallFileNotWritten);
  }
}

// The merged staging copy is written once, when the merge is complete: when
// that write fails, the merge fails and says so, instead of putting the
// unmerged copy in the target's place.
TEST_F(ImportToIniTest, AMergedCopyThatCannotBeWrittenFailsTheMerge) {
  WriteServerFile("bsnscan.ini", kTarget);
  const std::vector<std::string> before = Listing();
  platform::FileFaults faults;
  faults.only_paths_containing = "bsnscan.ini.staging";
  faults.fail_renames = true;
  faults.error = ENOSPC;
  {
    const platform::ScopedFileFaults installed(&faults);
    SKVA_Server_Settings::SettingAggregation package;
    package.set_global_config_string(std::string(kPackage));
    importer_->SetPackage(package);
    EXPECT_FALSE(importer_->ImportToIni());
  }
  EXPECT_EQ(faults.renames, 1u);  // one write of the whole merge
  EXPECT_EQ(ServerFile("bsnscan.ini"), kTarget);
  EXPECT_EQ(Listing(), before);
  const platform::AppMessage& failure = importer_->failure();
  EXPECT_EQ(failure.id, platform::kMsgInstallFileNotWritten);
  EXPECT_EQ(platform::NativePath(failure.argument1),
            platform::NativePath(install_path() + u"bsnscan.ini.staging"));
}

TEST_F(ImportToIniTest, AFolderInTheTargetFilesPlaceIsNamed) {
  WriteServerFile("bsnscan.ini/inside", "x");
  SKVA_Server_Settings::SettingAggregation package;
  package.set_global_config_string(std::string(kPackage));
  importer_->SetPackage(package);
  EXPECT_FALSE(importer_->ImportToIni());
  EXPECT_EQ(importer_->failure().argument1, install_path() + u"bsnscan.ini");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"Admin", "bsnscan.ini", "private"}));
}

// What an interrupted import left beside the files takes no part.
TEST_F(ImportToIniTest, StagingCopiesLeftBehindAreReplaced) {
  WriteServerFile("bsnscan.ini", kTarget);
  WriteServerFile("private/bsnserver.ini", "[Other Update Source]\r\nA=1\r\nC=target\r\n");
  WriteServerFile("bsnscan.ini.staging", "[Global Setting]\r\nServerID=source-server-id\r\n");
  WriteServerFile("private/bsnserver.ini.staging", "[Stale]\r\nS=1\r\n");
  Import(kPackage);
  EXPECT_EQ(ServerFile("bsnscan.ini"), kMergedMain);
  EXPECT_EQ(ServerFile("private/bsnserver.ini"), kMergedPrivate);

  // Also where the target file does not exist yet.
  ASSERT_TRUE(platform::DeleteFile(install_path() + u"private\\bsnserver.ini").ok());
  WriteServerFile("private/bsnserver.ini.staging", "[Stale]\r\nS=1\r\n");
  Import("[Global Setting]\r\nShared=new\r\n");
  EXPECT_FALSE(ServerFileExists("private/bsnserver.ini"));
  EXPECT_EQ(Listing("private"), std::vector<std::string>{});
}

// A package whose web-threat list claims two billion entries brings the
// three it holds, and its count says so.
TEST_F(ImportToIniTest, AListCountOfBillionsBringsTheEntriesThatAreThere) {
  WriteServerFile("bsnscan.ini",
                  "[URL_FILTER_INI_SECTION]\r\nURLFilterAWSLCount_InOffice=1\r\n"
                  "URLFilterAWSL_InOffice000=target\r\n");
  Import(
      "[URL_FILTER_INI_SECTION]\r\nURLFilterAWSLCount_InOffice=2000000000\r\n"
      "URLFilterAWSL_InOffice000=a\r\nURLFilterAWSL_InOffice001=b\r\n"
      "URLFilterAWSL_InOffice002=c\r\n");
  EXPECT_EQ(ServerFile("bsnscan.ini"),
            "[URL_FILTER_INI_SECTION]\r\nURLFilterAWSLCount_InOffice=3\r\n"
            "URLFilterAWSL_InOffice000=a\r\nURLFilterCfgFlag_InOffice=0\r\n"
            "URLFilterCfgFlag_OutOffice=0\r\nURLFilterRatingLevel_InOffice=1\r\n"
            "URLFilterRatingLevel_OutOffice=1\r\nURLFilterQueryMode_InOffice=0\r\n"
            "URLFilterAWSL_InOffice001=b\r\nURLFilterAWSL_InOffice002=c\r\n"
            "[Manual Scan Configuration]\r\nMoveDir=\r\n"
            "[Real Time Scan Configuration]\r\nMoveDir=\r\n"
            "[Prescheduled Scan Configuration]\r\nMoveDir=\r\n"
            "[Scan Now Configuration]\r\nMoveDir=\r\n"
            "[Global Setting]\r\nServerID=\r\n");
}

TEST_F(ImportToIniTest, TheReservedDiskSpaceIsNeverLoweredComparedAsSignedNumbers) {
  struct Case {
    const char* target;
    const char* imported;
    const char16_t* result;
  };
  for (const Case& c : {Case{"500", "800", u"800"}, Case{"500", "100", u"500"},
                        Case{"10", "4294967295", u"10"}, Case{"-20", "-5", u"-5"}}) {
    WriteServerFile("bsnscan.ini",
                    std::string("[Global Setting]\r\nDiskReserved=") + c.target + "\r\n");
    Import(std::string("[Global Setting]\r\nDiskReserved=") + c.imported + "\r\n");
    EXPECT_EQ(Main(u"Global Setting", u"DiskReserved"), c.result) << c.imported;
  }
  EXPECT_FALSE(Logged(8, u"OrigDiskSize[800] < min NewDiskSize[500], convert to NewDiskSize"));
  EXPECT_TRUE(Logged(8, u"OrigDiskSize[-1] < min NewDiskSize[10], convert to NewDiskSize"));
}

TEST_F(ImportToIniTest, KeptValuesAreWrittenBackWholeHoweverLong) {
  const std::string long_id(1500, 'i');
  WriteServerFile("bsnscan.ini", "[Global Setting]\r\nServerID={" + long_id + "}\r\n");
  Import("[Global Setting]\r\nServerID=source\r\n");
  EXPECT_NE(ServerFile("bsnscan.ini").find("ServerID={" + long_id + "}\r\n"), std::string::npos);
}

TEST_F(ImportToIniTest, WithoutIniTextNothingIsMergedAndTheTargetKeepsItsValues) {
  WriteServerFile("bsnscan.ini", kTarget);
  SKVA_Server_Settings::SettingAggregation package;
  importer_->SetPackage(package);
  EXPECT_TRUE(importer_->ImportToIni());
  EXPECT_EQ(Main(u"Global Setting", u"Shared"), u"old");
  EXPECT_EQ(Main(u"Global Setting", u"DiskReserved"), u"500");
  EXPECT_EQ(Main(u"URL_FILTER_INI_SECTION", u"URLFilterRatingLevel_InOffice"), u"1");
  EXPECT_FALSE(ServerFileExists("tmp.ini"));
}

TEST_F(ImportToIniTest, AStagingFileThatCannotBeWrittenFailsTheMergeAndSaysWhy) {
  WriteServerFile("bsnscan.ini", kTarget);
  WriteServerFile("tmp.ini/inside", "a folder in the staging file's place");
  const std::string before = ServerFile("bsnscan.ini");
  SKVA_Server_Settings::SettingAggregation package;
  package.set_global_config_string(std::string(kPackage));
  importer_->SetPackage(package);
  EXPECT_FALSE(importer_->ImportToIni());
  EXPECT_EQ(ServerFile("bsnscan.ini"), before);  // nothing merged
  const platform::AppMessage& failure = importer_->failure();
  EXPECT_EQ(failure.id, platform::kMsgInstallFileNotWritten);
  EXPECT_EQ(failure.argument1, install_path() + u"tmp.ini");
  EXPECT_FALSE(failure.argument2.empty());
}

TEST_F(ImportToIniTest, UnicodeIniTextKeepsItsCharacters) {
  WriteServerFile("bsnscan.ini", kTarget);
  // U+010A holds the byte 0x0A, which a CR byte put before it would break.
  Import(testing_support::Utf16LeWithBom(u"[Global Setting]\r\nShared=\u010Anew\u0A0D\r\n"));
  EXPECT_EQ(Main(u"Global Setting", u"Shared"), u"\u010Anew\u0A0D");
}

// The staging file gains a CR before each LF, so its lines end in CR CR LF;
// Windows reads that as a line end followed by a blank line.
TEST(TextModeStagingFileTest, LinesEndingInCrCrLfReadAsWindowsReadsThem) {
  testing_support::TempFolder dir;
  const std::string bytes = text_mode::NarrowBytes("[s]\r\nk=v\r\n\r\n[t]\r\nx = y \r\n");
  ASSERT_EQ(bytes, "[s]\r\r\nk=v\r\r\n\r\r\n[t]\r\r\nx = y \r\r\n");
  dir.Write("tmp.ini", bytes);
  const std::u16string file = dir.Wide("tmp.ini");
  char16_t buffer[64] = {};
  EXPECT_EQ(platform::GetPrivateProfileStringW(u"s", u"k", u"", buffer, 64, file.c_str()), 1u);
  EXPECT_EQ(std::u16string(buffer), u"v");
  EXPECT_EQ(platform::GetPrivateProfileStringW(u"t", nullptr, u"", buffer, 64, file.c_str()), 2u);
  EXPECT_EQ(std::u16string(buffer, 2), std::u16string(u"x\0", 2));
  EXPECT_EQ(platform::GetPrivateProfileStringW(nullptr, nullptr, u"", buffer, 64, file.c_str()),
            4u);
  EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"s\0t\0", 4));
  EXPECT_EQ(platform::GetPrivateProfileSectionW(u"t", buffer, 64, file.c_str()), 4u);
  EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"x=y\0", 4));
  // A key added to it still reads back, and so does what was there.
  ASSERT_TRUE(platform::WritePrivateProfileStringW(u"s", u"k2", u"v2", file.c_str()));
  platform::GetPrivateProfileStringW(u"s", u"k2", u"", buffer, 64, file.c_str());
  EXPECT_EQ(std::u16string(buffer), u"v2");
  platform::GetPrivateProfileStringW(u"t", u"x", u"", buffer, 64, file.c_str());
  EXPECT_EQ(std::u16string(buffer), u"y");
}

}  // namespace
}  // namespace import_testing
