#include "zip/Unzip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/file_faults.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "zip/Zip.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"
#include "zip/testing/ZipTestTools.h"

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
    // With '/' between the names on every system.
    std::string path = entry.path().generic_string().substr(dir.Native(relative).size());
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
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
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
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  ASSERT_EQ(Extract("foreign.zip", "flat", false), 0);
  EXPECT_EQ(Tree(dir_, "flat/"), (std::set<std::string>{"ALERT.MSG", "fw.ini", "skva.dat"}));
}

TEST_F(UnzipTest, ExistingFilesAreReplacedOnlyWithOverwrite) {
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
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
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
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
  ASSERT_TRUE(
      zip_testing::WriteStoredArchive(Path("hollow.zip"), {{"dir/", ""}, {"dir/empty.txt", ""}}));
  ASSERT_EQ(unzip.Open(Path("hollow.zip").c_str()), 0);
  EXPECT_EQ(unzip.ExtractAll(nullptr, true, true), kZipResultNullName);
  EXPECT_EQ(unzip.ExtractAll(Path("out").c_str(), true, true), 0);
  EXPECT_EQ(unzip.Close(), 0);
  EXPECT_FALSE(dir_.Exists("out"));
}

TEST_F(UnzipTest, DamagedArchivesFailWithoutHarm) {
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
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
  ASSERT_TRUE(zip_testing::WriteStoredArchive(
      Path("evil.zip"), {{"first.txt", "first"}, {name, "evil"}, {"last.txt", "x"}}));
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
  ASSERT_TRUE(zip_testing::WriteStoredArchive(Path("evil.zip"), {{"../../x", "evil"}}));
  ASSERT_EQ(Extract("evil.zip", "install", false), 0);
  EXPECT_EQ(dir_.Read("install/x"), "evil");
  EXPECT_FALSE(dir_.Exists("x"));
}

TEST_F(UnzipTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  dir_.Write("install/Private/PFW/fw.ini", "old profile");
  dir_.MakeFolder("install/skva.dat");  // a folder where the last member goes
  try {
    Extract("foreign.zip", "install");
    ADD_FAILURE() << "no exception";
  } catch (const CWinFileException& e) {
    EXPECT_EQ(e.GetError(), platform::kErrorIsFolder);
    EXPECT_EQ(e.GetPath(), Path("install") + "\\skva.dat");
  }
  // The members before it are in place, whole; nothing else is left.
  EXPECT_EQ(Tree(dir_, "install/"),
            (std::set<std::string>{"Admin/", "Admin/ALERT.MSG", "Private/", "Private/PFW/",
                                   "Private/PFW/fw.ini", "skva.dat/"}));
  EXPECT_EQ(dir_.Read("install/Private/PFW/fw.ini"), dir_.Read("expected_fw.ini"));
}

// A disk that fills up while a member is written: the file it replaces
// stays whole and no temporary file is left.
TEST_F(UnzipTest, AMemberWriteFailingHalfWayLeavesTheOldFileWholeAndNoTemporaryFile) {
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  dir_.Write("install/Private/PFW/fw.ini", "old profile");
  platform::FileFaults faults;
  faults.only_paths_containing = "fw.ini";
  faults.fail_write_at = 2;  // the member (50000 bytes) takes several writes
  faults.disk_full = true;
  try {
    const platform::ScopedFileFaults installed(&faults);
    Extract("foreign.zip", "install");
    ADD_FAILURE() << "no exception";
  } catch (const CWinFileException& e) {
    EXPECT_EQ(e.GetError(), platform::DiskFullError());
    EXPECT_EQ(e.GetPath(), Path("install") + "\\Private\\PFW\\fw.ini");
  }
  EXPECT_EQ(faults.writes, 2u);
  EXPECT_EQ(dir_.Read("install/Private/PFW/fw.ini"), "old profile");
  EXPECT_EQ(Tree(dir_, "install/"), (std::set<std::string>{"Admin/", "Admin/ALERT.MSG", "Private/",
                                                           "Private/PFW/", "Private/PFW/fw.ini"}));
}

// Links already in the destination folder (a member's file, or a folder on
// its way) must not carry members elsewhere: Verify refuses the archive,
// and extraction refuses the member, before anything is written.
TEST_F(UnzipTest, MembersAreNeverWrittenThroughALinkInTheDestination) {
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  for (const char* link : {"install/Private/PFW", "install/Private", "install/skva.dat"}) {
    SCOPED_TRACE(link);
    std::filesystem::remove_all(Path("install"));
    std::filesystem::remove_all(Path("outside"));
    dir_.MakeFolder("install/Private");
    dir_.Write("outside/fw.ini", "outside");
    std::error_code made;
    if (std::string_view(link).ends_with("skva.dat")) {
      std::filesystem::create_symlink(Path("outside/fw.ini"), Path(link), made);
    } else {
      if (std::string_view(link).ends_with("Private")) std::filesystem::remove(Path(link));
      std::filesystem::create_directory_symlink(Path("outside"), Path(link), made);
      if (std::string_view(link).ends_with("Private")) dir_.MakeFolder("outside/PFW");
    }
    if (made) GTEST_SKIP() << "no symbolic links can be made here: " << made.message();
    const std::set<std::string> outside_before = Tree(dir_, "outside/");

    CUnzip unzip;
    ASSERT_EQ(unzip.Open(Path("foreign.zip").c_str()), 0);
    UnzipProblem problem;
    EXPECT_EQ(unzip.Verify(Path("install").c_str(), nullptr, &problem), kUnzipResultUnsafeMember);
    EXPECT_NE(problem.reason.find("symbolic link"), std::string::npos) << problem.reason;
    // Extraction refuses on its own too, should a caller skip Verify.
    EXPECT_EQ(unzip.ExtractAll(Path("install").c_str(), true, true), kUnzipResultUnsafeMember);
    EXPECT_EQ(Tree(dir_, "outside/"), outside_before);
    EXPECT_EQ(dir_.Read("outside/fw.ini"), "outside");
  }
}

TEST_F(UnzipTest, ADamagedMemberDoesNotReplaceTheFileItWouldLandOn) {
  ASSERT_TRUE(zip_testing::WriteStoredArchive(
      Path("good.zip"), {{"first.txt", "first"}, {"stored.bin", "stored data"}}));
  std::string bad_crc = dir_.Read("good.zip");
  bad_crc[bad_crc.find("stored data")] = 'S';
  dir_.Write("bad_crc.zip", bad_crc);
  dir_.Write("install/stored.bin", "old");
  EXPECT_EQ(Extract("bad_crc.zip", "install"), UNZ_CRCERROR);
  EXPECT_EQ(Tree(dir_, "install/"), (std::set<std::string>{"first.txt", "stored.bin"}));
  EXPECT_EQ(dir_.Read("install/stored.bin"), "old");
}

TEST_F(UnzipTest, OverlongNamesAndFolderPartsAreRefused) {
  const std::string long_name = std::string(200, 'd') + "/" + std::string(70, 'e');
  ASSERT_TRUE(zip_testing::WriteStoredArchive(Path("long_name.zip"), {{long_name, "x"}}));
  EXPECT_EQ(Extract("long_name.zip", "out"), kUnzipResultUnsafeMember);
  EXPECT_FALSE(dir_.Exists("out"));

  // The name fits, but the folder it lands in does not.
  const std::string folder_name = std::string(120, 'd') + "/" + std::string(120, 'e') + "/f";
  ASSERT_TRUE(zip_testing::WriteStoredArchive(Path("long_folder.zip"), {{folder_name, "x"}}));
  try {
    Extract("long_folder.zip", "out");
    ADD_FAILURE() << "no exception";
  } catch (const CWinFileException& e) {
    EXPECT_EQ(e.GetError(), platform::kErrorNotEnoughMemory);
  }
  EXPECT_FALSE(dir_.Exists("out"));
}

TEST(MemberNameTest, NamesAreCheckedForTheirFolderTheirCharactersAndTheirLength) {
  const std::string folder = "/opt/server/";  // 12 bytes
  EXPECT_EQ(CheckMemberName("Private\\PFW\\Office.pfw", folder), MemberNameFault::kNone);
  EXPECT_EQ(CheckMemberName("Admin\\\xC3\xA9t\xC3\xA9.msg", folder), MemberNameFault::kNone);
  EXPECT_EQ(CheckMemberName("..\\evil.ini", folder), MemberNameFault::kLeavesFolder);
  EXPECT_EQ(CheckMemberName("C:evil.ini", folder), MemberNameFault::kLeavesFolder);
  for (const char c : {'\x01', '\t', '\n', '\x1F', '\x7F'}) {
    const std::string name = std::string("ous") + c + ".ini";
    EXPECT_EQ(CheckMemberName(name, folder), MemberNameFault::kControlCharacter) << int{c};
    EXPECT_FALSE(IsSafeMemberName(name)) << int{c};
  }
  // 259 bytes with the folder and its separator fit; 260 do not.
  EXPECT_EQ(CheckMemberName(std::string(247, 'n'), folder), MemberNameFault::kNone);
  EXPECT_EQ(CheckMemberName(std::string(248, 'n'), folder), MemberNameFault::kTooLong);
  EXPECT_EQ(CheckMemberName(std::string(247, 'n'), "/opt/server"), MemberNameFault::kNone);
  EXPECT_EQ(CheckMemberName(std::string(248, 'n'), "/opt/server"), MemberNameFault::kTooLong);
}

// Verify on archives written by Python's zipfile, some with bytes changed
// by hand afterwards.
class UnzipVerifyTest : public UnzipTest {
 protected:
  // Every case writes its archive with Python.
  void SetUp() override { ZIP_TESTING_SKIP_WITHOUT_PYTHON(); }

  // Writes `name` from zipfile statements, then applies `patch` (Python
  // statements on the bytearray `b`).
  void Write(const std::string& name, const std::string& statements,
             const std::string& patch = "") {
    ASSERT_TRUE(WriteWithPython(dir_, Path(name), statements));
    if (patch.empty()) return;
    int exit_code = 0;
    zip_testing::RunPython(dir_,
                           "import struct, sys\n"
                           "b = bytearray(open(sys.argv[1], 'rb').read())\n" +
                               patch + "\nopen(sys.argv[1], 'wb').write(b)\n",
                           "'" + Path(name) + "'", &exit_code);
    ASSERT_EQ(exit_code, 0);
  }

  // Verifies `name` against the destination "install/" with skva.dat
  // wanted; checks that nothing was written anywhere.
  int Verify(const std::string& name, size_t max_size = 1000) {
    dir_.MakeFolder("install");
    const std::set<std::string> before = Tree(dir_);
    CUnzip unzip;
    const int opened = unzip.Open(Path(name).c_str());
    if (opened != 0) return opened;
    wanted_ = {};
    wanted_.name = "skva.dat";
    wanted_.max_size = max_size;
    const int result = unzip.Verify(Path("install/").c_str(), &wanted_, &problem_);
    EXPECT_EQ(Tree(dir_), before);
    return result;
  }

  UnzipWantedMember wanted_;
  UnzipProblem problem_;
};

TEST_F(UnzipVerifyTest, AGoodArchivePassesAndHandsBackTheWantedMember) {
  ASSERT_TRUE(WriteWithPython(dir_, Path("foreign.zip"), kForeignArchive));
  EXPECT_EQ(Verify("foreign.zip"), 0);
  EXPECT_TRUE(wanted_.found);
  EXPECT_EQ(wanted_.data, "package");
  EXPECT_EQ(problem_.reason, "");

  // The name is matched ignoring letter case; after Verify, ExtractAll
  // starts at the first member.
  CUnzip unzip;
  ASSERT_EQ(unzip.Open(Path("foreign.zip").c_str()), 0);
  UnzipWantedMember upper;
  upper.name = "SKVA.DAT";
  upper.max_size = 7;
  ASSERT_EQ(unzip.Verify(Path("install").c_str(), &upper, &problem_), 0);
  EXPECT_EQ(upper.data, "package");
  ASSERT_EQ(unzip.ExtractAll(Path("install").c_str(), true, true), 0);
  EXPECT_EQ(Tree(dir_, "install/"),
            (std::set<std::string>{"Admin/", "Admin/ALERT.MSG", "Private/", "Private/PFW/",
                                   "Private/PFW/fw.ini", "skva.dat"}));
}

TEST_F(UnzipVerifyTest, AnArchiveWithoutTheWantedMemberPasses) {
  Write("plain.zip", "z.writestr('ous.ini', b'[OUS]')");
  EXPECT_EQ(Verify("plain.zip"), 0);
  EXPECT_FALSE(wanted_.found);
}

// Each archive below is good up to its last member; only the last member is
// at fault, so Verify must read the whole archive to find it.
constexpr std::string_view kGoodMembers =
    "z.writestr('ous.ini', b'[OUS]\\r\\n')\n"
    "z.writestr('skva.dat', b'package')\n";

TEST_F(UnzipVerifyTest, AHostileNameInTheLastMemberIsFound) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"'..\\\\evil.ini'", "member \"..\\evil.ini\" would land outside the destination folder"},
      {"'Admin/../../evil.ini'",
       "member \"Admin\\..\\..\\evil.ini\" would land outside the destination folder"},
      {"'/etc/evil.ini'", "member \"\\etc\\evil.ini\" would land outside the destination folder"},
      {"'ous\\x07.ini'", "member \"ous?.ini\" has a control character in its name"},
  };
  for (const auto& [python_name, reason] : cases) {
    SCOPED_TRACE(python_name);
    Write("evil.zip", std::string(kGoodMembers) + "z.writestr(" + python_name + ", b'evil')");
    EXPECT_EQ(Verify("evil.zip"), kUnzipResultUnsafeMember);
    EXPECT_EQ(problem_.reason, reason);
  }
}

TEST_F(UnzipVerifyTest, ANameTooLongForTheDestinationIsFound) {
  // Exactly one byte over the limit once joined to the destination folder.
  const size_t room = kMaxExtractedPath - Path("install/").size();
  const std::string name = "Private/" + std::string(room - 8 + 1, 'n');
  Write("long.zip", std::string(kGoodMembers) + "z.writestr('" + name + "', b'x')");
  EXPECT_EQ(Verify("long.zip"), kUnzipResultUnsafeMember);
  EXPECT_EQ(problem_.member, "Private\\" + name.substr(8));
  EXPECT_EQ(problem_.reason, "member \"Private\\" + std::string(80 - 8, 'n') +
                                 "...\" has a name too long for the destination folder (at most "
                                 "259 bytes with the folder)");
  // One byte shorter fits.
  Write("fits.zip", std::string(kGoodMembers) + "z.writestr('" + name.substr(1) + "', b'x')");
  EXPECT_EQ(Verify("fits.zip"), 0);
}

TEST_F(UnzipVerifyTest, DamagedDataInTheLastMemberIsFound) {
  const std::string stored_last =
      std::string(kGoodMembers) + "z.writestr('Private/dlp.ini', b'[DLP]\\r\\nOn=1\\r\\n')";
  // The stored data with one byte changed.
  Write("crc.zip", stored_last, "i = b.find(b'On=1'); b[i] = ord('0')");
  EXPECT_EQ(Verify("crc.zip"), UNZ_CRCERROR);
  EXPECT_EQ(problem_.member, "Private\\dlp.ini");
  EXPECT_EQ(problem_.reason, "member \"Private\\dlp.ini\" is damaged (its CRC does not match)");

  // The uncompressed size in both headers one byte larger than the 13 bytes
  // stored: the data ends early, and minizip then skips its CRC check.
  Write("size.zip", stored_last,
        "i = b.rfind(b'PK\\x03\\x04'); struct.pack_into('<I', b, i + 22, 14)\n"
        "j = b.rfind(b'PK\\x01\\x02'); struct.pack_into('<I', b, j + 24, 14)");
  EXPECT_EQ(Verify("size.zip"), UNZ_BADZIPFILE);
  EXPECT_EQ(problem_.reason, "member \"Private\\dlp.ini\" is damaged (its size does not match)");

  // A deflate stream that begins with a reserved block type.
  Write("inflate.zip",
        std::string(kGoodMembers) + "z.writestr('sscfg.ini', b'x' * 1000, zipfile.ZIP_DEFLATED)",
        "i = b.rfind(b'sscfg.ini', 0, b.find(b'PK\\x01\\x02')); b[i + 9] = 0xFF");
  EXPECT_EQ(Verify("inflate.zip"), Z_DATA_ERROR);
  EXPECT_EQ(problem_.reason, "member \"sscfg.ini\" is damaged (its data cannot be decompressed)");

  // The encryption flag set in both headers.
  Write("encrypted.zip", stored_last,
        "i = b.rfind(b'PK\\x03\\x04'); b[i + 6] |= 1\n"
        "j = b.rfind(b'PK\\x01\\x02'); b[j + 8] |= 1");
  EXPECT_EQ(Verify("encrypted.zip"), kUnzipResultUnsafeMember);
  EXPECT_EQ(problem_.reason, "member \"Private\\dlp.ini\" is encrypted");
}

TEST_F(UnzipVerifyTest, TheWantedMemberMustBeSmallAndSingle) {
  Write("big.zip", std::string(kGoodMembers));
  EXPECT_EQ(Verify("big.zip", 6), kUnzipResultUnsafeMember);
  EXPECT_EQ(problem_.reason, "member \"skva.dat\" is too large (more than 6 bytes)");
  EXPECT_FALSE(wanted_.found);
  EXPECT_EQ(Verify("big.zip", 7), 0);

  Write("twice.zip", std::string(kGoodMembers) + "z.writestr('SKVA.DAT', b'other')");
  EXPECT_EQ(Verify("twice.zip"), kUnzipResultUnsafeMember);
  EXPECT_EQ(problem_.reason, "member \"SKVA.DAT\" is in the archive twice");
}

TEST_F(UnzipVerifyTest, NeedsAnOpenArchive) {
  CUnzip unzip;
  UnzipProblem problem;
  EXPECT_EQ(unzip.Verify(Path("install").c_str(), nullptr, &problem), kZipResultNoLibrary);
  Write("plain.zip", "z.writestr('ous.ini', b'[OUS]')");
  ASSERT_EQ(unzip.Open(Path("plain.zip").c_str()), 0);
  EXPECT_EQ(unzip.Verify(nullptr, nullptr, &problem), kZipResultNullName);
  EXPECT_EQ(unzip.Verify(Path("install").c_str(), nullptr, &problem), 0);
}

}  // namespace
