#include "zip/ZipAU.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_system.h"
#include "platform/system.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "zip/Unzip.h"
#include "zip/Zip.h"
#include "zip/ZipCommon.h"
#include "zip/testing/ZipTestTools.h"

namespace {

using testing_support::TempFolder;
using zip_testing::ListWithPython;
using zip_testing::LogCapture;
using zip_testing::ScopedCurrentFolder;

constexpr int64_t kSecond = 1000000000;
// 2021-03-04 05:06:09 UTC, 00:06:08 in EST5 as a DOS time.
constexpr int64_t kMarchFourth = 1614834369 * kSecond;

// On server core both writing and reading go through libPackDll.
class ServerCoreTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& relative, const std::string& bytes) {
    dir_.Write(relative, bytes);
    ASSERT_TRUE(platform::SetFileTimes(dir_.Wide(relative), kMarchFourth, kMarchFourth).ok());
  }

  std::string Path(const std::string& relative) const { return dir_.path() + relative; }

  platform::ScopedServerCoreForTesting core_{true};
  testing_support::ScopedEnvironmentVariable tz_{"TZ", "EST5"};
  TempFolder dir_;
};

TEST_F(ServerCoreTest, CZipWritesThroughThePackLibraryAndCUnzipReadsBack) {
  WriteFile("install/ous.ini", "[ous]");
  WriteFile("install/Private/PFW/a.ini", std::string(70000, 'a'));
  WriteFile("install/Private/PFW/.hidden", "h");
  WriteFile("install/Private/PFW/sub/c.ini", "c");
  WriteFile("base/data.bin", "data");
  {
    ScopedCurrentFolder current(Path("install"));
    CZip zip;
    ASSERT_EQ(zip.Open(Path("export").c_str(), false), 0);
    EXPECT_EQ(zip.AddFile(nullptr, "ous.ini", 9), 0);
    EXPECT_EQ(zip.AddFile(Path("base").c_str(), "data.bin", 0), 0);
    EXPECT_EQ(zip.AddFolder("Private\\PFW\\", false, 9), 0);
    EXPECT_EQ(zip.Close(), 0);
  }
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  EXPECT_EQ(ListWithPython(dir_, Path("export.Zip")),
            (std::vector<std::string>{
                "ous.ini|2021-03-04 00:06:08|8|5", "data.bin|2021-03-04 00:06:08|0|4",
                "Private\\PFW\\.hidden|2021-03-04 00:06:08|8|1",
                "Private\\PFW\\a.ini|2021-03-04 00:06:08|8|70000", "crc ok"}));

  CUnzip unzip;
  ASSERT_EQ(unzip.Open(Path("export").c_str()), 0);
  ASSERT_EQ(unzip.ExtractAll(Path("target").c_str(), true, true), 0);
  EXPECT_EQ(dir_.Read("target/Private/PFW/a.ini"), std::string(70000, 'a'));
  EXPECT_EQ(dir_.Read("target/ous.ini"), "[ous]");
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(dir_.Wide("target/data.bin"), &info).ok());
  EXPECT_EQ(info.modified_ns, kMarchFourth - kSecond);  // DOS times have even seconds
}

TEST_F(ServerCoreTest, RecursiveWalkKeepsGoingPastFailuresAndLogsThem) {
  WriteFile("Private/PFW/a.ini", "a");
  WriteFile("Private/PFW/sub/c.ini", "c");
  std::error_code made;
  for (const char* link : {"Private/PFW/dangling.ini", "Private/PFW/sub/lost.ini"}) {
    if (!made) std::filesystem::create_symlink(Path("nowhere"), Path(link), made);
  }
  if (made) GTEST_SKIP() << "no symbolic links can be made here: " << made.message();
  ScopedCurrentFolder current(dir_.path());
  LogCapture log;
  CZipAU zip;
  ASSERT_EQ(zip.Open("walk.zip", false), 0);
  EXPECT_EQ(zip.ZipRecursive("Private\\PFW", true, 9), -1);
  EXPECT_EQ(zip.Close(), 0);
  std::vector<std::string> names;
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  for (const std::string& line : ListWithPython(dir_, Path("walk.zip"))) {
    names.push_back(line.substr(0, line.find('|')));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Private\\PFW\\a.ini", "Private\\PFW\\sub\\c.ini",
                                             "crc ok"}));
  std::vector<std::string> texts;
  for (const LogCapture::Line& line : log.Lines()) {
    EXPECT_EQ(line.level, 5);
    EXPECT_EQ(line.source, "Zip");
    texts.push_back(line.text);
  }
  const std::string base = dir_.path().substr(0, dir_.path().size() - 1) + "\\";
  EXPECT_EQ(texts,
            (std::vector<std::string>{
                "[CZipAU::ZipRecursive] Zip_Append=[-1][" + base + "][Private\\PFW\\dangling.ini]",
                "[CZipAU::ZipRecursive] Zip_Append=[-1][" + base + "][Private\\PFW\\sub\\lost.ini]",
                "[CZipAU::ZipRecursive] next ZipRecursive=[-1][" + base + "][Private\\PFW\\sub]"}));
  // A folder that cannot be listed adds nothing and is no failure.
  ASSERT_EQ(zip.Open("walk2.zip", false), 0);
  EXPECT_EQ(zip.ZipRecursive("Missing", true, 9), 0);
}

TEST_F(ServerCoreTest, FailuresAreLoggedWithTheirNames) {
  LogCapture log;
  CZipAU zip;
  EXPECT_EQ(zip.Open(Path("missing\\export").c_str(), false), kZipResultNoLibrary);
  ASSERT_EQ(zip.Open(Path("a.zip").c_str(), false), 0);
  EXPECT_EQ(zip.AddFile(dir_.path().c_str(), "nothere.ini", 9), -1);
  const std::vector<LogCapture::Line> lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text,
            "[CZipAU::Open] create ZIP file [" + Path("missing\\export.Zip") + "] failed.");
  EXPECT_EQ(lines[1].text, "[CZipAU::AddFile] Can not add [" + dir_.path() +
                               "][nothere.ini] into zip file, Zip_Append returned with [-1]");
}

TEST_F(ServerCoreTest, OpenCreatesTheFileFirstUnlessAppending) {
  CZipAU zip;
  ASSERT_EQ(zip.Open(Path("new").c_str(), false), 0);
  EXPECT_TRUE(dir_.Exists("new.Zip"));  // before anything is written
  EXPECT_EQ(zip.Close(), 0);
  EXPECT_EQ(zip.Close(), kZipResultNoLibrary);
  EXPECT_EQ(zip.Open(nullptr, false), kZipResultNullName);
  EXPECT_EQ(zip.AddFile(nullptr, "x", 9), kZipResultNoLibrary);
}

}  // namespace
