#include "package/PackageDataFile.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "log/DebugLog.h"
#include "platform/file_faults.h"
#include "platform/named_pipe.h"
#include "platform/status.h"
#include "platform/string_table.h"
#include "platform/testing/recording_user_interface.h"
#include "platform/text.h"
#include "platform/user_interface.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

using SKVA_Server_Settings::ScanConfigs;
using SKVA_Server_Settings::SettingAggregation;

constexpr char16_t kExport[] = u"CExportSkvaSettings::ExportConfigToFile";
constexpr char16_t kImport[] = u"CImportSkvaSettings::ImportSettingsFromFile";

uint32_t NoTicks() { return 0; }

std::string Utf16Le(std::u16string_view text) { return platform::TextToUtf16Le(text); }

// A password block as the database service returns it: 256 UTF-16 units,
// the text, its terminating zero and zero padding.
std::string PasswordBlock(std::u16string_view text) {
  std::string block = Utf16Le(text);
  block.resize(512, '\0');
  return block;
}

std::string Compress(const std::string& bytes) {
  uLongf size = compressBound(bytes.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size,
                     reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()),
            Z_OK);
  out.resize(size);
  return out;
}

std::string Uncompress(const std::string& stream, size_t size) {
  std::string out(size, '\0');
  uLongf produced = size;
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &produced,
                       reinterpret_cast<const Bytef*>(stream.data()), stream.size()),
            Z_OK);
  out.resize(produced);
  return out;
}

// INI text that compresses well, as the exported INI file does.
std::string IniText(size_t size) {
  std::string text;
  while (text.size() < size) text += "[INI_CLIENT_SECTION]\r\nUninstall_Pwd=\r\nUnload_Pwd=\r\n";
  text.resize(size);
  return text;
}

SettingAggregation PackageWithDomains() {
  SettingAggregation package;
  package.set_original_skva_ver(10.5);
  package.set_original_servicepack_ver(0);
  package.set_original_patch_ver(1);
  package.set_global_config_string(Utf16Le(u"\xFEFF[Global]\r\nServerID=7\r\n") + IniText(2000));
  const std::u16string uids[] = {u"3f2504e0-4f89-11d3-9a0c-0305e82c3301",
                                 u"00000000-0000-0000-0000-000000000000"};
  for (const char16_t* name : {u"Sales", u""}) {
    ScanConfigs* record = package.add_scanconfigs();
    record->set_domain_uid(Utf16Le(uids[0]));
    record->set_domain_name(Utf16Le(name));
    record->set_domain_name_size(static_cast<int>(std::u16string_view(name).size()));
    record->set_parent_uid(Utf16Le(uids[1]));
    record->set_client_uninstall(PasswordBlock(u"\u00fcninstall"));
    record->set_client_unload(PasswordBlock(u""));
    record->set_computer_name(Utf16Le(u"Vente\u00e9"));
    record->set_computer_name_size(6);
    // UTF-16 text is no valid UTF-8: zero bytes, lone 0x80, surrogates.
    record->set_config_string(Utf16Le(u"1\t0\t\u0080\xD800\xDC00\t\xFFFE\t") +
                              std::string(1, '\x80'));
  }
  return package;
}

class PackageDataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    debug_log::ProcessGate() = CLogGate(&NoTicks);
    ASSERT_TRUE(log_.Listen(debug_log::kLogPipeName).ok());
  }

  std::u16string InstallPath() const { return install_.wpath(); }
  void WriteDataFile(std::string_view bytes) const { install_.Write("skva.dat", bytes); }
  std::string DataFile() const { return install_.Read("skva.dat"); }

  package::PackageStatus Read(SettingAggregation* package) {
    return package::ReadPackageDataFile(InstallPath(), kImport, package);
  }

  // The level and message of every log line sent so far.
  std::vector<std::pair<std::u16string, std::u16string>> TakeLogLines() {
    std::vector<std::pair<std::u16string, std::u16string>> lines = std::move(taken_);
    taken_.clear();
    ReadLogLines(0, &lines);
    return lines;
  }

  // Runs `work` on a thread of its own while this one reads the log lines
  // it sends, for the next TakeLogLines: a record bigger than the pipe's
  // buffer waits until the service has read it.
  template <typename Work>
  auto WhileReadingTheLog(Work work) {
    auto done = std::async(std::launch::async, work);
    while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
      ReadLogLines(10, &taken_);
    }
    return done.get();
  }

  // Reads the lines of every client that connects within `timeout_ms` of
  // the one before.
  void ReadLogLines(int timeout_ms, std::vector<std::pair<std::u16string, std::u16string>>* out) {
    std::vector<std::pair<std::u16string, std::u16string>>& lines = *out;
    platform::PipeStream stream;
    while (log_.Accept(&stream, timeout_ms).ok()) {
      std::string bytes;
      char buffer[1024];
      size_t n = 0;
      while (stream.Read(buffer, sizeof buffer, &n, 5000).ok() && n > 0) bytes.append(buffer, n);
      std::u16string record(bytes.size() / 2, u'\0');
      std::memcpy(record.data(), bytes.data(), record.size() * 2);
      if (!record.empty()) record.pop_back();  // the terminating NUL
      // LOG_WRITE, time, process, thread, level, source, line, text
      std::vector<std::u16string> fields;
      size_t start = 0;
      for (int i = 0; i < 7; ++i) {
        const size_t tab = record.find(u'\t', start);
        fields.push_back(record.substr(start, tab - start));
        start = tab + 1;
      }
      const std::u16string text = record.substr(start);
      lines.emplace_back(fields[4], text.substr(text.find(u']', 2) + 1));
    }
  }

  // Expects that the read failed as a corrupted package (message 133 for
  // the caller to show) and, when `line` is given, with exactly that
  // level-70 log line. The layer itself shows nothing.
  void ExpectRejected(std::string_view file, std::u16string_view line = {}) {
    WriteDataFile(file);
    SettingAggregation package;
    package.set_original_skva_ver(1);
    const package::PackageStatus status = WhileReadingTheLog([&] { return Read(&package); });
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.kind(), package::PackageStatus::Kind::kCorrupted);
    EXPECT_TRUE(status.corrupted());
    EXPECT_EQ(package.ByteSizeLong(), 0u);  // nothing of a broken package is kept
    EXPECT_TRUE(ui_.messages().empty());
    const auto lines = TakeLogLines();
    if (!line.empty()) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].first, u"70");
      EXPECT_EQ(lines[0].second, line);
    }
    // The import's decoding, with the records left serialised, refuses it
    // too and keeps no record.
    package::PackageRecords records;
    records.Assign("x", {{0, 1}});
    SettingAggregation fields;
    EXPECT_EQ(WhileReadingTheLog([&] {
                return package::DecodePackageData(file, kImport, &fields, &records).kind();
              }),
              package::PackageStatus::Kind::kCorrupted);
    EXPECT_EQ(records.size(), 1u);  // left as it was
    TakeLogLines();
  }

  testing_support::TempFolder install_;
  testing_support::TempFolder pipes_;
  testing_support::ScopedEnvironmentVariable pipe_dir_{"BASTIONEL_PIPE_DIR", pipes_.path()};
  platform::PipeListener log_;
  std::vector<std::pair<std::u16string, std::u16string>> taken_;
  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scoped_ui_{&ui_};
};

TEST_F(PackageDataFileTest, PackagesRoundTripByteForByte) {
  SettingAggregation without_domains;
  without_domains.set_original_skva_ver(10.6);
  without_domains.set_original_servicepack_ver(1);
  without_domains.set_original_patch_ver(0);
  without_domains.set_global_config_string(IniText(3000));
  for (const SettingAggregation& original : {PackageWithDomains(), without_domains}) {
    ASSERT_TRUE(package::WritePackageDataFile(original, InstallPath(), kExport).ok());
    SettingAggregation read;
    ASSERT_TRUE(Read(&read).ok());
    EXPECT_EQ(read.SerializeAsString(), original.SerializeAsString());
    EXPECT_EQ(read.scanconfigs_size(), original.scanconfigs_size());
  }
  const SettingAggregation original = PackageWithDomains();
  ASSERT_TRUE(package::WritePackageDataFile(original, InstallPath(), kExport).ok());
  SettingAggregation read;
  ASSERT_TRUE(Read(&read).ok());
  EXPECT_EQ(read.scanconfigs(0).domain_uid().size(), 72u);
  EXPECT_EQ(read.scanconfigs(0).client_uninstall(), PasswordBlock(u"\u00fcninstall"));
  EXPECT_EQ(read.scanconfigs(1).client_unload().size(), 512u);
  EXPECT_TRUE(read.scanconfigs(1).has_domain_name());
  EXPECT_EQ(read.scanconfigs(1).domain_name_size(), 0);
  EXPECT_EQ(read.scanconfigs(1).config_string(), original.scanconfigs(1).config_string());
  EXPECT_TRUE(TakeLogLines().empty());
  EXPECT_TRUE(install_.Exists("skva.dat"));  // deleting it is the caller's part
}

TEST_F(PackageDataFileTest, FileIsTheDecimalLengthThenTheZlibStream) {
  // Global_Config_String alone: tag 0x1A, length 5318 as the varint C6 29,
  // then the text; 5321 serialised bytes.
  const std::string text = IniText(5318);
  SettingAggregation package;
  package.set_global_config_string(text);
  ASSERT_TRUE(package::WritePackageDataFile(package, InstallPath(), kExport).ok());

  const std::string file = DataFile();
  ASSERT_GT(file.size(), 5u);
  EXPECT_EQ(file.substr(0, 5), "5321\x78");
  EXPECT_EQ(Uncompress(file.substr(4), 5321), "\x1a\xc6\x29" + text);

  // An existing file is replaced, not appended to.
  package.set_global_config_string(IniText(200));
  ASSERT_TRUE(package::WritePackageDataFile(package, InstallPath(), kExport).ok());
  EXPECT_EQ(DataFile().substr(0, 4), "203\x78");
  EXPECT_EQ(Uncompress(DataFile().substr(3), 203), "\x1a\xc8\x01" + IniText(200));
}

// A package of `domains` records of about 1.7 KB each, as an export of a
// 10.5 server makes them: several chunks of serialised records.
SettingAggregation PackageWithManyDomains(int domains) {
  SettingAggregation package = PackageWithDomains();
  package.clear_scanconfigs();
  for (int i = 0; i < domains; ++i) {
    ScanConfigs* record = package.add_scanconfigs();
    const std::string number = std::to_string(i);
    record->set_domain_uid(Utf16Le(u"3f2504e0-4f89-11d3-9a0c-") + number);
    record->set_computer_name(Utf16Le(u"PC-") + number);
    record->set_computer_name_size(static_cast<int>(3 + number.size()));
    record->set_client_uninstall(PasswordBlock(u"un"));
    record->set_client_unload(PasswordBlock(u"ul"));
    std::string config;
    for (int t = 0; t < 60; ++t) config += std::to_string(i * 7919 + t * 104729) + '\t';
    record->set_config_string(config);
  }
  return package;
}

TEST_F(PackageDataFileTest, RecordsSerialisedOneByOneGiveTheFileOfTheWholeMessage) {
  const SettingAggregation whole = PackageWithManyDomains(1500);
  SettingAggregation fields = whole;
  fields.clear_scanconfigs();
  package::SerializedRecords records;
  for (const ScanConfigs& record : whole.scanconfigs()) records.Append(record);
  const std::string serialised = whole.SerializeAsString();
  ASSERT_GT(records.chunks().size(), 2u);
  EXPECT_EQ(records.count(), 1500u);

  // What compress() makes of the whole message at once.
  const std::string expected = std::to_string(serialised.size()) + Compress(serialised);
  ASSERT_TRUE(
      package::WritePackageDataFile(fields, std::move(records), InstallPath(), kExport).ok());
  EXPECT_EQ(DataFile(), expected);
  // Records of the message itself come first.
  SettingAggregation first_two = fields;
  *first_two.add_scanconfigs() = whole.scanconfigs(0);
  *first_two.add_scanconfigs() = whole.scanconfigs(1);
  package::SerializedRecords rest;
  for (int i = 2; i < whole.scanconfigs_size(); ++i) rest.Append(whole.scanconfigs(i));
  ASSERT_TRUE(
      package::WritePackageDataFile(first_two, std::move(rest), InstallPath(), kExport).ok());
  EXPECT_EQ(DataFile(), expected);
  ASSERT_TRUE(package::WritePackageDataFile(whole, InstallPath(), kExport).ok());
  EXPECT_EQ(DataFile(), expected);
  EXPECT_TRUE(TakeLogLines().empty());
}

TEST_F(PackageDataFileTest, RecordsCanBeLeftSerialisedUntilUsed) {
  const SettingAggregation whole = PackageWithManyDomains(700);
  const std::string serialised = whole.SerializeAsString();
  const std::string file = std::to_string(serialised.size()) + Compress(serialised);
  SettingAggregation fields;
  package::PackageRecords records;
  ASSERT_TRUE(package::DecodePackageData(file, kImport, &fields, &records).ok());
  EXPECT_EQ(fields.scanconfigs_size(), 0);
  EXPECT_EQ(fields.global_config_string(), whole.global_config_string());
  EXPECT_EQ(fields.original_patch_ver(), 1);
  ASSERT_EQ(records.size(), 700u);
  ScanConfigs record;
  for (size_t i : {size_t{0}, size_t{1}, size_t{350}, size_t{699}}) {
    records.Parse(i, &record);
    EXPECT_EQ(record.SerializeAsString(),
              whole.scanconfigs(static_cast<int>(i)).SerializeAsString());
  }

  // By hand: version 10.5 (field 1, a double), a record holding field 9 =
  // 3 (48 03), an unknown varint field 7 = 1 (38 01) between, and a second,
  // empty record.
  const std::string bytes(
      "\x09\x00\x00\x00\x00\x00\x00\x25\x40"
      "\x12\x02\x48\x03"
      "\x38\x01"
      "\x12\x00",
      17);
  ASSERT_TRUE(package::DecodePackageData(std::to_string(bytes.size()) + Compress(bytes), kImport,
                                         &fields, &records)
                  .ok());
  EXPECT_EQ(fields.original_skva_ver(), 10.5);
  ASSERT_EQ(records.size(), 2u);
  records.Parse(0, &record);
  EXPECT_EQ(record.computer_name_size(), 3);
  records.Parse(1, &record);
  EXPECT_FALSE(record.has_computer_name_size());
  EXPECT_EQ(record.ByteSizeLong(), 0u);

  // Refused as the whole message is: a record whose own field runs past its
  // end, a zero tag before the end, a varint cut off at the end.
  for (const std::string& broken :
       {std::string("\x12\x02\x0a\x05", 4), std::string("\x12\x00\x00\x12\x00", 5),
        std::string("\x12\x00\x48\x80", 4)}) {
    SettingAggregation whole_read;
    EXPECT_FALSE(whole_read.ParseFromString(broken));
    const std::string broken_file = std::to_string(broken.size()) + Compress(broken);
    EXPECT_FALSE(package::DecodePackageData(broken_file, kImport, &fields, &records).ok());
  }
  TakeLogLines();
}

TEST_F(PackageDataFileTest, TrailingBytesAndLeadingWhiteSpaceAreAccepted) {
  const std::string serialised = PackageWithDomains().SerializeAsString();
  const std::string stream = Compress(serialised);
  for (const std::string& file : {std::to_string(serialised.size()) + stream + "trailing bytes x",
                                  " \t\r\n" + std::to_string(serialised.size()) + stream,
                                  "000" + std::to_string(serialised.size()) + stream}) {
    WriteDataFile(file);
    SettingAggregation read;
    EXPECT_TRUE(Read(&read).ok());
    EXPECT_EQ(read.SerializeAsString(), serialised);
  }
}

TEST_F(PackageDataFileTest, APackageThatDoesNotShrinkIsNotWritten) {
  SettingAggregation tiny;
  tiny.set_original_skva_ver(10.6);
  tiny.set_original_servicepack_ver(2);
  tiny.set_original_patch_ver(0);
  const package::PackageStatus status = package::WritePackageDataFile(tiny, InstallPath(), kExport);
  EXPECT_TRUE(status.corrupted());
  EXPECT_TRUE(ui_.messages().empty());
  const auto lines = TakeLogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, u"68");
  EXPECT_EQ(lines[0].second, std::u16string(kExport) +
                                 u" - ExportSetting:compress error -> "
                                 u"buffer too small");
  EXPECT_FALSE(install_.Exists("skva.dat"));
}

TEST_F(PackageDataFileTest, AFileThatCannotBeCreatedReturnsTheSystemsReason) {
  const package::PackageStatus status = package::WritePackageDataFile(
      PackageWithDomains(), install_.Wide("missing folder/"), kExport);
  EXPECT_EQ(status.kind(), package::PackageStatus::Kind::kCannotWrite);
  EXPECT_FALSE(status.corrupted());
  // A file in a missing folder: ENOENT; ERROR_PATH_NOT_FOUND on Windows.
  EXPECT_TRUE(platform::IsNotFound(status.file_status().code())) << status.file_status().code();
  EXPECT_NE(status.file_status().message().find("skva.dat"), std::string::npos);
  EXPECT_TRUE(ui_.messages().empty());
}

// The file is complete or absent under its name: it is written under a
// name of its own first, and a write that fails leaves an existing file as
// it was and no partial one behind.
TEST_F(PackageDataFileTest, TheFileAppearsUnderItsNameOnlyWhenComplete) {
  ASSERT_TRUE(package::WritePackageDataFile(PackageWithDomains(), InstallPath(), kExport).ok());
  EXPECT_FALSE(install_.Exists("skva.dat.part"));

  WriteDataFile("old package");
  install_.Write("skva.dat.part/inside", "a folder in the way");
  package::PackageStatus status =
      package::WritePackageDataFile(PackageWithDomains(), InstallPath(), kExport);
  EXPECT_EQ(status.kind(), package::PackageStatus::Kind::kCannotWrite);
  EXPECT_EQ(DataFile(), "old package");

  std::filesystem::remove_all(install_.path() + "skva.dat.part");
  std::filesystem::remove(install_.path() + "skva.dat");
  install_.Write("skva.dat/inside", "a folder in the file's place");
  status = package::WritePackageDataFile(PackageWithDomains(), InstallPath(), kExport);
  EXPECT_EQ(status.kind(), package::PackageStatus::Kind::kCannotWrite);
  EXPECT_EQ(status.file_status().code(), platform::kErrorIsFolder);
  EXPECT_FALSE(install_.Exists("skva.dat.part"));
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

// The file holds clear-text passwords: it is owner-only, and a link planted
// at its name or at its temporary name is replaced itself, never written
// through.
TEST_F(PackageDataFileTest, TheFileIsOwnerOnlyAndNeverWrittenThroughALink) {
  namespace fs = std::filesystem;
  testing_support::TempFolder outside;
  outside.Write("target", "outside");
  std::error_code made;
  fs::create_symlink(outside.Native("target"), install_.Native("skva.dat"), made);
  if (made) GTEST_SKIP() << "no symbolic links can be made here: " << made.message();
  fs::create_symlink(outside.Native("target"), install_.Native("skva.dat.part"), made);
  ASSERT_FALSE(made) << made.message();
  const package::PackageStatus status =
      package::WritePackageDataFile(PackageWithDomains(), InstallPath(), kExport);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(outside.Read("target"), "outside");
  EXPECT_EQ(fs::symlink_status(install_.Native("skva.dat")).type(), fs::file_type::regular);
  if (SystemKeepsPermissionBits(outside)) {
    EXPECT_EQ(fs::status(install_.Native("skva.dat")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_FALSE(install_.Exists("skva.dat.part"));
  SettingAggregation read;
  EXPECT_TRUE(Read(&read).ok());
}

// A disk that fills up half-way, or a rename that fails, leaves the
// previous file as it was and no partial one.
TEST_F(PackageDataFileTest, AFailedWriteOrRenameLeavesTheOldFileAndNoPartialOne) {
  for (const bool rename_fails : {false, true}) {
    SCOPED_TRACE(rename_fails ? "rename" : "write");
    WriteDataFile("old package");
    platform::FileFaults faults;
    faults.only_paths_containing = "skva.dat";
    faults.fail_write_at = rename_fails ? 0 : 2;  // the length prefix goes, the stream does not
    faults.disk_full = true;
    faults.fail_renames = rename_fails;
    package::PackageStatus status;
    {
      const platform::ScopedFileFaults installed(&faults);
      status = package::WritePackageDataFile(PackageWithDomains(), InstallPath(), kExport);
    }
    EXPECT_EQ(status.kind(), package::PackageStatus::Kind::kCannotWrite);
    EXPECT_EQ(status.file_status().code(), platform::DiskFullError());
    EXPECT_EQ(DataFile(), "old package");
    EXPECT_FALSE(install_.Exists("skva.dat.part"));
  }
}

TEST_F(PackageDataFileTest, AMissingFileIsRefusedAsCorruptedWithItsReason) {
  SettingAggregation package;
  const package::PackageStatus status = Read(&package);
  EXPECT_EQ(status.kind(), package::PackageStatus::Kind::kCannotRead);
  EXPECT_TRUE(status.corrupted());
  EXPECT_EQ(status.file_status().code(), platform::kErrorFileNotFound);
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(PackageDataFileTest, BrokenStreamsAreRefused) {
  const std::u16string prefix = std::u16string(kImport) + u" - ImportSetting:";
  const std::string serialised = PackageWithDomains().SerializeAsString();
  const std::string stream = Compress(serialised);
  const std::string size = std::to_string(serialised.size());

  // A stored length below the real size leaves uncompress() short of room.
  ExpectRejected(std::to_string(serialised.size() - 1) + stream,
                 prefix + u"decompress error -> buffer too small");
  // No number: nothing is decompressed at all.
  ExpectRejected("");
  ExpectRejected(" \r\n");
  ExpectRejected(stream);
  ExpectRejected("-" + size + stream);
  // A number and no stream.
  ExpectRejected(size, prefix + u"data length " + std::u16string(size.begin(), size.end()) +
                           u" refused for 0 compressed bytes");
  ExpectRejected("0");
  // A damaged stream: cut short, or with its body overwritten.
  ExpectRejected(size + stream.substr(0, stream.size() / 2));
  std::string damaged = stream;
  for (size_t i = 2; i < 40; ++i) damaged[i] = '\xff';
  ExpectRejected(size + damaged);
}

TEST_F(PackageDataFileTest, BytesThatAreNotAPackageAreRefused) {
  // A length-delimited field 2 that claims more bytes than there are.
  const std::string truncated(
      "\x12\x40\x0a\x04"
      "a\0b\0",
      8);
  ExpectRejected(std::to_string(truncated.size()) + Compress(truncated),
                 std::u16string(kImport) +
                     u" - ImportSetting:parse error -> not a settings "
                     u"package");
  // Text: 'n' (0x6E) is field 13 with the wire type 6, which does not exist.
  const std::string text = "not a settings package";
  ExpectRejected(std::to_string(text.size()) + Compress(text));
}

TEST_F(PackageDataFileTest, StoredLengthsNoStreamCanYieldAreRefusedBeforeAllocating) {
  const std::u16string prefix = std::u16string(kImport) + u" - ImportSetting:data length ";
  const std::string stream = Compress(PackageWithDomains().SerializeAsString());
  const std::u16string compressed_size = platform::Utf8ToUtf16(std::to_string(stream.size()));
  for (const std::string& number : {
           std::string("99999999999"),                 // far beyond 1 GiB
           std::string("1073741825"),                  // 1 GiB + 1
           std::to_string(1032 * stream.size() + 65),  // more than zlib can expand
           std::string("18446744073709551616"),        // 2^64: wraps to 0
           std::string("18446744073709556937"),        // wraps to a plausible 5321
           std::string(400, '9'),
           std::string("4294967297"),  // 2^32 + 1: wraps to 1 in 32 bits
       }) {
    SCOPED_TRACE(number);
    ExpectRejected(number + stream, prefix + platform::Utf8ToUtf16(number) + u" refused for " +
                                        compressed_size + u" compressed bytes");
  }
}

}  // namespace
