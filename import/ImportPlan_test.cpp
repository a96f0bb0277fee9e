#include "import/ImportPlan.h"

#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "dbclient/dbcl_CommandWords.h"
#include "import/testing/ImportTestSupport.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace import_testing {
namespace {

using import_plan::DomainFate;
using import_plan::ImportPlan;
using import_plan::IniChange;

constexpr char kTargetIni[] =
    "[Global Setting]\r\nServerID=target-id\r\nDiskReserved=500\r\nShared=old\r\n"
    "[Manual Scan Configuration]\r\nMoveDir=/target/move\r\n";

class ImportPlanTest : public ImportTest {
 protected:
  ImportPlanTest() {
    WriteServerFile("bsnscan.ini", kTargetIni);
    WriteServerFile("Admin/ALERT.MSG", "target alert");
    WriteServerFile("AlertH.MSG", "an old server's alert at the top");
  }

  // The archive dir_/a.zip with `members` (name, bytes), deflated.
  std::u16string WriteArchive(const std::vector<std::pair<std::string, std::string>>& members) {
    zipFile zip = zipOpen(dir_.Native("a.zip").c_str(), APPEND_STATUS_CREATE);
    EXPECT_NE(zip, nullptr);
    for (const auto& [name, bytes] : members) {
      zip_fileinfo info = {};
      EXPECT_EQ(zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, 9),
                ZIP_OK);
      EXPECT_EQ(zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())),
                ZIP_OK);
      EXPECT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    EXPECT_EQ(zipClose(zip, nullptr), ZIP_OK);
    return dir_.Wide("a.zip");
  }

  std::string PackageFile() {
    SKVA_Server_Settings::SettingAggregation package;
    package.set_original_skva_ver(10.6);
    package.set_original_servicepack_ver(1);
    package.set_global_config_string(
        "[Global Setting]\r\nServerID=source-id\r\nDiskReserved=100\r\nShared=imported\r\n"
        "New=1\r\n[Manual Scan Configuration]\r\nMoveDir=/source/move\r\n");
    *package.add_scanconfigs() =
        Record(u"11111111-0000-4000-8000-000000000001", u"Sales", u"Europe Sales", kRoot);
    *package.add_scanconfigs() =
        Record(u"11111111-0000-4000-8000-000000000002", u"Support", u"Support", kRoot);
    // Created by the record before it, so a duplicate by then.
    *package.add_scanconfigs() =
        Record(u"11111111-0000-4000-8000-000000000003", u"SUPPORT", u"Support again", kRoot);
    *package.add_scanconfigs() = Record(u"11111111-0000-4000-8000-000000000004",
                                        std::u16string(200, u'x'), u"Too long", kRoot);
    dir_.MakeFolder("package");
    EXPECT_TRUE(package::WritePackageDataFile(package, dir_.Wide("package/"), u"test").ok());
    return dir_.Read("package/skva.dat");
  }

  std::map<std::string, std::string> InstallFiles() const {
    std::map<std::string, std::string> files;
    for (const char* name : {"bsnscan.ini", "Admin/ALERT.MSG", "AlertH.MSG"}) {
      files[name] = ServerFile(name);
    }
    return files;
  }
};

const IniChange* Find(const ImportPlan& plan, std::u16string_view section,
                      std::u16string_view key) {
  for (const IniChange& change : plan.ini) {
    if (change.section == section && change.key == key) return &change;
  }
  return nullptr;
}

TEST_F(ImportPlanTest, ListsWhatTheImportWouldChangeAndChangesNothing) {
  FakeDatabaseService database;
  database.existing = {u"Sales"};
  database.Start();
  const std::u16string archive = WriteArchive({{"skva.dat", PackageFile()},
                                               {"Admin\\ALERT.MSG", "source alert"},
                                               {"Private\\PFW\\profile.dat", "firewall profile"},
                                               {"AlertM.MSG", "an alert at the top"},
                                               {"evil.dll", "not a member of an export archive"}});
  const auto before = InstallFiles();
  ImportPlan plan;
  platform::AppMessage failure;
  ASSERT_TRUE(
      import_plan::MakePlan(install_path(), archive, import_plan::PlanOptions(), &plan, &failure));
  database.Stop();
  EXPECT_EQ(InstallFiles(), before);
  EXPECT_FALSE(ServerFileExists("Private/PFW/profile.dat"));
  EXPECT_FALSE(ServerFileExists("tmp.ini"));
  EXPECT_EQ(database.received.size(), 1u);
  EXPECT_EQ(database.received.count(u"DB_FIND_DOMAIN_UID"), 1u);

  EXPECT_EQ(plan.files_replaced, std::vector<std::u16string>{u"Admin\\ALERT.MSG"});
  EXPECT_EQ(plan.files_added,
            (std::vector<std::u16string>{u"Private\\PFW\\profile.dat", u"AlertM.MSG",
                                         u"Admin\\AlertH.MSG", u"Admin\\AlertM.MSG"}));
  EXPECT_EQ(plan.files_removed, (std::vector<std::u16string>{u"AlertH.MSG", u"AlertM.MSG"}));
  EXPECT_EQ(plan.TouchedFiles().size(), 8u);

  ASSERT_EQ(plan.domains.size(), 4u);
  EXPECT_EQ(plan.domains[0].fate, DomainFate::kDuplicate);
  EXPECT_EQ(plan.domains[1].fate, DomainFate::kCreated);
  EXPECT_EQ(plan.domains[2].fate, DomainFate::kDuplicate);
  EXPECT_EQ(plan.domains[3].fate, DomainFate::kNotImported);
  EXPECT_EQ(plan.domains[0].domain_name, u"Europe Sales");

  const IniChange* shared = Find(plan, u"Global Setting", u"Shared");
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->current, u"old");
  EXPECT_EQ(shared->next, u"imported");
  EXPECT_FALSE(shared->kept);
  const IniChange* added = Find(plan, u"Global Setting", u"New");
  ASSERT_NE(added, nullptr);
  EXPECT_FALSE(added->had_value);
  EXPECT_EQ(added->next, u"1");
  for (const auto& [section, key, ours, theirs] :
       {std::tuple{u"Global Setting", u"ServerID", u"target-id", u"source-id"},
        std::tuple{u"Global Setting", u"DiskReserved", u"500", u"100"},
        std::tuple{u"Manual Scan Configuration", u"MoveDir", u"/target/move", u"/source/move"}}) {
    const IniChange* kept = Find(plan, section, key);
    ASSERT_NE(kept, nullptr) << platform::Utf16ToUtf8(key);
    EXPECT_TRUE(kept->kept);
    EXPECT_EQ(kept->current, ours);
    EXPECT_EQ(kept->next, ours);
    EXPECT_EQ(kept->archive_value, theirs);
  }
  // Besides: the three move directories the target lacks, written back
  // empty, and the five web-threat keys the merge always writes.
  const IniChange* empty_move = Find(plan, u"Scan Now Configuration", u"MoveDir");
  ASSERT_NE(empty_move, nullptr);
  EXPECT_FALSE(empty_move->had_value);
  EXPECT_TRUE(empty_move->has_value);
  EXPECT_NE(Find(plan, u"URL_FILTER_INI_SECTION", u"URLFilterCfgFlag_InOffice"), nullptr);
  EXPECT_EQ(plan.ini.size(), 13u);

  ASSERT_EQ(plan.component_calls.size(), 3u);
  EXPECT_EQ(plan.component_calls[0],
            u"BsnPfwCommon PFWMigrateFirewallSettings(\"" + install_path() + u"Private\\PFW\\\")");
  EXPECT_EQ(plan.component_calls[2],
            u"SvcCfgRunner.exe -migrateDlpTemplate \"Private\\DlpClc.ori.xml\" "
            u"\"Private\\DlpClc.xml\" 10.600000 1");
}

TEST_F(ImportPlanTest, AnArchiveTheImportWouldRefuseIsRefusedWithoutAMessageBox) {
  const std::u16string archive = WriteArchive({{"Admin\\ALERT.MSG", "no package"}});
  ImportPlan plan;
  platform::AppMessage failure;
  EXPECT_FALSE(
      import_plan::MakePlan(install_path(), archive, import_plan::PlanOptions(), &plan, &failure));
  EXPECT_EQ(failure.id, platform::kMsgArchiveRefused);
  EXPECT_EQ(failure.argument2, u"it holds no skva.dat");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ServerFile("Admin/ALERT.MSG"), "target alert");
}

}  // namespace
}  // namespace import_testing
