#include "import/PortelleImport.h"

#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <cerrno>
#include <string>
#include <vector>

#include "import/ImportTestSupport.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/string_table.h"
#include "platform/text.h"

namespace import_testing {
namespace {

constexpr char16_t kUid[] = u"3f2504e0-4f89-41d3-9a0c-0305e82c3301";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::ExtractFromZip";

std::u16string ExtractLine(std::u16string_view message) { return EngineLine(kFunc, message); }

struct Member {
  std::string name;  // as stored, backslashes included
  std::string bytes;
};

// skva.dat for `package`, as the export writes it.
std::string PackageFile(const testing_support::TempFolder& dir,
                        const SKVA_Server_Settings::SettingAggregation& package) {
  dir.MakeFolder("package");
  EXPECT_TRUE(package::WritePackageDataFile(package, dir.Wide("package/"), u"test").ok());
  return dir.Read("package/skva.dat");
}

// A package of 10.5 with INI text, a domain and a record without entry name.
SKVA_Server_Settings::SettingAggregation SamplePackage() {
  SKVA_Server_Settings::SettingAggregation package;
  package.set_original_skva_ver(10.5);
  package.set_original_servicepack_ver(0);
  std::string ini = "[Global Setting]\r\nShared=imported\r\nDiskReserved=100\r\n";
  // Enough text that the package shrinks under compression.
  for (int i = 0; i < 40; ++i) ini += "Key" + std::to_string(i) + "=value\r\n";
  package.set_global_config_string(ini);
  *package.add_scanconfigs() = Record(kUid, u"Sales", u"Europe Sales", kRoot, {u"1", u"2"});
  SKVA_Server_Settings::ScanConfigs* nameless = package.add_scanconfigs();
  *nameless = Record(u"11111111-0000-4000-8000-000000000001", u"x", u"x", kRoot);
  nameless->clear_computer_name();
  return package;
}

class ImportSettingsTest : public ImportTest {
 protected:
  ImportSettingsTest() {
    WriteServerFile("bsnscan.ini", kTargetIni);
    WriteServerFile("Admin/ALERT.MSG", "target alert");
  }

  // Writes the archive dir_/name with minizip, each member deflated under
  // its name exactly as given.
  std::u16string WriteArchive(const std::string& name, const std::vector<Member>& members) {
    zipFile zip = zipOpen(dir_.Native(name).c_str(), APPEND_STATUS_CREATE);
    EXPECT_NE(zip, nullptr);
    for (const Member& member : members) {
      zip_fileinfo info = {};
      info.tmz_date.tm_mday = 6;
      info.tmz_date.tm_mon = 4;
      info.tmz_date.tm_year = 2020;
      EXPECT_EQ(zipOpenNewFileInZip(zip, member.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                    nullptr, Z_DEFLATED, 9),
                ZIP_OK);
      EXPECT_EQ(
          zipWriteInFileInZip(zip, member.bytes.data(), static_cast<unsigned>(member.bytes.size())),
          ZIP_OK);
      EXPECT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    EXPECT_EQ(zipClose(zip, nullptr), ZIP_OK);
    return dir_.Wide(name);
  }

  // A zlib stream of `bytes` behind the length prefix, as skva.dat holds it.
  static std::string CompressedFile(const std::string& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string stream(size, '\0');
    compress(reinterpret_cast<Bytef*>(stream.data()), &size,
             reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()));
    stream.resize(size);
    return std::to_string(bytes.size()) + stream;
  }

  const std::u16string message133_ = platform::FormatMessageText(platform::kMsgDataFileCorrupted);
  static constexpr char kTargetIni[] =
      "[Global Setting]\r\nShared=target\r\nServerID=target-id\r\n";
  FakeDatabaseService service_;
};

TEST_F(ImportSettingsTest, ImportsAnArchiveFromExtractionToTheMigrations) {
  CopyStandIn("BsnPfwCommon.so", "server/BsnPfwCommon.so");
  WriteServerFile("ous.ini", "target ous");
  const std::u16string archive =
      WriteArchive("old.zip", {{"Private\\PFW\\profile.dat", "firewall profile"},
                               {"ous.ini", "source ous"},
                               {"ALERT.MSG", "source alert"},
                               {"AlertWSR.msg", "source wsr"},
                               {"ssnotify.ini", "[notify]\r\n"},
                               {"Private\\DlpClc.ori.xml", "<template/>"},
                               {"skva.dat", PackageFile(dir_, SamplePackage())}});
  service_.Start();
  EXPECT_TRUE(importer_->ImportSettingsFromFile(archive));
  service_.Stop();

  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ServerFile("ous.ini"), "source ous");
  EXPECT_EQ(ServerFile("Private/PFW/profile.dat"), "firewall profile");
  EXPECT_EQ(ServerFile("Admin/ALERT.MSG"), "source alert");
  EXPECT_EQ(ServerFile("Admin/AlertWSR.msg"), "source wsr");
  EXPECT_EQ(ServerFile("Admin/ssnotify.ini"), "[notify]\r\n");
  EXPECT_FALSE(ServerFileExists("ALERT.MSG"));
  EXPECT_FALSE(ServerFileExists("ssnotify.ini"));
  EXPECT_TRUE(Logged(69, ExtractLine(u"AlertAS.msg does not exist, errno = 2")));
  EXPECT_EQ(Logged(ExtractLine(u"ALERT.MSG does not exist, errno = 2")), 0u);

  EXPECT_NE(ServerFile("bsnscan.ini").find("Shared=imported"), std::string::npos);
  EXPECT_NE(ServerFile("bsnscan.ini").find("ServerID=target-id"), std::string::npos);
  EXPECT_TRUE(Logged(68,
                     u"CImportSkvaSettings::ImportSettingsFromFile - there are 2 items to "
                     u"import"));
  ASSERT_EQ(service_.RequestsFor(u"DBV2_CLIENT_ON_START").size(), 1u);
  EXPECT_EQ(service_.RequestsFor(u"DB_IMPORT").size(), 1u);
  EXPECT_NE(ServerFile("BsnPfwCommon.calls.txt"), "");
  EXPECT_NE(ServerFile("SvcCfgRunner.calls.txt").find("arg\t4\t10.500000\narg\t5\t0\n"),
            std::string::npos);
  EXPECT_EQ(ServerFile("SvcCfgRunner.given.2"), "<template/>");
  EXPECT_FALSE(ServerFileExists("Private/DlpClc.ori.xml"));
  EXPECT_FALSE(ServerFileExists("skva.dat"));
  EXPECT_FALSE(ServerFileExists("tmp.ini"));
  EXPECT_TRUE(Logged(68, std::u16string(u"CImportSkvaSettings::ImportSettingsFromFile - "
                                        u"=>ImportSettingsFromFile(wstrImportFile[") +
                             archive + u"])"));
}

TEST_F(ImportSettingsTest, AnArchiveWithoutPackageIsExtractedAndThenRefused) {
  WriteServerFile("ous.ini", "target ous");
  CopyStandIn("BsnPfwCommon.so", "server/BsnPfwCommon.so");
  service_.Start();
  EXPECT_FALSE(importer_->ImportSettingsFromFile(WriteArchive("a.zip", {{"ous.ini", "source"}})));
  service_.Stop();
  EXPECT_EQ(ServerFile("ous.ini"), "source");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
  EXPECT_EQ(ServerFile("bsnscan.ini"), kTargetIni);
  EXPECT_TRUE(service_.requests().empty());
  EXPECT_FALSE(ServerFileExists("BsnPfwCommon.calls.txt"));
}

TEST_F(ImportSettingsTest, APackageWithoutRecordsStillMergesAndMigrates) {
  CopyStandIn("BsnPfwCommon.so", "server/BsnPfwCommon.so");
  SKVA_Server_Settings::SettingAggregation package = SamplePackage();
  package.clear_scanconfigs();
  service_.Start();
  EXPECT_TRUE(importer_->ImportSettingsFromFile(
      WriteArchive("a.zip", {{"skva.dat", PackageFile(dir_, package)}})));
  service_.Stop();
  EXPECT_TRUE(service_.requests().empty());
  EXPECT_NE(ServerFile("bsnscan.ini").find("Shared=imported"), std::string::npos);
  EXPECT_TRUE(Logged(68,
                     u"CImportSkvaSettings::ImportSettingsFromFile - there are 0 items to "
                     u"import"));
  EXPECT_NE(ServerFile("BsnPfwCommon.calls.txt"), "");
  EXPECT_NE(ServerFile("SvcCfgRunner.calls.txt"), "");
}

TEST_F(ImportSettingsTest, AlertFilesUnderAdminAlreadyStayWhereTheyAre) {
  std::vector<Member> members = {{"skva.dat", PackageFile(dir_, SamplePackage())},
                                 {"Admin\\ALERT.MSG", "source alert"},
                                 {"admin\\ssnotify.ini", "[notify]\r\n"}};
  service_.Start();
  EXPECT_TRUE(importer_->ImportSettingsFromFile(WriteArchive("new.zip", members)));
  service_.Stop();
  EXPECT_EQ(ServerFile("Admin/ALERT.MSG"), "source alert");
  EXPECT_EQ(ServerFile("Admin/ssnotify.ini"), "[notify]\r\n");
  for (const std::u16string_view name :
       {u"ALERT.MSG", u"AlertAS.msg", u"AlertBM.msg", u"alertcfw.msg", u"AlertDAC.MSG",
        u"AlertDLP.MSG", u"AlertH.MSG", u"AlertL.MSG", u"AlertM.MSG", u"AlertWSR.msg"}) {
    EXPECT_EQ(Logged(ExtractLine(std::u16string(name) + u" does not exist, errno = 2")), 1u)
        << platform::Utf16ToUtf8(name);
  }
}

TEST_F(ImportSettingsTest, ArchivesThatCannotBeOpenedAndNamesWithoutZipEnding) {
  const std::u16string missing = dir_.Wide("missing.zip");
  EXPECT_FALSE(importer_->ImportSettingsFromFile(missing));
  EXPECT_TRUE(Logged(70, ExtractLine(u"Fail to open " + missing)));
  EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});

  // A name without ".zip" is opened with ".Zip" appended.
  WriteArchive("named.Zip", {{"ous.ini", "from named"}});
  importer_->ImportSettingsFromFile(dir_.Wide("named"));
  EXPECT_EQ(ServerFile("ous.ini"), "from named");

  // A path too long for the system's path buffer is refused, not cut.
  const std::u16string long_path = dir_.Wide(std::string(300, 'a') + ".zip");
  EXPECT_FALSE(importer_->ExtractFromZip(long_path));
  EXPECT_TRUE(Logged(70, ExtractLine(u"Fail to open " + long_path)));
}

TEST_F(ImportSettingsTest, HostileArchivesWriteNothingOutsideTheInstallFolder) {
  dir_.Write("outside.txt", "outside");
  for (const std::string name :
       {"..\\outside.txt", "Admin\\..\\..\\outside.txt", "Private\\PFW\\..\\..\\..\\outside.txt"}) {
    SCOPED_TRACE(name);
    ui_.Clear();
    const std::u16string archive = WriteArchive(
        "slip.zip", {{"ous.ini", "first"}, {name, "escaped"}, {"skva.dat", "never read"}});
    EXPECT_FALSE(importer_->ImportSettingsFromFile(archive));
    EXPECT_EQ(dir_.Read("outside.txt"), "outside");
    EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
    EXPECT_TRUE(Logged(70, ExtractLine(u"Fail to extract files from " + archive)));
  }
  EXPECT_EQ(ServerFile("bsnscan.ini"), kTargetIni);
  EXPECT_FALSE(ServerFileExists("skva.dat"));
}

TEST_F(ImportSettingsTest, PackagesThatCannotBeReadImportNothing) {
  CopyStandIn("BsnPfwCommon.so", "server/BsnPfwCommon.so");
  service_.Start();
  const std::vector<std::string> bad_packages = {
      "5321xgarbage",                      // no zlib stream
      CompressedFile("\xFF\xFF\xFF\xFF"),  // not a settings package
      "99999999999999999999999999x",       // a length no buffer should get
  };
  for (const std::string& bytes : bad_packages) {
    ui_.Clear();
    EXPECT_FALSE(importer_->ImportSettingsFromFile(
        WriteArchive("bad.zip", {{"Admin\\ALERT.MSG", "source alert"}, {"skva.dat", bytes}})));
    EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
    EXPECT_FALSE(ServerFileExists("skva.dat"));
  }
  service_.Stop();
  EXPECT_EQ(ServerFile("bsnscan.ini"), kTargetIni);
  EXPECT_TRUE(service_.requests().empty());
  EXPECT_FALSE(ServerFileExists("BsnPfwCommon.calls.txt"));
}

TEST_F(ImportSettingsTest, OnlyTheFilesOfAnExportArchiveAreExtracted) {
  const std::u16string archive =
      WriteArchive("extra.zip", {{"bsnscan.ini", "[Global Setting]\r\nShared=planted\r\n"},
                                 {"BsnPfwCommon.so", "planted library"},
                                 {"Private\\PFW\\sub\\deeper.dat", "planted"},
                                 {"Private\\PFW\\profile.dat", "profile"},
                                 {"skva.dat", "corrupt"}});
  EXPECT_FALSE(importer_->ImportSettingsFromFile(archive));
  EXPECT_EQ(ServerFile("bsnscan.ini"), kTargetIni);
  EXPECT_FALSE(ServerFileExists("BsnPfwCommon.so"));
  EXPECT_FALSE(ServerFileExists("Private/PFW/sub"));
  EXPECT_EQ(ServerFile("Private/PFW/profile.dat"), "profile");
  EXPECT_TRUE(Logged(69, ExtractLine(u"BsnPfwCommon.so is not a file of an export archive; not "
                                     u"extracted")));
  EXPECT_TRUE(Logged(69, ExtractLine(u"Private\\PFW\\sub\\deeper.dat is not a file of an export "
                                     u"archive; not extracted")));
}

TEST_F(ImportSettingsTest, AFileSystemFailureShowsTheZipLayersOwnText) {
  // A file where the archive needs a folder.
  WriteServerFile("Private", "not a folder");
  EXPECT_FALSE(importer_->ImportSettingsFromFile(
      WriteArchive("a.zip", {{"Private\\dlp.ini", "[dlp]\r\n"}})));
  ASSERT_EQ(ui_.messages().size(), 1u);
  const std::u16string text = ui_.messages()[0].text;
  EXPECT_EQ(text, platform::Utf8ToUtf16("CWinFileException: Error : 20, Description : " +
                                        platform::SystemErrorText(ENOTDIR)));
  EXPECT_EQ(ui_.messages()[0].icon, platform::MessageIcon::kError);
  EXPECT_TRUE(Logged(70, ExtractLine(u"Catch exception " + text)));
}

TEST_F(ImportSettingsTest, EachImportStartsWithAnEmptyDuplicateList) {
  dir_.Write("cwd/DuplicateDomainList.txt", "\xFF\xFE" + Bytes(u"old\\line\r\n"));
  CImportSkvaSettings another(install_path());
  EXPECT_EQ(DuplicateList(), "\xFF\xFE");
}

}  // namespace
}  // namespace import_testing
