// What the file layer does on POSIX systems only: names resolved ignoring
// letter case, permission bits, symbolic links made with symlink(), $TMPDIR.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/system.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testing_support::TempFolder;

class FileSystemPosixTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GetCurrentFolder(&saved_folder_).ok()); }
  void TearDown() override { ASSERT_TRUE(SetCurrentFolder(saved_folder_).ok()); }

  TempFolder dir_;
  std::u16string saved_folder_;
};

TEST_F(FileSystemPosixTest, BackslashNamesResolveExistingComponentsIgnoringCase) {
  dir_.Write("Private/PFW/Profile.dat", "x");
  EXPECT_EQ(NativePath(dir_.wpath() + u"private\\pfw\\PROFILE.DAT"),
            dir_.path() + "Private/PFW/Profile.dat");
  // Missing components keep the spelling given, below the resolved part.
  EXPECT_EQ(NativePath(dir_.wpath() + u"PRIVATE\\New\\File.txt"),
            dir_.path() + "Private/New/File.txt");
  // An exact match wins over another spelling.
  dir_.Write("private/x", "y");
  EXPECT_EQ(NativePath(dir_.wpath() + u"private\\x"), dir_.path() + "private/x");
  EXPECT_EQ(NativePath(dir_.wpath() + u"Private\\PFW\\"), dir_.path() + "Private/PFW/");
}

TEST_F(FileSystemPosixTest, RelativeNamesResolveAgainstTheCurrentFolder) {
  dir_.Write("Admin/ALERT.MSG", "alert");
  ASSERT_TRUE(SetCurrentFolder(dir_.wpath()).ok());
  EXPECT_EQ(NativePath(u"admin\\alert.msg"), "Admin/ALERT.MSG");
  EXPECT_TRUE(PathExists(u"admin\\Alert.msg"));
  std::string bytes;
  ASSERT_TRUE(ReadFile(u"ADMIN\\alert.msg", &bytes).ok());
  EXPECT_EQ(bytes, "alert");
}

TEST_F(FileSystemPosixTest, AtomicReplaceKeepsPermissionsAndLeavesNoSibling) {
  dir_.Write("bsnscan.ini", "old");
  ASSERT_EQ(::chmod(dir_.Native("bsnscan.ini").c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(dir_.Wide("BSNSCAN.INI"), "new content").ok());
  EXPECT_EQ(dir_.Read("bsnscan.ini"), "new content");
  struct stat st;
  ASSERT_EQ(::stat(dir_.Native("bsnscan.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(dir_.wpath(), &entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, u"bsnscan.ini");
}

TEST_F(FileSystemPosixTest, TemporaryFilesAreOwnerOnlyAndUniqueInTmpdir) {
  testing_support::ScopedEnvironmentVariable tmpdir("TMPDIR", dir_.path() + "tmp");
  dir_.MakeFolder("tmp");
  EXPECT_EQ(TemporaryFolder(), dir_.Wide("tmp/"));
  std::u16string first_path, second_path;
  File first, second;
  ASSERT_TRUE(CreateTemporaryFile(u"mstmp", &first_path, &first).ok());
  ASSERT_TRUE(CreateTemporaryFile(u"mstmp", &second_path, &second).ok());
  EXPECT_NE(first_path, second_path);
  EXPECT_EQ(first_path.substr(0, dir_.Wide("tmp/mstmp").size()), dir_.Wide("tmp/mstmp"));
  ASSERT_TRUE(first.Write("body", 4).ok());
  ASSERT_TRUE(first.Close().ok());
  std::string bytes;
  ASSERT_TRUE(ReadFile(first_path, &bytes).ok());
  EXPECT_EQ(bytes, "body");
  struct stat st;
  ASSERT_EQ(::stat(NativePath(first_path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FileSystemPosixTest, TemporaryFolderDefaultsToTmp) {
  testing_support::ScopedEnvironmentVariable tmpdir("TMPDIR", "");
  EXPECT_EQ(TemporaryFolder(), u"/tmp/");
  std::u16string path;
  File file;
  testing_support::ScopedEnvironmentVariable missing("TMPDIR", dir_.path() + "missing");
  EXPECT_FALSE(CreateTemporaryFile(u"mstmp", &path, &file).ok());
  EXPECT_FALSE(file.is_open());
}

// A planted link must never carry a write to the file it points to: the
// atomic writers replace the link itself, the streaming writers refuse it.
TEST_F(FileSystemPosixTest, WritersNeverWriteThroughALinkAtTheName) {
  dir_.Write("outside/secret.txt", "outside");
  ASSERT_EQ(::chmod(dir_.Native("outside/secret.txt").c_str(), 0604), 0);
  const std::string target = dir_.Native("outside/secret.txt");
  for (const char* name : {"atomic", "replaced", "copied", "created", "new", "appended"}) {
    ASSERT_EQ(::symlink(target.c_str(), dir_.Native(name).c_str()), 0) << name;
  }
  dir_.Write("source.txt", "copy");

  ASSERT_TRUE(WriteFileAtomically(dir_.Wide("atomic"), "atomic").ok());
  FileReplacement replacement;
  ASSERT_TRUE(replacement.Begin(dir_.Wide("replaced")).ok());
  ASSERT_TRUE(replacement.Write("replaced", 8).ok());
  ASSERT_TRUE(replacement.Commit(true).ok());
  ASSERT_TRUE(CopyFile(dir_.Wide("source.txt"), dir_.Wide("copied"), false).ok());
  for (const char* name : {"atomic", "replaced", "copied"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsSymbolicLink(dir_.Wide(name)));
    struct stat st;
    ASSERT_EQ(::lstat(dir_.Native(name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
  }
  EXPECT_EQ(dir_.Read("atomic"), "atomic");
  EXPECT_EQ(dir_.Read("replaced"), "replaced");
  // The link lent none of its target's permissions.
  struct stat st;
  ASSERT_EQ(::stat(dir_.Native("replaced").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 07777, 0604u);

  File file;
  EXPECT_EQ(file.Open(dir_.Wide("created"), File::Mode::kCreateAlways).code(), ELOOP);
  EXPECT_EQ(file.Open(dir_.Wide("new"), File::Mode::kCreateNew).code(), EEXIST);
  EXPECT_EQ(file.Open(dir_.Wide("appended"), File::Mode::kAppend).code(), ELOOP);
  EXPECT_TRUE(IsSymbolicLink(dir_.Wide("created")));
  EXPECT_EQ(dir_.Read("outside/secret.txt"), "outside");
  // Reading still follows links.
  ASSERT_TRUE(file.Open(dir_.Wide("created"), File::Mode::kRead).ok());
}

TEST_F(FileSystemPosixTest, OwnerOnlyFilesIgnoreAPermissiveUmask) {
  const mode_t saved = ::umask(0);
  const auto mode_of = [this](const char* name) {
    struct stat st;
    EXPECT_EQ(::lstat(dir_.Native(name).c_str(), &st), 0) << name;
    return st.st_mode & 07777;
  };
  File file;
  ASSERT_TRUE(file.Open(dir_.Wide("new.dat"), File::Mode::kCreateNew, Access::kOwnerOnly).ok());
  file.Close();
  ASSERT_TRUE(file.Open(dir_.Wide("plain.dat"), File::Mode::kCreateNew).ok());
  file.Close();
  // An existing file opened for its secrets becomes owner-only as well.
  dir_.Write("old.dat", "old");
  ASSERT_EQ(::chmod(dir_.Native("old.dat").c_str(), 0666), 0);
  ASSERT_TRUE(file.Open(dir_.Wide("old.dat"), File::Mode::kCreateAlways, Access::kOwnerOnly).ok());
  file.Close();
  dir_.Write("atomic.ini", "old");
  ASSERT_EQ(::chmod(dir_.Native("atomic.ini").c_str(), 0644), 0);
  ASSERT_TRUE(
      WriteFileAtomically(dir_.Wide("atomic.ini"), "new", nullptr, Access::kOwnerOnly).ok());
  FileReplacement replacement;
  ASSERT_TRUE(replacement.Begin(dir_.Wide("replaced.ini"), Access::kOwnerOnly).ok());
  ASSERT_TRUE(replacement.Commit(true).ok());
  ::umask(saved);

  EXPECT_EQ(mode_of("new.dat"), 0600u);
  EXPECT_EQ(mode_of("plain.dat"), 0666u);  // the default follows the umask
  EXPECT_EQ(mode_of("old.dat"), 0600u);
  EXPECT_EQ(mode_of("atomic.ini"), 0600u);
  EXPECT_EQ(mode_of("replaced.ini"), 0600u);
}

TEST_F(FileSystemPosixTest, LinksBelowAFolderAreFoundOnEveryLevel) {
  dir_.MakeFolder("outside");
  dir_.Write("install/Private/other/x.ini", "x");
  dir_.Write("install/bsnscan.ini", "x");
  ASSERT_EQ(::symlink(dir_.Native("outside").c_str(), dir_.Native("install/Private/PFW").c_str()),
            0);
  ASSERT_EQ(::symlink(dir_.Native("outside/x").c_str(), dir_.Native("install/skva.dat").c_str()),
            0);
  const std::string install = dir_.Native("install/");
  EXPECT_TRUE(HasLinkBelow(install, "private\\pfw\\fw.ini"));  // found in another letter case
  EXPECT_TRUE(HasLinkBelow(install, "Private/PFW/new/deeper.ini"));
  EXPECT_TRUE(HasLinkBelow(install, "SKVA.DAT"));
  EXPECT_FALSE(HasLinkBelow(install, "Private\\other\\x.ini"));
  EXPECT_FALSE(HasLinkBelow(install, "bsnscan.ini"));
  EXPECT_FALSE(HasLinkBelow(install, "missing\\folder\\file.ini"));
  // A link above the folder is the folder's own business.
  ASSERT_EQ(::symlink(install.c_str(), dir_.Native("alias").c_str()), 0);
  EXPECT_FALSE(HasLinkBelow(dir_.Native("alias"), "bsnscan.ini"));
  EXPECT_TRUE(IsSymbolicLink(dir_.Wide("alias")));
  EXPECT_FALSE(IsSymbolicLink(dir_.Wide("install")));
}

// The ID of a process that has ended.
uint32_t EndedProcessId() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return static_cast<uint32_t>(child);
}

TEST_F(FileSystemPosixTest, FilesOfEndedProcessesAreRemovedAndOthersStay) {
  const std::string ended = std::to_string(EndedProcessId());
  const std::string running = std::to_string(::getpid());
  EXPECT_FALSE(IsProcessAlive(static_cast<uint32_t>(std::stoul(ended))));
  EXPECT_TRUE(IsProcessAlive(static_cast<uint32_t>(::getpid())));
  EXPECT_TRUE(IsProcessAlive(1));  // another user's process counts as well
  EXPECT_FALSE(IsProcessAlive(0));

  dir_.Write(".a.zip." + ended + ".part.zip", "left");
  dir_.Write(".a.zip." + running + ".part.zip", "in progress");
  dir_.Write(".a.zip.12x.part.zip", "not a process ID");
  dir_.Write(".b.zip." + ended + ".part.zip", "another archive's");
  dir_.MakeFolder(".a.zip.999999999.part.zip");  // folders are never removed
  ASSERT_EQ(::symlink("/nowhere", dir_.Native(".a.zip.999999998.part.zip").c_str()), 0);
  RemoveFilesOfEndedProcesses(dir_.wpath(), u".a.zip.", u".part.zip");
  EXPECT_FALSE(dir_.Exists(".a.zip." + ended + ".part.zip"));
  EXPECT_TRUE(dir_.Exists(".a.zip." + running + ".part.zip"));
  EXPECT_TRUE(dir_.Exists(".a.zip.12x.part.zip"));
  EXPECT_TRUE(dir_.Exists(".b.zip." + ended + ".part.zip"));
  EXPECT_TRUE(dir_.Exists(".a.zip.999999999.part.zip"));
  EXPECT_FALSE(IsSymbolicLink(dir_.Wide(".a.zip.999999998.part.zip")));  // the link itself went
}

TEST_F(FileSystemPosixTest, ReplacementAndReadOnlyFoldersKeepPermissions) {
  dir_.Write("Private/dlp.ini", "old");
  ASSERT_EQ(::chmod(dir_.Native("Private/dlp.ini").c_str(), 0640), 0);
  FileReplacement replacement;
  ASSERT_TRUE(replacement.Begin(dir_.Wide("private\\DLP.INI")).ok());
  ASSERT_TRUE(replacement.Write("new", 3).ok());
  ASSERT_TRUE(replacement.Commit(true).ok());
  struct stat st;
  ASSERT_EQ(::stat(dir_.Native("Private/dlp.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (::geteuid() != 0) {  // root writes anywhere
    dir_.MakeFolder("ro");
    ASSERT_EQ(::chmod(dir_.Native("ro").c_str(), 0500), 0);
    EXPECT_FALSE(WriteFileAtomically(dir_.Wide("ro/file.ini"), "x").ok());
  }
}

TEST_F(FileSystemPosixTest, FullPathOfARelativeNameAtTheRoot) {
  ASSERT_TRUE(SetCurrentFolder(u"/").ok());
  std::u16string full;
  ASSERT_TRUE(GetFullPath(u"tmp", &full).ok());
  EXPECT_EQ(full, u"/tmp");
}

}  // namespace
}  // namespace platform
