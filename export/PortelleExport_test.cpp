#include "export/PortelleExport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/file_faults.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "zip/ZipLibrary.h"
#include "zip/testing/ZipTestTools.h"

namespace {

using testing_support::TempFolder;

// An install folder and an export object for one server version. No
// database service runs: every domain query comes back empty.
class ExportTest : public ::testing::Test {
 protected:
  std::u16string Install() const { return dir_.Wide("server/"); }

  void WriteMainIni(std::string_view text) { dir_.Write("server/bsnscan.ini", text); }

  // Runs the INI export and returns the package's INI text as a file.
  std::u16string ExportIni(double version, int32_t sp = 0) {
    CExportSkvaSettings exporter(version, Install(), sp, 0);
    EXPECT_TRUE(exporter.CreateMigrater());
    EXPECT_TRUE(exporter.ExportFromIni());
    EXPECT_FALSE(dir_.Exists("server/tmp.ini"));
    dir_.Write("package.ini", exporter.package().global_config_string());
    return dir_.Wide("package.ini");
  }

  std::u16string Value(const std::u16string& file, const char16_t* section, const char16_t* key) {
    char16_t buffer[256] = {};
    platform::GetPrivateProfileStringW(section, key, u"<none>", buffer, 256, file.c_str());
    return buffer;
  }

  TempFolder dir_;
  // No log or database service listens in this pipe folder.
  testing_support::ScopedEnvironmentVariable pipes_{"BASTIONEL_PIPE_DIR", dir_.path() + "pipes"};
};

TEST_F(ExportTest, ServerKeysAndProxyKeysArriveWithTheirDefaults) {
  WriteMainIni("[Global Setting]\r\nOleLayer=1\r\n");
  const std::u16string ini = ExportIni(10.5);
  EXPECT_EQ(Value(ini, u"INI_SERVER_SECTION", u"Update_Agent_Direct_Update"), u"1");
  EXPECT_EQ(Value(ini, u"INI_SERVER_SECTION", u"Client_Purge_Days"), u"30");
  EXPECT_EQ(Value(ini, u"INI_SERVER_SECTION", u"Quarantine_Folder_Capacity"), u"10240");
  EXPECT_EQ(Value(ini, u"INI_SERVER_SECTION", u"Proxy_Port"), u"80");
  EXPECT_EQ(Value(ini, u"INI_SERVER_SECTION", u"Proxy_IP"), u"");
  EXPECT_EQ(Value(ini, u"SERVER_CONSOLE_SECTION", u"Auto_Refresh_Rate"), u"30");
  EXPECT_EQ(Value(ini, u"Global Setting", u"OleLayer"), u"1");  // the section travels whole
}

TEST_F(ExportTest, WatchdogKeysAreRenamedKeepingOneCharacterOnEightX) {
  WriteMainIni("[Global Setting]\r\nWatchDogOnOff=0\r\nWatchDogRetry=10\r\n");
  const std::u16string ini = ExportIni(8.0);
  EXPECT_EQ(Value(ini, u"Global Setting", u"SP_RestartService"), u"0");
  EXPECT_EQ(Value(ini, u"Global Setting", u"SP_RetryCount"), u"1");
  // Later sources carry no watchdog keys of their own.
  EXPECT_EQ(Value(ExportIni(10.5), u"Global Setting", u"SP_RetryCount"), u"<none>");
}

TEST_F(ExportTest, OleLayerGoesIntoTheScanSectionsOfOlderSources) {
  WriteMainIni("[Global Setting]\r\nOleLayer=2\r\n");
  std::u16string ini = ExportIni(10.0);
  for (const char16_t* section : {u"Manual Scan Configuration", u"Real Time Scan Configuration",
                                  u"Prescheduled Scan Configuration", u"Scan Now Configuration"}) {
    EXPECT_EQ(Value(ini, section, u"OleLayer"), u"2");
    EXPECT_EQ(Value(ini, section, u"OleExploitDetection"), u"1");
  }
  WriteMainIni("[Global Setting]\r\nOleLayer=0\r\n");
  ini = ExportIni(10.0);
  EXPECT_EQ(Value(ini, u"Scan Now Configuration", u"OleExploitDetection"), u"0");
  WriteMainIni("[Global Setting]\r\nOleLayer=2\r\n");
  ini = ExportIni(10.5);
  EXPECT_EQ(Value(ini, u"Manual Scan Configuration", u"OleLayer"), u"<none>");
}

TEST_F(ExportTest, FirewallSwitchStaysBehind) {
  WriteMainIni("[PFW]\r\nEnablePFW=1\r\nMode=2\r\n");
  const std::u16string ini = ExportIni(10.6, 1);
  EXPECT_EQ(Value(ini, u"PFW", u"Mode"), u"2");
  EXPECT_EQ(Value(ini, u"PFW", u"EnablePFW"), u"<none>");
}

TEST_F(ExportTest, AStagingFileLeftBehindContributesItsOtherSections) {
  WriteMainIni("");
  dir_.Write("server/tmp.ini", "[Left Over]\r\nk=v\r\n");
  EXPECT_EQ(Value(ExportIni(10.5), u"Left Over", u"k"), u"v");
}

// The package's INI text is built under a name of its own: what a stopped
// export left there takes no part, and neither file remains.
TEST_F(ExportTest, WhatAStoppedExportLeftTakesNoPart) {
  WriteMainIni("[Global Setting]\r\nOleLayer=1\r\n");
  dir_.Write("server/tmp.ini.staging", "[Half Built]\r\nk=v\r\n");
  EXPECT_EQ(Value(ExportIni(10.5), u"Half Built", u"k"), u"<none>");
  EXPECT_FALSE(dir_.Exists("server/tmp.ini.staging"));

  dir_.Write("server/tmp.ini", "[Left Over]\r\nk=v\r\n");
  dir_.Write("server/tmp.ini.staging", "[Half Built]\r\nk=v\r\n");
  const std::u16string ini = ExportIni(10.5);
  EXPECT_EQ(Value(ini, u"Left Over", u"k"), u"v");
  EXPECT_EQ(Value(ini, u"Half Built", u"k"), u"<none>");
  EXPECT_FALSE(dir_.Exists("server/tmp.ini.staging"));
}

// Counted lists claiming two billion entries travel with those there are.
TEST_F(ExportTest, ListCountsOfBillionsCarryTheEntriesThatAreThere) {
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\nURLFilterBlackListCount_OutOffice=2000000000\r\n"
      "URLFilterBlackList_OutOffice000=a\r\nURLFilterBlackList_OutOffice001=b\r\n"
      "URLFilterBlackList_OutOffice002=c\r\n"
      "[DAC_APPROVED_LIST]\r\nCount=2000000000\r\nItem0=usb\r\nItem1=disk\r\n");
  const std::u16string ini = ExportIni(10.5);
  const char16_t* wtp = u"URL_FILTER_INI_SECTION";
  EXPECT_EQ(Value(ini, wtp, u"URLFilterBlackListCount_OutOffice"), u"3");
  EXPECT_EQ(Value(ini, wtp, u"URLFilterBlackList_OutOffice002"), u"c");
  EXPECT_EQ(Value(ini, wtp, u"URLFilterBlackList_OutOffice003"), u"<none>");
  EXPECT_EQ(Value(ini, u"DAC_APPROVED_LIST", u"CountOut"), u"2");
  EXPECT_EQ(Value(ini, u"DAC_APPROVED_LIST", u"ItemOut1"), u"disk");
  EXPECT_EQ(Value(ini, u"DAC_APPROVED_LIST", u"Item2"), u"<none>");
}

// The archive of a server of `version` holding the given files.
class ArchiveTest : public ExportTest {
 protected:
  std::vector<std::string> Members(const std::string& archive) {
    std::vector<std::string> names;
    for (const std::string& line : zip_testing::ListWithPython(dir_, archive)) {
      if (line != "crc ok") names.push_back(line.substr(0, line.find('|')));
    }
    return names;
  }
};

TEST_F(ArchiveTest, MembersFollowTheLayoutOfTheSourceVersion) {
  WriteMainIni("[Global Setting]\r\nOleLayer=1\r\n");
  for (const char* file :
       {"Private/PFW/b.pol", "Private/PFW/a.pfw", "Private/PFW/.hidden", "Private/PFW/sub/x",
        "ALERT.MSG", "AlertWSR.msg", "ssnotify.ini", "Private/DlpClc.xml", "ous.ini"}) {
    dir_.Write(std::string("server/") + file, file);
  }
  std::u16string before;
  ASSERT_TRUE(platform::GetCurrentFolder(&before).ok());
  CExportSkvaSettings exporter(10.0, Install(), 0, 0);
  ASSERT_TRUE(exporter.ExportConfigToFile(dir_.Wide("out")));
  std::u16string after;
  ASSERT_TRUE(platform::GetCurrentFolder(&after).ok());
  EXPECT_EQ(after, before);
  EXPECT_FALSE(dir_.Exists("out"));
  EXPECT_TRUE(dir_.Exists("out.Zip"));  // ".Zip" is added to a name without ".zip"
  const std::vector<std::string> expected = {
      "Private\\PFW\\a.pfw", "Private\\PFW\\b.pol",     "ous.ini",      "ALERT.MSG",
      "AlertWSR.msg",        "Private\\DlpClc.ori.xml", "ssnotify.ini", "skva.dat"};
  EXPECT_FALSE(dir_.Exists("server/Private/DlpClc.ori.xml"));
  EXPECT_FALSE(dir_.Exists("server/skva.dat"));
  EXPECT_FALSE(dir_.Exists("server/tmp.ini"));
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  EXPECT_EQ(Members(dir_.Native("out.Zip")), expected);
}

TEST_F(ArchiveTest, LaterSourcesKeepAlertFilesUnderAdmin) {
  WriteMainIni("[Global Setting]\r\nOleLayer=1\r\n");
  dir_.Write("server/Admin/AlertDLP.MSG", "a");
  dir_.Write("server/admin/ssnotify.ini", "n");
  CExportSkvaSettings exporter(10.5, Install(), 0, 0);
  ASSERT_TRUE(exporter.ExportConfigToFile(dir_.Wide("out.zip")));
  const std::vector<std::string> expected = {"Admin\\AlertDLP.MSG", "admin\\ssnotify.ini",
                                             "skva.dat"};
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  EXPECT_EQ(Members(dir_.Native("out.zip")), expected);
}

TEST_F(ArchiveTest, AnArchiveInAMissingFolderFailsAndLeavesNothing) {
  WriteMainIni("[Global Setting]\r\nOleLayer=1\r\n");
  CExportSkvaSettings exporter(10.5, Install(), 0, 0);
  EXPECT_FALSE(exporter.ExportConfigToFile(dir_.Wide("missing/out.zip")));
  EXPECT_FALSE(dir_.Exists("missing"));
  EXPECT_FALSE(dir_.Exists("server/skva.dat"));
}

TEST_F(ArchiveTest, AFailedExportKeepsTheOldArchive) {
  // Without its install folder the package data file cannot be written, so
  // the export fails before any archive is made.
  dir_.Write("old.zip", "previous archive");
  CExportSkvaSettings exporter(10.5, Install(), 0, 0);
  EXPECT_FALSE(exporter.ExportConfigToFile(dir_.Wide("old.zip")));
  EXPECT_EQ(dir_.Read("old.zip"), "previous archive");
}

// A disk that fills up while the archive is written: neither a partial nor
// a final archive is left, and the failure names the archive and the reason.
// minizip keeps a member's header when the member cannot be closed after a
// failed write; under LeakSanitizer that shows as a leak of the test that
// fills the disk on purpose. The library stays loaded until the process ends,
// so that the report can name it.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libminizip.so\n";
}

TEST_F(ArchiveTest, AnArchiveWriteFailingHalfWayLeavesNoArchive) {
  static platform::DynamicLibrary* const kPinnedZipLibrary = [] {
    auto* library = new platform::DynamicLibrary;
    zip_library::Load(zip_library::kMinizipLibrary, library);
    return library;
  }();
  ASSERT_TRUE(kPinnedZipLibrary->is_loaded());
  WriteMainIni("[Global Setting]\r\nOleLayer=1\r\n");
  std::string big;
  for (uint32_t i = 0; i < 400000; ++i) big += static_cast<char>((i * 7919u) % 251u);
  dir_.Write("server/Private/PFW/big.pfw", big);  // so that the archive takes several writes
  dir_.Write("old.zip", "previous archive");
  platform::FileFaults faults;
  faults.only_paths_containing = ".part.zip";
  faults.fail_write_at = 3;
  faults.disk_full = true;
  CExportSkvaSettings exporter(10.5, Install(), 0, 0);
  {
    const platform::ScopedFileFaults installed(&faults);
    EXPECT_FALSE(exporter.ExportConfigToFile(dir_.Wide("old.zip")));
  }
  EXPECT_GT(faults.failed_writes, 0u);
  EXPECT_EQ(dir_.Read("old.zip"), "previous archive");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".part.zip"), std::string::npos)
        << entry.path();
  }
  const platform::AppMessage& failure = exporter.failure();
  EXPECT_EQ(failure.id, platform::kMsgArchiveNotWritten);
  const std::u16string text =
      failure.argument1 + u" " + failure.argument2 + u" " + failure.argument3;
  EXPECT_NE(text.find(dir_.Wide("old.zip")), std::u16string::npos) << platform::Utf16ToUtf8(text);
  EXPECT_NE(text.find(platform::Utf8ToUtf16(platform::SystemErrorText(platform::DiskFullError()))),
            std::u16string::npos)
      << platform::Utf16ToUtf8(text);
}

// True where files keep POSIX permission bits (not on Windows, whose access
// lists the platform's own tests look at).
bool SystemKeepsPermissionBits(const testing_support::TempFolder& dir) {
  namespace fs = std::filesystem;
  dir.Write("probe", "");
  std::error_code error;
  fs::permissions(dir.Native("probe"), fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::replace, error);
  return !error && fs::status(dir.Native("probe")).permissions() ==
                       (fs::perms::owner_read | fs::perms::owner_write);
}

// Links planted at the files the export writes lead nowhere: the archive,
// skva.dat and the INI staging files are new files of their own, and the
// archive is owner-only. A partial archive that a killed export left is
// removed.
TEST_F(ArchiveTest, PlantedLinksAreNotWrittenThroughAndLeftoversGo) {
  namespace fs = std::filesystem;
  WriteMainIni("[Global Setting]\r\nOleLayer=1\r\n");
  dir_.Write("elsewhere/target", "untouched");
  const std::string target = dir_.Native("elsewhere/target");
  for (const char* link :
       {"server/skva.dat", "server/tmp.ini", "server/tmp.ini.staging", "out.zip"}) {
    std::error_code made;
    fs::create_symlink(target, dir_.Native(link), made);
    if (made) GTEST_SKIP() << "no symbolic links can be made here: " << made.message();
  }
  dir_.Write(".out.zip.999999999.part.zip", "left by a killed export");
  CExportSkvaSettings exporter(10.5, Install(), 0, 0);
  ASSERT_TRUE(exporter.ExportConfigToFile(dir_.Wide("out.zip")));
  EXPECT_EQ(dir_.Read("elsewhere/target"), "untouched");
  EXPECT_EQ(fs::symlink_status(dir_.Native("out.zip")).type(), fs::file_type::regular);
  if (SystemKeepsPermissionBits(dir_)) {
    EXPECT_EQ(fs::status(dir_.Native("out.zip")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_EQ(Members(dir_.Native("out.zip")), std::vector<std::string>{"skva.dat"});
  EXPECT_FALSE(dir_.Exists(".out.zip.999999999.part.zip"));
}

}  // namespace
