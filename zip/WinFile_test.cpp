#include "zip/WinFile.h"

#include <gtest/gtest.h>

#include "platform/status.h"
#include "tests/support/temp_folder.h"
#include "zip/ZipException.h"

namespace {

using testing_support::TempFolder;

// The error code a statement throws as CWinFileException; 0 when it throws
// nothing.
template <typename Statement>
int ThrownCode(Statement statement) {
  try {
    statement();
  } catch (const CWinFileException& e) {
    return e.GetError();
  }
  return 0;
}

TEST(WinFileTest, FailuresAreThrownWithTheSystemCode) {
  TempFolder dir;
  CWinFile file;
  char buffer[8];
  EXPECT_EQ(ThrownCode([&] { file.Read(buffer, sizeof buffer); }), -1);
  EXPECT_EQ(ThrownCode([&] { file.Write("x", 1); }), -1);
  EXPECT_EQ(ThrownCode([&] { file.Flush(); }), -1);
  EXPECT_EQ(ThrownCode([&] { file.SetTimes(0, 0); }), -1);
  EXPECT_EQ(ThrownCode([&] { file.Open(nullptr, platform::File::Mode::kRead); }),
            platform::kErrorInvalidParameter);
  EXPECT_EQ(
      ThrownCode([&] { file.Open(dir.Native("missing").c_str(), platform::File::Mode::kRead); }),
      platform::kErrorFileNotFound);
  dir.Write("there", "abc");
  EXPECT_EQ(
      ThrownCode([&] { file.Open(dir.Native("there").c_str(), platform::File::Mode::kCreateNew); }),
      platform::kErrorAlreadyExists);
}

TEST(WinFileTest, WritesReadsAndSetsTimes) {
  TempFolder dir;
  dir.MakeFolder("Sub");
  {
    CWinFile file;
    file.Open((dir.path() + "sub\\Data.bin").c_str(), platform::File::Mode::kCreateAlways);
    file.Write("abcdef", 6);
    file.Flush();
    file.SetTimes(1000000000000000000, 1100000000000000000);
  }
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(dir.Wide("Sub/Data.bin"), &info).ok());
  EXPECT_EQ(info.modified_ns, 1100000000000000000);
  CWinFile file;
  file.Open(dir.Native("Sub/Data.bin").c_str(), platform::File::Mode::kRead);
  char buffer[4];
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 4u);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 2u);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
}

TEST(WinFileFindTest, ListsMatchesInNameOrder) {
  TempFolder dir;
  dir.Write("PFW/b.ini", "");
  dir.Write("PFW/A.INI", "");
  dir.Write("PFW/.hidden", "");
  dir.Write("PFW/readme", "");
  dir.MakeFolder("PFW/sub");
  dir.MakeFolder("PFW/.git");
  CWinFileFind finder;
  std::vector<std::string> all;
  for (bool found = finder.FindFirst((dir.path() + "pfw\\*.*").c_str()); found;
       found = finder.FindNext()) {
    all.push_back(finder.GetFileName() + (finder.IsDirectory() ? "/" : "") +
                  (finder.IsSubfolder() ? "+" : ""));
  }
  EXPECT_EQ(all,
            (std::vector<std::string>{".git/", ".hidden", "A.INI", "b.ini", "readme", "sub/+"}));
  std::vector<std::string> ini;
  for (bool found = finder.FindFirst((dir.path() + "PFW/?.ini").c_str()); found;
       found = finder.FindNext()) {
    ini.push_back(finder.GetFileName());
  }
  EXPECT_EQ(ini, (std::vector<std::string>{"A.INI", "b.ini"}));
  EXPECT_FALSE(finder.FindFirst((dir.path() + "PFW/*.xml").c_str()));
}

TEST(WinFileFindTest, MissingFolderAndClosedSearchThrow) {
  TempFolder dir;
  CWinFileFind finder;
  EXPECT_EQ(ThrownCode([&] { finder.FindNext(); }), platform::kErrorInvalidHandle);
  EXPECT_EQ(ThrownCode([&] { finder.GetFileName(); }), platform::kErrorInvalidHandle);
  // A missing folder: ENOENT; ERROR_PATH_NOT_FOUND on Windows.
  const int missing = ThrownCode([&] { finder.FindFirst((dir.path() + "none\\*.*").c_str()); });
  EXPECT_TRUE(platform::IsNotFound(missing)) << missing;
  dir.MakeFolder("empty");
  EXPECT_FALSE(finder.FindFirst((dir.path() + "empty\\*.*").c_str()));
  EXPECT_FALSE(finder.FindNext());
}

}  // namespace
