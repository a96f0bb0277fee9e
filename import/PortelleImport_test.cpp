#include "import/PortelleImport.h"

#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "import/testing/ImportTestSupport.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "tests/support/library_name.h"

namespace import_testing {
namespace {

using testing_support::LibraryFile;

constexpr char16_t kUid[] = u"3f2504e0-4f89-41d3-9a0c-0305e82c3301";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::ExtractFromZip";

std::u16string ExtractLine(std::u16string_view message) { return EngineLine(kFunc, message); }

struct Member {
  std::string name;  // as stored, backslashes included
  std::string bytes;
  bool stored = false;  // not compressed, so that a test can change its bytes in the archive
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
                                    nullptr, member.stored ? 0 : Z_DEFLATED, member.stored ? 0 : 9),
                ZIP_OK);
      EXPECT_EQ(
          zipWriteInFileInZip(zip, member.bytes.data(), static_cast<unsigned>(member.bytes.size())),
          ZIP_OK);
      EXPECT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    EXPECT_EQ(zipClose(zip, nullptr), ZIP_OK);
    return dir_.Wide(name);
  }

  // Every file and folder below the install folder: relative path (folders
  // ending in '/') to its bytes.
  std::map<std::string, std::string> InstallFolder() const {
    std::map<std::string, std::string> found;
    const std::filesystem::path root = dir_.Native("server");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      const std::string relative = entry.path().lexically_relative(root).string();
      if (entry.is_directory()) {
        found[relative + "/"] = "";
      } else {
        found[relative] = dir_.Read("server/" + relative);
      }
    }
    return found;
  }

  // The files that extraction left under a temporary name.
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> found;
    for (const auto& [path, bytes] : InstallFolder()) {
      if (path.ends_with(".tmp")) found.push_back(path);
    }
    return found;
  }

  // The failure the importer keeps, as the user would read it.
  std::u16string FailureText() const { return platform::FormatMessageText(importer_->failure()); }
  static std::u16string RefusedText(const std::u16string& archive, std::u16string_view reason) {
    return platform::FormatMessageText(
        platform::AppMessage(platform::kMsgArchiveRefused, archive, std::u16string(reason)));
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
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
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
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
  EXPECT_EQ(importer_->summary().members_skipped, 0);
  // Every member but the package was written; both server steps ran.
  EXPECT_EQ(importer_->summary().files_replaced, 6);
  EXPECT_EQ(importer_->summary().domains_created, 1);
  EXPECT_TRUE(importer_->summary().firewall_migrated);
  EXPECT_TRUE(importer_->summary().dlp_template_migrated);
  EXPECT_TRUE(importer_->failure().empty());
  EXPECT_TRUE(Logged(68, std::u16string(u"CImportSkvaSettings::ImportSettingsFromFile - "
                                        u"=>ImportSettingsFromFile(wstrImportFile[") +
                             archive + u"])"));
}

TEST_F(ImportSettingsTest, AnArchiveWithoutPackageIsRefusedBeforeAnythingIsWritten) {
  WriteServerFile("ous.ini", "target ous");
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
  const std::map<std::string, std::string> before = InstallFolder();
  service_.Start();
  const std::u16string archive =
      WriteArchive("a.zip", {{"ous.ini", "source"}, {"ALERT.MSG", "source alert"}});
  EXPECT_FALSE(importer_->ImportSettingsFromFile(archive));
  service_.Stop();
  EXPECT_EQ(InstallFolder(), before);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
  EXPECT_EQ(FailureText(), RefusedText(archive, u"it holds no skva.dat"));
  EXPECT_TRUE(Logged(70, ExtractLine(u"Refused " + archive + u": it holds no skva.dat")));
  EXPECT_TRUE(service_.requests().empty());
  EXPECT_EQ(importer_->summary().files_replaced, 0);
  EXPECT_FALSE(importer_->summary().firewall_migrated);
  EXPECT_FALSE(importer_->summary().dlp_template_migrated);
}

TEST_F(ImportSettingsTest, APackageWithoutRecordsStillMergesAndMigrates) {
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
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

TEST_F(ImportSettingsTest, ProgressCountsEveryRecordOfThePackageAgainstItsTotal) {
  class RecordingProgress : public platform::ProgressObserver {
   public:
    void OnDomainsDone(int done, int total) override { reports.emplace_back(done, total); }
    std::vector<std::pair<int, int>> reports;
  };
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
  RecordingProgress progress;
  importer_->SetProgressObserver(&progress);
  service_.Start();
  // The sample's second record has no entry name: skipped, it still counts as done.
  EXPECT_TRUE(importer_->ImportSettingsFromFile(
      WriteArchive("a.zip", {{"skva.dat", PackageFile(dir_, SamplePackage())}})));
  EXPECT_EQ(progress.reports, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 2}}));

  // A refused archive reaches no record.
  progress.reports.clear();
  EXPECT_FALSE(importer_->ImportSettingsFromFile(WriteArchive("b.zip", {{"ous.ini", "x"}})));
  service_.Stop();
  EXPECT_TRUE(progress.reports.empty());
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
  // The reason, for the application to show after message 133.
  EXPECT_EQ(importer_->failure().id, platform::kMsgArchiveRefused);
  EXPECT_EQ(importer_->failure().argument1, missing);
  EXPECT_EQ(importer_->failure().argument2,
            u"it cannot be read: " +
                platform::Utf8ToUtf16(platform::SystemErrorText(platform::kErrorFileNotFound)));
  dir_.Write("text.zip", "not an archive");
  EXPECT_FALSE(importer_->ExtractFromZip(dir_.Wide("text.zip")));
  EXPECT_EQ(importer_->failure().argument2, u"it is not a zip archive");

  // A name without ".zip" is opened with ".Zip" appended.
  WriteArchive("named.Zip",
               {{"ous.ini", "from named"}, {"skva.dat", PackageFile(dir_, SamplePackage())}});
  EXPECT_TRUE(importer_->ExtractFromZip(dir_.Wide("named")));
  EXPECT_EQ(ServerFile("ous.ini"), "from named");

  // A path too long for the system's path buffer is refused, not cut.
  const std::u16string long_path = dir_.Wide(std::string(300, 'a') + ".zip");
  EXPECT_FALSE(importer_->ExtractFromZip(long_path));
  EXPECT_TRUE(Logged(70, ExtractLine(u"Fail to open " + long_path)));
  EXPECT_EQ(importer_->failure().id, platform::kMsgArchivePathTooLong);
}

// Archives that are good up to their last member: the whole archive is
// checked before the first member is written, so nothing of them lands in the
// install folder, or anywhere else.
TEST_F(ImportSettingsTest, RefusedArchivesChangeNothing) {
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
  WriteServerFile("ous.ini", "target ous");
  WriteServerFile("Private/PFW/profile.dat", "target profile");
  dir_.Write("outside.txt", "outside");
  const std::string package = PackageFile(dir_, SamplePackage());
  const std::vector<Member> good = {{"ous.ini", "source ous"},
                                    {"ALERT.MSG", "source alert"},
                                    {"Private\\PFW\\profile.dat", "source profile"},
                                    {"skva.dat", package}};
  // Exactly one byte too long once joined to the install folder.
  const size_t room = 259 - dir_.Native("server/").size();
  const std::string long_name = "Private\\PFW\\" + std::string(room - 12 + 1, 'n');
  struct Case {
    Member last;
    std::u16string reason;
  };
  const std::vector<Case> cases = {
      {{"..\\outside.txt", "escaped"},
       u"member \"..\\outside.txt\" would land outside the destination folder"},
      {{"Admin\\..\\..\\outside.txt", "escaped"},
       u"member \"Admin\\..\\..\\outside.txt\" would land outside the destination folder"},
      {{"Private\\PFW\\..\\..\\..\\outside.txt", "escaped"},
       u"member \"Private\\PFW\\..\\..\\..\\outside.txt\" would land outside the destination "
       u"folder"},
      {{"Admin\\Alert\x01.MSG", "bell"},
       u"member \"Admin\\Alert?.MSG\" has a control character in its name"},
      {{long_name, "long"},
       u"member \"" + platform::Utf8ToUtf16(long_name.substr(0, 80)) +
           u"...\" has a name too long for the destination folder (at most 259 bytes with the "
           u"folder)"},
      {{"Private\\dlp.ini", "[DLP]\r\nOn=1\r\n", true},
       u"member \"Private\\dlp.ini\" is damaged (its CRC does not match)"},
  };
  service_.Start();
  const std::map<std::string, std::string> before = InstallFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last.name);
    ui_.Clear();
    std::vector<Member> members = good;
    members.push_back(c.last);
    const std::u16string archive = WriteArchive("refused.zip", members);
    if (c.last.stored) {
      // One byte of the stored data changed: its CRC no longer matches.
      std::string bytes = dir_.Read("refused.zip");
      bytes[bytes.find("On=1")] = '0';
      dir_.Write("refused.zip", bytes);
    }
    EXPECT_FALSE(importer_->ImportSettingsFromFile(archive));
    EXPECT_EQ(InstallFolder(), before);
    EXPECT_EQ(dir_.Read("outside.txt"), "outside");
    EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
    EXPECT_EQ(FailureText(), RefusedText(archive, c.reason));
    EXPECT_TRUE(Logged(70, ExtractLine(u"Refused " + archive + u": " + c.reason)));
    EXPECT_EQ(importer_->package().scanconfigs_size(), 0);
  }
  service_.Stop();
  EXPECT_TRUE(service_.requests().empty());
}

TEST_F(ImportSettingsTest, AStaleSkvaDatIsDeletedWhateverTheImportGives) {
  for (const bool with_package : {false, true}) {
    SCOPED_TRACE(with_package);
    WriteServerFile("skva.dat", "stale");
    std::vector<Member> members = {{"ous.ini", "source ous"}};
    if (with_package) {
      SKVA_Server_Settings::SettingAggregation package = SamplePackage();
      package.clear_scanconfigs();
      members.push_back({"skva.dat", PackageFile(dir_, package)});
    }
    EXPECT_EQ(importer_->ImportSettingsFromFile(WriteArchive("a.zip", members)), with_package);
    EXPECT_FALSE(ServerFileExists("skva.dat"));
  }
}

TEST_F(ImportSettingsTest, PackagesThatCannotBeReadImportNothing) {
  CopyStandIn(LibraryFile("BsnPfwCommon.dll"), "server/" + LibraryFile("BsnPfwCommon.dll"));
  service_.Start();
  const std::vector<std::string> bad_packages = {
      "5321xgarbage",                      // no zlib stream
      CompressedFile("\xFF\xFF\xFF\xFF"),  // not a settings package
      "99999999999999999999999999x",       // a length no buffer should get
  };
  for (const std::string& bytes : bad_packages) {
    ui_.Clear();
    const std::u16string archive =
        WriteArchive("bad.zip", {{"Admin\\ALERT.MSG", "source alert"}, {"skva.dat", bytes}});
    EXPECT_FALSE(importer_->ImportSettingsFromFile(archive));
    EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
    EXPECT_EQ(FailureText(),
              RefusedText(archive, u"its skva.dat does not hold a readable settings package"));
    EXPECT_FALSE(ServerFileExists("skva.dat"));
    EXPECT_EQ(ServerFile("Admin/ALERT.MSG"), "target alert");
  }
  service_.Stop();
  EXPECT_EQ(ServerFile("bsnscan.ini"), kTargetIni);
  EXPECT_TRUE(service_.requests().empty());
  EXPECT_FALSE(ServerFileExists("BsnPfwCommon.calls.txt"));
}

TEST_F(ImportSettingsTest, OnlyTheFilesOfAnExportArchiveAreExtracted) {
  const std::u16string archive =
      WriteArchive("extra.zip", {{"bsnscan.ini", "[Global Setting]\r\nShared=planted\r\n"},
                                 {LibraryFile("BsnPfwCommon.dll"), "planted library"},
                                 {"Private\\PFW\\sub\\deeper.dat", "planted"},
                                 {"Private\\PFW\\profile.dat", "profile"},
                                 {"skva.dat", PackageFile(dir_, SamplePackage())}});
  EXPECT_TRUE(importer_->ExtractFromZip(archive));
  EXPECT_EQ(ServerFile("bsnscan.ini"), kTargetIni);
  EXPECT_FALSE(ServerFileExists(LibraryFile("BsnPfwCommon.dll")));
  EXPECT_FALSE(ServerFileExists("Private/PFW/sub"));
  EXPECT_EQ(ServerFile("Private/PFW/profile.dat"), "profile");
  // The package is read from the archive; it is never extracted.
  EXPECT_FALSE(ServerFileExists("skva.dat"));
  EXPECT_EQ(importer_->package().scanconfigs_size(), 0);
  EXPECT_EQ(importer_->records().size(), 2u);
  EXPECT_EQ(importer_->summary().members_skipped, 3);
  EXPECT_EQ(importer_->summary().files_replaced, 1);
  EXPECT_TRUE(Logged(69, ExtractLine(u"bsnscan.ini is not a file of an export archive; not "
                                     u"extracted")));
  EXPECT_TRUE(Logged(69, ExtractLine(testing_support::WideLibraryFile(u"BsnPfwCommon.dll") +
                                     u" is not a file of an export archive; not extracted")));
  EXPECT_TRUE(Logged(69, ExtractLine(u"Private\\PFW\\sub\\deeper.dat is not a file of an export "
                                     u"archive; not extracted")));
}

TEST_F(ImportSettingsTest, AFileThatCannotBeWrittenIsNamedWithTheSystemsReason) {
  WriteServerFile("ous.ini", "target ous");
  // A file where the archive needs a folder, in the place of the fixture's
  // folder (the same name on Windows).
  std::filesystem::remove(dir_.Native("server/private"));
  WriteServerFile("Private", "not a folder");
  const std::u16string archive =
      WriteArchive("a.zip", {{"ous.ini", "source ous"},
                             {"Private\\dlp.ini", "[dlp]\r\n"},
                             {"skva.dat", PackageFile(dir_, SamplePackage())}});
  EXPECT_FALSE(importer_->ImportSettingsFromFile(archive));
  EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
  const std::u16string path = dir_.Wide("server/") + u"Private\\dlp.ini";
  // ENOTDIR; ERROR_PATH_NOT_FOUND on Windows.
  const std::u16string reason =
      platform::Utf8ToUtf16(platform::SystemErrorText(platform::kErrorPathNotFound));
  EXPECT_EQ(FailureText(), u"Unable to continue. \nUnable to write " + path +
                               u" in the Bastionel server install folder: " + reason +
                               u". \nRun the tool as an administrator and try again.");
  EXPECT_TRUE(Logged(70, ExtractLine(u"Fail to extract files from " + archive)));
  EXPECT_TRUE(Logged(70, ExtractLine(u"Cannot write " + path + u": " + reason)));
  // The member before it is in place, whole; no temporary file is left.
  EXPECT_EQ(ServerFile("ous.ini"), "source ous");
  EXPECT_EQ(ServerFile("Private"), "not a folder");
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
  EXPECT_FALSE(ServerFileExists("skva.dat"));

  // A folder where a file goes: the rename into place fails.
  ui_.Clear();
  std::filesystem::remove(dir_.Native("server/Private"));
  dir_.MakeFolder("server/sscfg.ini");
  EXPECT_FALSE(importer_->ImportSettingsFromFile(
      WriteArchive("b.zip", {{"Private\\dlp.ini", "[dlp]\r\n"},
                             {"sscfg.ini", "[sscfg]\r\n"},
                             {"skva.dat", PackageFile(dir_, SamplePackage())}})));
  EXPECT_EQ(Messages(), std::vector<std::u16string>{message133_});
  EXPECT_EQ(ServerFile("Private/dlp.ini"), "[dlp]\r\n");
  EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
}

TEST_F(ImportSettingsTest, EachImportStartsWithAnEmptyDuplicateList) {
  dir_.Write("cwd/DuplicateDomainList.txt", "\xFF\xFE" + Bytes(u"old\\line\r\n"));
  CImportSkvaSettings another(install_path());
  EXPECT_EQ(DuplicateList(), "\xFF\xFE");
}

}  // namespace
}  // namespace import_testing
