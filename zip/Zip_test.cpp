#include "zip/Zip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/status.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"
#include "zip/testing/ZipTestTools.h"

namespace {

using testing_support::TempFolder;
using zip_testing::ListWithPython;
using zip_testing::ScopedCurrentFolder;

constexpr int64_t kSecond = 1000000000;
// 2021-03-04 05:06:09 UTC, 00:06:08 in EST5 as a DOS time.
constexpr int64_t kMarchFourth = 1614834369 * kSecond;
// 2021-03-04 04:00:00 UTC, the evening before in EST5.
constexpr int64_t kMarchThirdEvening = 1614830400 * kSecond;

// Bytes that deflate a little, different in every piece.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245 + 12345;
    c = static_cast<char>('a' + (state >> 16) % 16);
  }
  return bytes;
}

class ZipTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& relative, const std::string& bytes, int64_t modified) {
    dir_.Write(relative, bytes);
    ASSERT_TRUE(platform::SetFileTimes(dir_.Wide(relative), modified, modified).ok());
  }

  // The member lines of ListWithPython without the CRC line, which must be there.
  std::vector<std::string> Members(const std::string& archive) {
    std::vector<std::string> lines = ListWithPython(dir_, dir_.path() + archive);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return lines;
    EXPECT_EQ(lines.back(), "crc ok");
    lines.pop_back();
    return lines;
  }

  testing_support::ScopedEnvironmentVariable tz_{"TZ", "EST5"};
  TempFolder dir_;
};

TEST_F(ZipTest, MembersKeepTheirNamesTimesAndData) {
  const std::string firewall = Pattern(100000);  // several pieces
  WriteFile("install/Private/PFW/fw.ini", firewall, kMarchFourth);
  WriteFile("install/ous.ini", "[ous]", kMarchThirdEvening);
  WriteFile("base/data.bin", "data", kMarchFourth);
  {
    ScopedCurrentFolder current(dir_.path() + "install");
    CZip zip;
    ASSERT_EQ(zip.Open((dir_.path() + "export").c_str(), false), 0);
    EXPECT_EQ(zip.AddFile(nullptr, "Private\\PFW\\fw.ini", 9), 0);
    EXPECT_EQ(zip.AddFile(nullptr, "ous.ini", 9), 0);
    EXPECT_EQ(zip.AddFile((dir_.path() + "base").c_str(), "data.bin", 0), 0);
    EXPECT_EQ(zip.Close(), 0);
  }
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  EXPECT_EQ(Members("export.Zip"),
            (std::vector<std::string>{"Private\\PFW\\fw.ini|2021-03-04 00:06:08|8|100000",
                                      "ous.ini|2021-03-03 23:00:00|8|5",
                                      "data.bin|2021-03-04 00:06:08|0|4"}));
  EXPECT_EQ(dir_.Read("member0"), firewall);
  EXPECT_EQ(dir_.Read("member1"), "[ous]");
  EXPECT_EQ(dir_.Read("member2"), "data");
  // The other independent reader agrees on the names.
  EXPECT_EQ(
      std::system(
          ("unzip -l '" + dir_.path() + "export.Zip' | grep -q 'Private.PFW.fw.ini'").c_str()),
      0);
}

TEST_F(ZipTest, OpenNormalisesTheNameAndFailsInAMissingFolder) {
  CZip zip;
  ASSERT_EQ(zip.Open((dir_.path() + "export").c_str(), false), 0);
  EXPECT_EQ(zip.Close(), 0);
  EXPECT_TRUE(dir_.Exists("export.Zip"));
  EXPECT_FALSE(dir_.Exists("export"));
  ASSERT_EQ(zip.Open((dir_.path() + "a.ZIP").c_str(), false), 0);
  EXPECT_EQ(zip.Close(), 0);
  EXPECT_TRUE(dir_.Exists("a.ZIP"));
  EXPECT_FALSE(dir_.Exists("a.ZIP.Zip"));
  EXPECT_EQ(zip.Open((dir_.path() + "missing\\export.zip").c_str(), false), kZipResultNoLibrary);
  EXPECT_FALSE(dir_.Exists("missing"));
}

TEST_F(ZipTest, AFailedOpenSaysWhyInTheSystemsTerms) {
  CZip zip;
  EXPECT_NE(zip.Open((dir_.path() + "missing/export.zip").c_str(), false), 0);
  // ENOENT; ERROR_PATH_NOT_FOUND on Windows, as the folder is missing.
  EXPECT_TRUE(platform::IsNotFound(zip.open_status().code())) << zip.open_status().code();
  EXPECT_NE(zip.open_status().message().find("missing/export.zip"), std::string::npos);
  EXPECT_FALSE(dir_.Exists("missing"));

  // A folder where the archive should go cannot be opened as a file.
  dir_.Write("taken.zip/inside", "x");
  EXPECT_NE(zip.Open((dir_.path() + "taken.zip").c_str(), false), 0);
  EXPECT_FALSE(zip.open_status().ok());
  EXPECT_TRUE(dir_.Exists("taken.zip/inside"));

  // Success clears the reason of the failure before.
  ASSERT_EQ(zip.Open((dir_.path() + "a.zip").c_str(), false), 0);
  EXPECT_TRUE(zip.open_status().ok());
  EXPECT_EQ(zip.Close(), 0);
}

TEST_F(ZipTest, OperationsNeedAnOpenArchiveAndNames) {
  CZip zip;
  EXPECT_EQ(zip.AddFile(nullptr, "ous.ini", 9), kZipResultNoLibrary);
  EXPECT_EQ(zip.AddFolder("Private", false, 9), kZipResultNoLibrary);
  EXPECT_EQ(zip.Close(), kZipResultNoLibrary);
  EXPECT_EQ(zip.Open(nullptr, false), kZipResultNullName);
  ASSERT_EQ(zip.Open((dir_.path() + "a.zip").c_str(), false), 0);
  EXPECT_EQ(zip.AddFile(nullptr, nullptr, 9), kZipResultNullName);
  EXPECT_EQ(zip.AddFolder(nullptr, false, 9), kZipResultNullName);
}

TEST_F(ZipTest, AFileThatCannotBeFoundIsThrownAndLeavesNoMember) {
  WriteFile("ous.ini", "[ous]", kMarchFourth);
  ScopedCurrentFolder current(dir_.path());
  CZip zip;
  ASSERT_EQ(zip.Open("a.zip", false), 0);
  try {
    zip.AddFile(nullptr, "Private\\nothere.ini", 9);
    ADD_FAILURE() << "no exception";
  } catch (const CZipCommonException& e) {
    // ENOENT; ERROR_PATH_NOT_FOUND on Windows, as the folder is missing.
    EXPECT_TRUE(platform::IsNotFound(e.GetError())) << e.GetError();
  }
  EXPECT_THROW(zip.AddFolder("Private\\PFW\\", false, 9), CWinFileException);
  EXPECT_EQ(zip.AddFile(nullptr, "ous.ini", 9), 0);
  EXPECT_EQ(zip.Close(), 0);
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  EXPECT_EQ(Members("a.zip"), (std::vector<std::string>{"ous.ini|2021-03-04 00:06:08|8|5"}));
}

class ZipFolderTest : public ZipTest {
 protected:
  void SetUp() override {
    // Every case reads the archive back with Python.
    ZIP_TESTING_SKIP_WITHOUT_PYTHON();
    WriteFile("Private/PFW/b.ini", "b", kMarchFourth);
    WriteFile("Private/PFW/a.ini", "a", kMarchFourth);
    WriteFile("Private/PFW/.hidden", "h", kMarchFourth);
    WriteFile("Private/PFW/sub/c.ini", "c", kMarchFourth);
    WriteFile("Private/PFW/.git/d.ini", "d", kMarchFourth);
  }

  // The member names written by `add` into a fresh archive.
  template <typename Add>
  std::vector<std::string> NamesAfter(Add add) {
    {
      ScopedCurrentFolder current(dir_.path());
      CZip zip;
      EXPECT_EQ(zip.Open("folder.zip", false), 0);
      add(zip);
    }
    std::vector<std::string> names;
    for (const std::string& line : Members("folder.zip"))
      names.push_back(line.substr(0, line.find('|')));
    return names;
  }
};

TEST_F(ZipFolderTest, AddsTheFolderFilesWithoutDotFilesOrSubfolders) {
  const std::vector<std::string> expected = {"Private\\PFW\\a.ini", "Private\\PFW\\b.ini"};
  EXPECT_EQ(NamesAfter([](CZip& zip) { EXPECT_EQ(zip.AddFolder("Private\\PFW\\", false, 9), 0); }),
            expected);
  EXPECT_EQ(NamesAfter([](CZip& zip) { EXPECT_EQ(zip.AddFolder("private\\pfw", false, 9), 0); }),
            (std::vector<std::string>{"private\\pfw\\a.ini", "private\\pfw\\b.ini"}));
}

TEST_F(ZipFolderTest, RecursiveWalkNamesMembersBelowTheFolder) {
  EXPECT_EQ(NamesAfter([](CZip& zip) { EXPECT_EQ(zip.AddFolder("Private\\PFW\\", true, 9), 0); }),
            (std::vector<std::string>{"Private\\PFW\\a.ini", "Private\\PFW\\b.ini",
                                      "Private\\PFW\\sub\\c.ini"}));
}

TEST_F(ZipFolderTest, CallbackSeesEachFileAndCanEndTheWalk) {
  struct Calls {
    std::vector<std::string> seen;
  } calls;
  const CZip::ProgressCallback callback = [](void* context, const char* path, int phase) {
    auto* c = static_cast<Calls*>(context);
    c->seen.push_back(std::string(path) + "#" + std::to_string(phase));
    return std::string(path).find("b.ini") == std::string::npos;
  };
  EXPECT_EQ(NamesAfter([&](CZip& zip) {
              EXPECT_EQ(zip.AddFolder("Private\\PFW\\", true, 9, callback, &calls), 0);
            }),
            (std::vector<std::string>{"Private\\PFW\\a.ini"}));
  EXPECT_EQ(calls.seen, (std::vector<std::string>{"Private\\PFW\\a.ini#0", "Private\\PFW\\a.ini#1",
                                                  "Private\\PFW\\b.ini#0"}));
}

}  // namespace
