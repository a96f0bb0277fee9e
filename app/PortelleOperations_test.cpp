#include "app/PortelleOperations.h"

#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <zlib.h>

#include "import/ImportBackup.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/string_table.h"
#include "platform/testing/recording_user_interface.h"
#include "platform/user_interface.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char kTargetIni[] = "[Global Setting]\r\nServerID=target\r\nShared=old\r\n";

// The dialog's import on an install folder of its own, with an archive whose
// package holds INI settings and no domain (so no database is needed).
class DialogImportTest : public ::testing::Test {
 protected:
  DialogImportTest() {
    dir_.Write("server/bsnscan.ini", kTargetIni);
    dir_.MakeFolder("server/private");
    dir_.MakeFolder("cwd");
    platform::GetCurrentFolder(&previous_folder_);
    platform::SetCurrentFolder(dir_.Wide("cwd"));

    SKVA_Server_Settings::SettingAggregation package;
    package.set_original_skva_ver(10.5);
    package.set_original_servicepack_ver(0);
    // Enough text that the package shrinks under compression, as it must.
    std::string ini = "[Global Setting]\r\nShared=imported\r\n";
    for (int i = 0; i < 40; ++i) ini += "Key" + std::to_string(i) + "=value\r\n";
    package.set_global_config_string(ini);
    dir_.MakeFolder("package");
    EXPECT_TRUE(package::WritePackageDataFile(package, dir_.Wide("package/"), u"test").ok());
    const std::string data = dir_.Read("package/skva.dat");
    zipFile zip = zipOpen(dir_.Native("a.zip").c_str(), APPEND_STATUS_CREATE);
    zip_fileinfo info = {};
    EXPECT_EQ(
        zipOpenNewFileInZip(zip, "skva.dat", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9),
        ZIP_OK);
    EXPECT_EQ(zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
    EXPECT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    EXPECT_EQ(zipClose(zip, nullptr), ZIP_OK);
  }
  ~DialogImportTest() override { platform::SetCurrentFolder(previous_folder_); }

  testing_support::TempFolder dir_;
  std::u16string previous_folder_;
  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scoped_ui_{&ui_};
  CPortelleOperations operations_;
};

TEST_F(DialogImportTest, TheImportIsBackedUpFirstAndTheBackupRestoresTheTarget) {
  const OperationOutcome outcome = operations_.Import(dir_.Wide("server/"), dir_.Wide("a.zip"));
  ASSERT_TRUE(outcome.succeeded);
  EXPECT_NE(dir_.Read("server/bsnscan.ini"), kTargetIni);
  const std::vector<import_backup::BackupInfo> backups =
      import_backup::ListBackups(dir_.Wide("server/"));
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].manifest.archive, dir_.Wide("a.zip"));

  import_backup::RestoreResult result;
  platform::AppMessage failure;
  ASSERT_TRUE(
      import_backup::RestoreBackup(dir_.Wide("server/"), backups[0].path, &result, &failure));
  EXPECT_EQ(dir_.Read("server/bsnscan.ini"), kTargetIni);
}

TEST_F(DialogImportTest, ABackupThatCannotBeWrittenStopsTheImportWithItsReason) {
  dir_.Write("server/Backup", "a file where the backup folder belongs");
  const OperationOutcome outcome = operations_.Import(dir_.Wide("server/"), dir_.Wide("a.zip"));
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.failure.id, platform::kMsgBackupNotWritten);
  EXPECT_EQ(dir_.Read("server/bsnscan.ini"), kTargetIni);
  EXPECT_FALSE(dir_.Exists("cwd/DuplicateDomainList.txt"));
}

}  // namespace
