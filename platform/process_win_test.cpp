#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testing_support::TempFolder;
using Words = std::vector<std::string>;

// Native paths below a test folder, with Windows separators.
std::string WindowsPath(const TempFolder& dir, std::string_view relative) {
  std::string path = dir.Native(relative);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

TEST(FindProgramTest, FolderOrderFirstAndExeAddedToANameWithoutExtension) {
  TempFolder dir;
  dir.Write("first/Runner.exe", "MZ");
  dir.Write("second/SvcCfgRunner.exe", "MZ");
  dir.Write("second/SvcCfgRunner", "not tried: Windows adds .exe");
  dir.Write("third/Tool.cmd", "MZ");
  dir.MakeFolder("folder.exe");
  const Words folders = {WindowsPath(dir, "empty"), dir.path(), WindowsPath(dir, "first"),
                         WindowsPath(dir, "second"), WindowsPath(dir, "third")};
  std::string path;
  ASSERT_TRUE(FindProgram("SvcCfgRunner.exe", folders, &path).ok());
  EXPECT_EQ(path, WindowsPath(dir, "second") + "\\SvcCfgRunner.exe");
  ASSERT_TRUE(FindProgram("SvcCfgRunner", folders, &path).ok());
  EXPECT_EQ(path, WindowsPath(dir, "second") + "\\SvcCfgRunner.exe");
  // Letter case does not matter; a folder separator is added only when missing.
  ASSERT_TRUE(FindProgram("runner.EXE", folders, &path).ok());
  EXPECT_EQ(path, WindowsPath(dir, "first") + "\\runner.EXE");
  ASSERT_TRUE(FindProgram("Tool.cmd", {WindowsPath(dir, "third") + "\\"}, &path).ok());
  EXPECT_EQ(path, WindowsPath(dir, "third") + "\\Tool.cmd");

  SetLastError(0);
  EXPECT_EQ(FindProgram("Tool", folders, &path).code(), kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(FindProgram("folder.exe", {dir.path()}, &path).code(), kErrorFileNotFound);
  EXPECT_EQ(FindProgram("", folders, &path).code(), kErrorInvalidParameter);
}

TEST(FindProgramTest, ANameWithAFolderIsTakenFromTheCurrentFolderOnly) {
  TempFolder dir;
  dir.Write("tools/Run.exe", "MZ");
  dir.Write("elsewhere/tools/Other.exe", "MZ");
  std::u16string previous;
  ASSERT_TRUE(GetCurrentFolder(&previous).ok());
  ASSERT_TRUE(SetCurrentFolder(dir.wpath()).ok());
  std::string found;
  std::string other;
  const Status run = FindProgram(R"(tools\Run)", {WindowsPath(dir, "elsewhere")}, &found);
  const Status missing = FindProgram(R"(tools\Other.exe)", {WindowsPath(dir, "elsewhere")}, &other);
  ASSERT_TRUE(SetCurrentFolder(previous).ok());
  ASSERT_TRUE(run.ok()) << run.message();
  EXPECT_EQ(found, R"(tools\Run.exe)");
  EXPECT_EQ(missing.code(), kErrorFileNotFound);
}

TEST(ProgramSearchFoldersTest, ProgramFolderCurrentFolderThenPath) {
  testing_support::ScopedEnvironmentVariable path("PATH", R"(C:\a;;C:\b c)");
  std::u16string program_folder;
  std::u16string current;
  ASSERT_TRUE(GetProgramFolder(&program_folder).ok());
  ASSERT_TRUE(GetCurrentFolder(&current).ok());
  EXPECT_EQ(ProgramSearchFolders(),
            (Words{ToSystemCodePage(program_folder), ToSystemCodePage(current), R"(C:\a)", ".",
                   R"(C:\b c)"}));
  {
    ScopedProgramSearchFoldersForTesting only({R"(C:\nowhere)"});
    EXPECT_EQ(ProgramSearchFolders(), Words{R"(C:\nowhere)"});
  }
  EXPECT_EQ(ProgramSearchFolders().size(), 5u);
}

// The peer writes the command line it got into its current folder.
TEST(ProcessTest, TheCommandLineArrivesExactlyAndTheExitCodeComesBack) {
  TempFolder dir;
  std::u16string program_folder;
  ASSERT_TRUE(GetProgramFolder(&program_folder).ok());
  ScopedProgramSearchFoldersForTesting folders({ToSystemCodePage(program_folder)});
  std::u16string previous;
  ASSERT_TRUE(GetCurrentFolder(&previous).ok());
  ASSERT_TRUE(SetCurrentFolder(dir.wpath()).ok());
  const std::string line = R"(command_line_peer.exe -migrateDlpTemplate "Private\DlpClc.ori.xml" )"
                           R"("Private\DlpClc.xml" 10.600000 1  tail\"quote  "")";
  Process process;
  const Status started = process.Start(line);
  int exit_code = -1;
  const Status waited = started.ok() ? process.Wait(&exit_code) : started;
  ASSERT_TRUE(SetCurrentFolder(previous).ok());
  ASSERT_TRUE(started.ok()) << started.message();
  ASSERT_TRUE(waited.ok()) << waited.message();
  EXPECT_EQ(exit_code, 7);
  EXPECT_EQ(Utf16LeToText(dir.Read("command_line.txt")), FromSystemCodePage(line));
  EXPECT_FALSE(process.started());
  EXPECT_EQ(process.Wait().code(), kErrorNoProcess);
}

TEST(ProcessTest, AProgramThatCannotBeFoundFailsWithTheSystemError) {
  TempFolder dir;
  ScopedProgramSearchFoldersForTesting folders({dir.path()});
  Process process;
  SetLastError(0);
  const Status started = process.Start("command_line_peer.exe x");
  EXPECT_EQ(started.code(), kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(process.started());
  EXPECT_EQ(process.Start("  ").code(), kErrorInvalidParameter);

  // A file that is no program is found, but does not start.
  dir.Write("fake.exe", "not a program");
  const Status fake = process.Start("fake.exe");
  EXPECT_FALSE(fake.ok());
  EXPECT_FALSE(process.started());
}

}  // namespace
}  // namespace platform
