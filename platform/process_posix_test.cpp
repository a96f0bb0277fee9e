#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

void WriteProgram(const TempFolder& dir, const std::string& relative, bool executable = true) {
  dir.Write(relative, "#!/bin/sh\nexit 0\n");
  ::chmod(dir.Native(relative).c_str(), executable ? 0755 : 0644);
}

TEST(FindProgramTest, FolderOrderFirstThenTheExeSpellingBeforeTheBareName) {
  TempFolder dir;
  WriteProgram(dir, "first/SvcCfgRunner");
  WriteProgram(dir, "second/SvcCfgRunner.exe");
  WriteProgram(dir, "second/SvcCfgRunner");
  WriteProgram(dir, "plain/SvcCfgRunner.exe", false);
  const std::vector<std::string> folders = {dir.Native("empty"), dir.Native("plain"),
                                            dir.Native("first"), dir.Native("second")};
  std::string path;
  ASSERT_TRUE(FindProgram("SvcCfgRunner.exe", folders, &path).ok());
  EXPECT_EQ(path, dir.Native("first/SvcCfgRunner"));
  ASSERT_TRUE(FindProgram("SvcCfgRunner.exe", {dir.Native("second/")}, &path).ok());
  EXPECT_EQ(path, dir.Native("second/SvcCfgRunner.exe"));
  // Letter case does not matter, as on Windows.
  ASSERT_TRUE(FindProgram("svccfgrunner.EXE", {dir.Native("first")}, &path).ok());
  EXPECT_EQ(path, dir.Native("first/SvcCfgRunner"));

  EXPECT_EQ(FindProgram("SvcCfgRunner.exe", {dir.Native("plain")}, &path).code(), ENOENT);
  EXPECT_EQ(FindProgram("Missing.exe", folders, &path).code(), ENOENT);
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_EQ(FindProgram("", folders, &path).code(), EINVAL);
}

TEST(FindProgramTest, ANameWithAFolderIsTakenFromTheCurrentFolderOnly) {
  TempFolder dir;
  WriteProgram(dir, "tools/Run");
  WriteProgram(dir, "elsewhere/tools/Other");
  std::u16string previous;
  ASSERT_TRUE(GetCurrentFolder(&previous).ok());
  ASSERT_TRUE(SetCurrentFolder(dir.wpath()).ok());
  std::string found;
  std::string other;
  const Status run = FindProgram(R"(tools\Run.exe)", {dir.Native("elsewhere")}, &found);
  const Status missing = FindProgram(R"(tools\Other)", {dir.Native("elsewhere")}, &other);
  ASSERT_TRUE(SetCurrentFolder(previous).ok());
  ASSERT_TRUE(run.ok()) << run.message();
  EXPECT_EQ(found, "tools/Run");
  EXPECT_EQ(missing.code(), ENOENT);
}

TEST(ProgramSearchFoldersTest, ProgramFolderCurrentFolderThenPath) {
  testing_support::ScopedEnvironmentVariable path("PATH", "/opt/a::/opt/b");
  std::u16string program_folder;
  std::u16string current;
  ASSERT_TRUE(GetProgramFolder(&program_folder).ok());
  ASSERT_TRUE(GetCurrentFolder(&current).ok());
  EXPECT_EQ(ProgramSearchFolders(),
            (Words{Utf16ToUtf8(program_folder), Utf16ToUtf8(current), "/opt/a", ".", "/opt/b"}));
  {
    ScopedProgramSearchFoldersForTesting only({"/nowhere"});
    EXPECT_EQ(ProgramSearchFolders(), Words{"/nowhere"});
  }
  EXPECT_EQ(ProgramSearchFolders().size(), 5u);
}

TEST(ProcessTest, StartsWithTheSplitArgumentsInTheCurrentFolderAndWaits) {
  TempFolder dir;
  std::u16string previous;
  ASSERT_TRUE(GetCurrentFolder(&previous).ok());
  ASSERT_TRUE(SetCurrentFolder(dir.wpath()).ok());
  Process process;
  // A descriptor opened without close-on-exec is not passed on either.
  const int inheritable = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(inheritable, 0);
  const Status started = process.Start(
      R"(sh -c "printf '%s|' \"$0\" \"$@\" > args.txt; ls /proc/self/fd > fds.txt; exit 3" )"
      R"(first "a b" c\"d)");
  int exit_code = -1;
  const Status waited = started.ok() ? process.Wait(&exit_code) : started;
  ::close(inheritable);
  ASSERT_TRUE(SetCurrentFolder(previous).ok());
  ASSERT_TRUE(started.ok()) << started.message();
  ASSERT_TRUE(waited.ok()) << waited.message();
  EXPECT_EQ(exit_code, 3);
  EXPECT_EQ(dir.Read("args.txt"), R"(first|a b|c"d|)");
  // ls itself holds one descriptor to list the folder.
  EXPECT_EQ(dir.Read("fds.txt"), "0\n1\n2\n3\n");
  EXPECT_FALSE(process.started());
  EXPECT_EQ(process.Wait().code(), ECHILD);
}

TEST(ProcessTest, AProgramThatCannotBeFoundFailsWithTheSystemError) {
  TempFolder dir;
  ScopedProgramSearchFoldersForTesting folders({dir.path()});
  Process process;
  SetLastError(0);
  const Status started = process.Start("sh -c true");
  EXPECT_EQ(started.code(), ENOENT);
  EXPECT_EQ(GetLastError(), ENOENT);
  EXPECT_FALSE(process.started());
  EXPECT_EQ(process.Start("  ").code(), EINVAL);
}

}  // namespace
}  // namespace platform
