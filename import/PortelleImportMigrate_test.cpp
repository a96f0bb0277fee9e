#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "import/PortelleImport.h"
#include "import/testing/ImportTestSupport.h"
#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/support/library_name.h"

namespace import_testing {
namespace {

using testing_support::LibraryFile;

class MigrateTest : public ImportTest {
 protected:
  void SetVersion(double version, int32_t service_pack) {
    SKVA_Server_Settings::SettingAggregation package;
    package.set_original_skva_ver(version);
    package.set_original_servicepack_ver(service_pack);
    importer_->SetPackage(package);
  }

  std::u16string CurrentFolder() const {
    std::u16string folder;
    platform::GetCurrentFolder(&folder);
    return folder;
  }

  // The install folder as the programs see it when it is current.
  std::string RealInstallFolder() const {
    return std::filesystem::canonical(dir_.Native("server")).string();
  }
};

TEST_F(MigrateTest, TheFirewallLibraryIsCalledInTheInstallFolderWithBothPaths) {
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
  const std::u16string before = CurrentFolder();
  EXPECT_TRUE(importer_->MigratePFWSettings());
  EXPECT_EQ(CurrentFolder(), before);
  const std::string install = dir_.Native("server/");
  EXPECT_EQ(ServerFile("BsnPfwCommon.calls.txt"), "PFWMigrateFirewallSettings\t" + install +
                                                      "Private\\PFW\\\n"
                                                      "PFWCreateServerPackedPfwFile\t" +
                                                      install + "\n");
  EXPECT_TRUE(Logged(8, u"=>MigratePFWSettings()"));
  EXPECT_TRUE(Logged(8, u"<=MigratePFWSettings()"));
}

TEST_F(MigrateTest, WithoutTheLibraryTheStepFailsAndTheFolderIsRestored) {
  // The program's folder holds a BsnPfwCommon library; only the install folder's
  // counts.
  const std::u16string before = CurrentFolder();
  EXPECT_FALSE(importer_->MigratePFWSettings());
  EXPECT_EQ(CurrentFolder(), before);
  EXPECT_TRUE(Logged(2, platform::Format(u"Load BsnPfwCommon.dll failed, error=%d",
                                         platform::kErrorLibraryNotFound)));
  EXPECT_FALSE(ServerFileExists("BsnPfwCommon.calls.txt"));
  EXPECT_TRUE(Logged(8, u"<=MigratePFWSettings()"));
}

TEST_F(MigrateTest, ALibraryWithoutTheMigrationEntryPointStillGetsTheOtherCall) {
  CopyStandIn(LibraryFile("BsnPfwCommonPackOnly.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
  EXPECT_FALSE(importer_->MigratePFWSettings());
  EXPECT_EQ(ServerFile("BsnPfwCommon.calls.txt"),
            "PFWCreateServerPackedPfwFile\t" + dir_.Native("server/") + "\n");
  EXPECT_TRUE(Logged(2, platform::Format(u"Load fpPfwMigrateSetting failed, err = %d",
                                         platform::kErrorEntryPointNotFound)));
  EXPECT_FALSE(Logged(2, platform::Format(u"Load fpCreateServerPackedFile failed, err = %d",
                                          platform::kErrorEntryPointNotFound)));
}

TEST_F(MigrateTest, TheSetupProgramGetsTheTemplatesAndTheVersionThenTheCopyIsRemoved) {
  WriteServerFile("Private/DlpClc.ori.xml", "<template from=\"source\"/>");
  WriteServerFile("Private/DlpClc.xml", "<template/>");
  SetVersion(10.5, 0);
  const std::u16string before = CurrentFolder();
  // SvcCfgRunner lies beside the test program, the first folder searched.
  EXPECT_TRUE(importer_->MigrateDLPTemplate());
  EXPECT_EQ(CurrentFolder(), before);
  EXPECT_EQ(ServerFile("SvcCfgRunner.calls.txt"), "call\t" + RealInstallFolder() +
                                                      "\n"
                                                      "arg\t0\tSvcCfgRunner.exe\n"
                                                      "arg\t1\t-migrateDlpTemplate\n"
                                                      "arg\t2\tPrivate\\DlpClc.ori.xml\n"
                                                      "arg\t3\tPrivate\\DlpClc.xml\n"
                                                      "arg\t4\t10.500000\n"
                                                      "arg\t5\t0\n"
                                                      "file\t2\t25\n"
                                                      "file\t3\t11\n");
  EXPECT_EQ(ServerFile("SvcCfgRunner.given.2"), "<template from=\"source\"/>");
  EXPECT_FALSE(ServerFileExists("Private/DlpClc.ori.xml"));
  EXPECT_TRUE(ServerFileExists("Private/DlpClc.xml"));
  for (const std::u16string_view line :
       {u"=>MigrateDLPTemplate()",
        u"szCmdLine = SvcCfgRunner.exe -migrateDlpTemplate \"Private\\DlpClc.ori.xml\" "
        u"\"Private\\DlpClc.xml\" 10.500000 0",
        u"Wait for process to terminate", u"Process terminated", u"<=MigrateDLPTemplate()"}) {
    EXPECT_TRUE(Logged(8, line)) << platform::Utf16ToUtf8(line);
  }
}

TEST_F(MigrateTest, ASetupProgramThatCannotBeStartedLeavesTheCopy) {
  WriteServerFile("Private/DlpClc.ori.xml", "<template/>");
  SetVersion(10.6, 1);
  const platform::ScopedProgramSearchFoldersForTesting nowhere({dir_.Native("empty")});
  const std::u16string before = CurrentFolder();
  EXPECT_FALSE(importer_->MigrateDLPTemplate());
  EXPECT_EQ(CurrentFolder(), before);
  EXPECT_TRUE(ServerFileExists("Private/DlpClc.ori.xml"));
  EXPECT_TRUE(Logged(8,
                     u"szCmdLine = SvcCfgRunner.exe -migrateDlpTemplate "
                     u"\"Private\\DlpClc.ori.xml\" \"Private\\DlpClc.xml\" 10.600000 1"));
  EXPECT_TRUE(Logged(2, u"CreateProcessA failed (2)"));
  EXPECT_FALSE(Logged(8, u"<=MigrateDLPTemplate()"));
}

TEST_F(MigrateTest, AnInstallFolderThatCannotBeEnteredRunsNeitherComponent) {
  // The current folder holds both, which must not be taken instead.
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "cwd/" + LibraryFile("BsnPfwCommon.dll"));
  CImportSkvaSettings lost(dir_.Wide("missing/"));
  const std::u16string before = CurrentFolder();
  EXPECT_FALSE(lost.MigratePFWSettings());
  EXPECT_FALSE(lost.MigrateDLPTemplate());
  EXPECT_EQ(CurrentFolder(), before);
  EXPECT_EQ(log_.Count(kSource, u"Cannot enter the install folder, error=2"), 2u);
  EXPECT_FALSE(dir_.Exists("cwd/SvcCfgRunner.calls.txt"));
}

}  // namespace
}  // namespace import_testing
