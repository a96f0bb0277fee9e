#include "import/ImportBackup.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace import_backup {
namespace {

TEST(ManifestTest, ListsSavedAndAbsentFilesOneLineEach) {
  Manifest manifest;
  manifest.archive = u"/tmp/Skva\u00e9.zip";
  manifest.files = {{u"bsnscan.ini", true, 12, 1600000000123456789},
                    {u"Private\\PFW\\a b.dat", true, 0, -5},
                    {u"Admin\\ALERT.MSG", false, 0, 0}};
  const std::string expected =
      "portelle-backup 1\n"
      "archive\t/tmp/Skva\xc3\xa9.zip\n"
      "file\t12\t1600000000123456789\tbsnscan.ini\n"
      "file\t0\t-5\tPrivate\\PFW\\a b.dat\n"
      "absent\tAdmin\\ALERT.MSG\n";
  EXPECT_EQ(ManifestText(manifest), expected);

  Manifest parsed;
  std::u16string error;
  ASSERT_TRUE(ParseManifest(expected, &parsed, &error)) << platform::Utf16ToUtf8(error);
  EXPECT_EQ(parsed.archive, manifest.archive);
  ASSERT_EQ(parsed.files.size(), 3u);
  EXPECT_EQ(parsed.files[0].modified_ns, 1600000000123456789);
  EXPECT_EQ(parsed.files[1].name, u"Private\\PFW\\a b.dat");
  EXPECT_EQ(parsed.files[1].modified_ns, -5);
  EXPECT_FALSE(parsed.files[2].present);
}

TEST(ManifestTest, RefusesWhatItDoesNotWriteAndNamesOutsideTheInstallFolder) {
  const char* const kRefused[] = {
      "",
      "portelle-backup 2\n",
      "portelle-backup 1\nfile\t1\t2\n",
      "portelle-backup 1\nfile\tx\t2\ta.ini\n",
      "portelle-backup 1\nfile\t-1\t2\ta.ini\n",
      "portelle-backup 1\nfile\t1\t2\t..\\..\\etc\\passwd\n",
      "portelle-backup 1\nabsent\t\\etc\\passwd\n",
      "portelle-backup 1\nabsent\tC:\\boot.ini\n",
      "portelle-backup 1\nabsent\t\n",
      "portelle-backup 1\nremove\ta.ini\n",
  };
  for (const char* text : kRefused) {
    Manifest parsed;
    std::u16string error;
    EXPECT_FALSE(ParseManifest(text, &parsed, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

class BackupTest : public ::testing::Test {
 protected:
  BackupTest() {
    dir_.Write("server/bsnscan.ini", "[Global Setting]\r\nServerID=target\r\n");
    dir_.Write("server/Private/empty.dat", "");
    platform::SetFileTimes(install() + u"bsnscan.ini", kTime, kTime);
    platform::SetFileTimes(install() + u"Private/empty.dat", kLaterTime, kLaterTime);
  }
  std::u16string install() const { return dir_.Wide("server/"); }
  int64_t Modified(std::string_view relative) const {
    platform::FileInfo info;
    EXPECT_TRUE(platform::GetFileInfo(dir_.Wide("server/" + std::string(relative)), &info).ok());
    return info.modified_ns;
  }

  // Times below the microsecond, in the 100 ns steps that Windows keeps.
  static constexpr int64_t kTime = 1600000000123456700;
  static constexpr int64_t kLaterTime = kTime + 100;
  const std::vector<std::u16string> names_ = {u"bsnscan.ini", u"private\\empty.dat",
                                              u"Admin\\ALERT.MSG"};
  testing_support::TempFolder dir_;
};

TEST_F(BackupTest, RestoreGivesBackBytesAndTimesAndRemovesWhatTheImportAdded) {
  std::u16string backup;
  platform::AppMessage failure;
  ASSERT_TRUE(WriteBackup(install(), u"/a/SkvaMigrate.zip", names_, &backup, &failure));
  EXPECT_EQ(backup.rfind(BackupFolder(install()) + u"portelle-backup-", 0), 0u);
  EXPECT_FALSE(dir_.Exists("server/Backup/portelle-backup.txt"));

  // What an import does to the three files.
  dir_.Write("server/bsnscan.ini", "[Global Setting]\r\nServerID=target\r\nNew=1\r\n");
  platform::DeleteFile(install() + u"Private/empty.dat");
  dir_.Write("server/Admin/ALERT.MSG", "imported alert");

  RestoreResult result;
  ASSERT_TRUE(RestoreBackup(install(), backup, &result, &failure))
      << platform::Utf16ToUtf8(platform::FormatMessageText(failure));
  EXPECT_EQ(result.restored, 2);
  EXPECT_EQ(result.removed, 1);
  EXPECT_EQ(dir_.Read("server/bsnscan.ini"), "[Global Setting]\r\nServerID=target\r\n");
  EXPECT_EQ(Modified("bsnscan.ini"), kTime);
  EXPECT_TRUE(dir_.Exists("server/Private/empty.dat"));
  EXPECT_EQ(Modified("Private/empty.dat"), kLaterTime);
  EXPECT_FALSE(dir_.Exists("server/Admin/ALERT.MSG"));

  const std::vector<BackupInfo> backups = ListBackups(install());
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].path, backup);
  EXPECT_TRUE(backups[0].readable);
  EXPECT_EQ(backups[0].manifest.archive, u"/a/SkvaMigrate.zip");
  EXPECT_EQ(backups[0].manifest.files.size(), 3u);
}

TEST_F(BackupTest, TwoBackupsInOneSecondGetNamesOfTheirOwn) {
  std::u16string first;
  std::u16string second;
  platform::AppMessage failure;
  ASSERT_TRUE(WriteBackup(install(), u"a.zip", names_, &first, &failure));
  ASSERT_TRUE(WriteBackup(install(), u"a.zip", names_, &second, &failure));
  EXPECT_NE(first, second);
  const std::vector<BackupInfo> backups = ListBackups(install());
  ASSERT_EQ(backups.size(), 2u);
  EXPECT_EQ(backups[0].path, first);
  EXPECT_EQ(backups[1].path, second);
}

TEST_F(BackupTest, ABackupFolderThatCannotBeMadeIsAFailureNamingIt) {
  dir_.Write("server/Backup", "a file in the folder's place");
  std::u16string backup;
  platform::AppMessage failure;
  EXPECT_FALSE(WriteBackup(install(), u"a.zip", names_, &backup, &failure));
  EXPECT_EQ(failure.id, platform::kMsgBackupNotWritten);
  EXPECT_EQ(failure.argument1.rfind(BackupFolder(install()), 0), 0u);
  EXPECT_FALSE(failure.argument2.empty());
}

TEST_F(BackupTest, ABackupThatIsNoZipArchiveRestoresNothing) {
  dir_.Write("bad.zip", "not a zip archive");
  RestoreResult result;
  platform::AppMessage failure;
  EXPECT_FALSE(RestoreBackup(install(), dir_.Wide("bad.zip"), &result, &failure));
  EXPECT_EQ(failure.id, platform::kMsgRestoreFailed);
  EXPECT_EQ(dir_.Read("server/bsnscan.ini"), "[Global Setting]\r\nServerID=target\r\n");
  EXPECT_EQ(Modified("bsnscan.ini"), kTime);
}

}  // namespace
}  // namespace import_backup
