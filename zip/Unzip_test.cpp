#include "zip/Unzip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/status.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "zip/Zip.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"
#include "zip/ZipTestTools.h"

namespace {

using testing_support::TempFolder;
using zip_testing::WriteWithPython;

constexpr int64_t kSecond = 1000000000;
// 2020-05-06 07:08:10 in EST5.
constexpr int64_t kMaySixth = 1588766890 * kSecond;

// An archive as another program writes it: forward slashes, a zero-byte
// file, a folder entry, a stored and a deflated member.
constexpr std::string_view kForeignArchive = R"(
when = (2020, 5, 6, 7, 8, 10)
big = bytes((i * 7 + i // 300) % 256 for i in range(50000))
open('expected_fw.ini', 'wb').write(big)
z.writestr(zipfile.ZipInfo('Admin/ALERT.MSG', when), b'alert')
z.writestr(zipfile.ZipInfo('Private/PFW/fw.ini', when), big, zipfile.ZIP_DEFLATED, 9)
z.writestr(zipfile.ZipInfo('empty.txt', when), b'')
z.writestr(zipfile.ZipInfo('emptydir/', when), b'')
z.writestr(zipfile.ZipInfo('skva.dat', when), b'package')
)";

int64_t ModifiedOf(const TempFolder& dir, const std::string& relative) {
  platform::FileInfo info;
  EXPECT_TRUE(platform::GetFileInfo(dir.Wide(relative), &info).ok()) << relative;
  return info.modified_ns;
}

// Every path below `dir`, relative, folders ending in '/'.
std::set<std::string> Tree(const TempFolder& dir, const std::string& relative = "") {
  std::set<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Native(relative))) {
    std::string path = entry.path().string().substr(dir.Native(relative).size());
    if (entry.is_directory()) path += '/';
    paths.insert(path);
  }
  return paths;
}

class UnzipTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& relative) const { return dir_.path() + relative; }

  // Extracts `archive` into `destination` and returns the result.
  int Extract(const std::string& archive, const std::string& destination, bool keep_paths = true,
              bool overwrite = true) {
    CUnzip unzip;
    const int opened = unzip.Open(Path(archive).c_str());
    if (opened != 0) return opened;
    return unzip.ExtractAll(Path(destination).c_str(), keep_paths, overwrite);
  }

  testing_support::ScopedEnvironmentVariable tz_{"TZ", "EST5"};
  TempFolder dir_;
};

TEST_F(UnzipTest, ExtractsAnotherWritersArchiveIntoItsFolders) {
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  dir_.MakeFolder("install");
  ASSERT_EQ(Extract("foreign.zip", "install/"), 0);
  EXPECT_EQ(Tree(dir_, "install/"),
            (std::set<std::string>{"Admin/", "Admin/ALERT.MSG", "Private/", "Private/PFW/",
                                   "Private/PFW/fw.ini", "skva.dat"}));
  EXPECT_EQ(dir_.Read("install/Admin/ALERT.MSG"), "alert");
  EXPECT_EQ(dir_.Read("install/Private/PFW/fw.ini"), dir_.Read("expected_fw.ini"));
  EXPECT_EQ(dir_.Read("install/skva.dat"), "package");
  EXPECT_EQ(ModifiedOf(dir_, "install/Admin/ALERT.MSG"), kMaySixth);
  EXPECT_EQ(ModifiedOf(dir_, "install/Private/PFW/fw.ini"), kMaySixth);
}

TEST_F(UnzipTest, WithoutKeepPathsOnlyTheLastNamePartIsUsed) {
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  ASSERT_EQ(Extract("foreign.zip", "flat", false), 0);
  EXPECT_EQ(Tree(dir_, "flat/"), (std::set<std::string>{"ALERT.MSG", "fw.ini", "skva.dat"}));
}

TEST_F(UnzipTest, ExistingFilesAreReplacedOnlyWithOverwrite) {
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  dir_.Write("install/skva.dat", "old");
  try {
    Extract("foreign.zip", "install", true, false);
    ADD_FAILURE() << "no exception";
  } catch (const CWinFileException& e) {
    EXPECT_EQ(e.GetError(), platform::kErrorAlreadyExists);
  }
  EXPECT_EQ(dir_.Read("install/skva.dat"), "old");
  EXPECT_EQ(dir_.Read("install/Admin/ALERT.MSG"), "alert");  // extracted before the failure
  ASSERT_EQ(Extract("foreign.zip", "install", true, true), 0);
  EXPECT_EQ(dir_.Read("install/skva.dat"), "package");
}

TEST_F(UnzipTest, CallbackCanSkipMembersAndHearsOfEachTarget) {
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  struct Calls {
    std::vector<std::string> seen;
  } calls;
  const CUnzip::ProgressCallback callback = [](void* context, const char* path, int phase) {
    static_cast<Calls*>(context)->seen.push_back(std::string(path) + "#" + std::to_string(phase));
    return std::string(path) != "Admin\\ALERT.MSG";
  };
  CUnzip unzip;
  ASSERT_EQ(unzip.Open(Path("foreign.zip").c_str()), 0);
  ASSERT_EQ(unzip.ExtractAll(Path("install").c_str(), true, true, callback, &calls), 0);
  EXPECT_EQ(calls.seen, (std::vector<std::string>{"Admin\\ALERT.MSG#0", "Private\\PFW\\fw.ini#0",
                                                  Path("install") + "\\Private\\PFW\\fw.ini#1",
                                                  "skva.dat#0", Path("install") + "\\skva.dat#1"}));
  EXPECT_FALSE(dir_.Exists("install/Admin"));
}

TEST_F(UnzipTest, WhatCZipWritesComesBackWithNamesAndTimes) {
  dir_.Write("source/Private/DlpClc.ori.xml", std::string(40000, 'x'));
  const int64_t modified = 1614834368 * kSecond;
  ASSERT_TRUE(
      platform::SetFileTimes(dir_.Wide("source/Private/DlpClc.ori.xml"), modified, modified).ok());
  {
    CZip zip;
    ASSERT_EQ(zip.Open(Path("round").c_str(), false), 0);
    ASSERT_EQ(zip.AddFile(Path("source").c_str(), "Private\\DlpClc.ori.xml", 9), 0);
  }
  CUnzip unzip;
  ASSERT_EQ(unzip.Open(Path("round").c_str()), 0);  // ".Zip" is added here too
  ASSERT_EQ(unzip.ExtractAll(Path("target/").c_str(), true, false), 0);
  EXPECT_EQ(dir_.Read("target/Private/DlpClc.ori.xml"), std::string(40000, 'x'));
  EXPECT_EQ(ModifiedOf(dir_, "target/Private/DlpClc.ori.xml"), modified);
}

TEST_F(UnzipTest, OperationsNeedAnOpenArchiveAndNames) {
  CUnzip unzip;
  EXPECT_EQ(unzip.ExtractAll(Path("x").c_str(), true, true), kZipResultNoLibrary);
  EXPECT_EQ(unzip.Close(), kZipResultNoLibrary);
  EXPECT_EQ(unzip.Open(nullptr), kZipResultNullName);
  EXPECT_EQ(unzip.Open(Path("none.zip").c_str()), kZipResultNoLibrary);
  // Nothing but a folder entry and an empty file: nothing to create.
  ASSERT_TRUE(WriteWithPython(dir_, Path("hollow.zip"),
                              "z.writestr('dir/', b'')\n"
                              "z.writestr('dir/empty.txt', b'')"));
  ASSERT_EQ(unzip.Open(Path("hollow.zip").c_str()), 0);
  EXPECT_EQ(unzip.ExtractAll(nullptr, true, true), kZipResultNullName);
  EXPECT_EQ(unzip.ExtractAll(Path("out").c_str(), true, true), 0);
  EXPECT_EQ(unzip.Close(), 0);
  EXPECT_FALSE(dir_.Exists("out"));
}

TEST_F(UnzipTest, DamagedArchivesFailWithoutHarm) {
  ASSERT_TRUE(WriteWithPython(dir_, Path("good.zip"), R"(
when = (2020, 5, 6, 7, 8, 10)
z.writestr(zipfile.ZipInfo('deflated.bin', when), bytes(range(256)) * 64, zipfile.ZIP_DEFLATED)
z.writestr(zipfile.ZipInfo('stored.bin', when), b'stored data')
)"));
  const std::string good = dir_.Read("good.zip");
  ASSERT_TRUE(WriteWithPython(dir_, Path("no_members.zip"), ""));  // minizip opens no such archive
  dir_.Write("zero.zip", "");
  dir_.Write("garbage.zip", std::string(1000, 'g'));
  dir_.Write("half.zip", good.substr(0, good.size() / 2));
  dir_.Write("cut_end.zip", good.substr(0, good.size() - 10));
  for (const char* name : {"no_members.zip", "zero.zip", "garbage.zip", "half.zip"}) {
    EXPECT_EQ(Extract(name, "out"), kZipResultNoLibrary) << name;
  }
  EXPECT_EQ(Extract("cut_end.zip", "out"), UNZ_BADZIPFILE);
  EXPECT_FALSE(dir_.Exists("out"));

  // A deflate stream that starts with a reserved block type: the first read
  // fails, which must not pass for success.
  const size_t deflated_data = 30 + std::string("deflated.bin").size();
  std::string broken_stream = good;
  broken_stream[deflated_data] = static_cast<char>(0xFF);
  dir_.Write("broken_stream.zip", broken_stream);
  zip_testing::LogCapture log;
  EXPECT_EQ(Extract("broken_stream.zip", "out1"), Z_DATA_ERROR);
  const std::vector<zip_testing::LogCapture::Line> lines = log.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, 5);
  EXPECT_EQ(lines[0].source, "Zip");
  EXPECT_EQ(lines[0].text, "[CUnzip::ExtractAll] Reading member [deflated.bin] failed[-3]");

  // Stored data with one byte changed fails its CRC.
  std::string bad_crc = good;
  const size_t stored = bad_crc.find("stored data");
  ASSERT_NE(stored, std::string::npos);
  bad_crc[stored] = 'S';
  dir_.Write("bad_crc.zip", bad_crc);
  EXPECT_EQ(Extract("bad_crc.zip", "out2"), UNZ_CRCERROR);
}

// Member names that would put a file outside the destination.
class UnzipUnsafeNameTest : public UnzipTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnzipUnsafeNameTest, IsRefusedAndNothingOfItIsWritten) {
  const std::string name = GetParam();
  ASSERT_TRUE(WriteWithPython(dir_, Path("evil.zip"),
                              "z.writestr('first.txt', b'first')\n"
                              "z.writestr(" +
                                  std::string("r'") + name +
                                  "', b'evil')\nz.writestr('last.txt', b'x')"));
  dir_.MakeFolder("install/deep");
  const std::set<std::string> before = Tree(dir_);
  zip_testing::LogCapture log;
  EXPECT_EQ(Extract("evil.zip", "install/deep"), kUnzipResultUnsafeMember);
  std::set<std::string> expected = before;
  expected.insert("install/deep/first.txt");  // members before it stay
  EXPECT_EQ(Tree(dir_), expected);
  const std::vector<zip_testing::LogCapture::Line> lines = log.Lines();
  ASSERT_EQ(lines.size(), 1u);
  std::string backslashed = name;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  EXPECT_EQ(lines[0].text, "[CUnzip::ExtractAll] Refused member [" + backslashed +
                               "]: its path leaves the folder [" + Path("install/deep") + "]");
}

INSTANTIATE_TEST_SUITE_P(ZipSlip, UnzipUnsafeNameTest,
                         ::testing::Values("..\\x", "../x", "\\abs", "/abs", "C:\\x", "C:x",
                                           "a\\..\\..\\x", "a/../../x", "..", "... /x"));

TEST_F(UnzipTest, WithoutKeepPathsAClimbingFolderPartIsDropped) {
  ASSERT_TRUE(WriteWithPython(dir_, Path("evil.zip"), "z.writestr('../../x', b'evil')"));
  ASSERT_EQ(Extract("evil.zip", "install", false), 0);
  EXPECT_EQ(dir_.Read("install/x"), "evil");
  EXPECT_FALSE(dir_.Exists("x"));
}

TEST_F(UnzipTest, OverlongNamesAndFolderPartsAreRefused) {
  const std::string long_name = std::string(200, 'd') + "/" + std::string(70, 'e');
  ASSERT_TRUE(
      WriteWithPython(dir_, Path("long_name.zip"), "z.writestr('" + long_name + "', b'x')"));
  EXPECT_EQ(Extract("long_name.zip", "out"), kUnzipResultUnsafeMember);
  EXPECT_FALSE(dir_.Exists("out"));

  // The name fits, but the folder it lands in does not.
  const std::string folder_name = std::string(120, 'd') + "/" + std::string(120, 'e') + "/f";
  ASSERT_TRUE(
      WriteWithPython(dir_, Path("long_folder.zip"), "z.writestr('" + folder_name + "', b'x')"));
  try {
    Extract("long_folder.zip", "out");
    ADD_FAILURE() << "no exception";
  } catch (const CWinFileException& e) {
    EXPECT_EQ(e.GetError(), platform::kErrorNotEnoughMemory);
  }
  EXPECT_FALSE(dir_.Exists("out"));
}

}  // namespace
