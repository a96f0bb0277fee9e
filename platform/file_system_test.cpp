// What the file layer does alike on every system. The system's own parts
// are in file_system_posix_test.cpp and file_system_win_test.cpp.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testing_support::TempFolder;

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GetCurrentFolder(&saved_folder_).ok()); }
  void TearDown() override { ASSERT_TRUE(SetCurrentFolder(saved_folder_).ok()); }

  TempFolder dir_;
  std::u16string saved_folder_;
};

// A path with '/' as its separators, as the test folder's paths are written.
std::u16string Generic(std::u16string path) {
  std::replace(path.begin(), path.end(), u'\\', u'/');
  return path;
}

TEST_F(FileSystemTest, ExistenceTestReportsTheErrorNumber) {
  int error = 0;
  EXPECT_FALSE(PathExists(dir_.Wide("missing.ini"), &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  dir_.MakeFolder("folder");
  EXPECT_TRUE(PathExists(dir_.Wide("folder")));  // folders exist too
  EXPECT_TRUE(PathExists(std::string_view(dir_.path())));
}

TEST_F(FileSystemTest, AtomicReplaceReportsTheVersionItWrote) {
  FileInfo written;
  ASSERT_TRUE(WriteFileAtomically(dir_.Wide("a.ini"), "12345", &written).ok());
  FileInfo now;
  ASSERT_TRUE(GetFileInfo(dir_.Wide("a.ini"), &now).ok());
  EXPECT_EQ(written.size, 5u);
  EXPECT_EQ(written.inode, now.inode);
  EXPECT_EQ(written.device, now.device);
  EXPECT_EQ(written.modified_ns, now.modified_ns);
}

// The names in a folder, sorted as ListFolder gives them.
std::vector<std::u16string> Names(const TempFolder& dir, const std::string& folder = "") {
  std::vector<FolderEntry> entries;
  EXPECT_TRUE(ListFolder(dir.Wide(folder), &entries).ok());
  std::vector<std::u16string> names;
  for (const FolderEntry& entry : entries) names.push_back(entry.name);
  return names;
}

TEST_F(FileSystemTest, ReplacementShowsOnlyWhenCommitted) {
  dir_.Write("Private/dlp.ini", "old");
  FileReplacement replacement;
  ASSERT_TRUE(replacement.Begin(dir_.Wide("private\\DLP.INI")).ok());
  ASSERT_TRUE(replacement.Write("new ", 4).ok());
  ASSERT_TRUE(replacement.Write("content", 7).ok());
  ASSERT_TRUE(replacement.SetTimes(1000000000, 1588766890000000000).ok());
  // Until the commit the old content stays, the new one in a file beside it.
  EXPECT_EQ(dir_.Read("Private/dlp.ini"), "old");
  EXPECT_EQ(Names(dir_, "Private").size(), 2u);
  ASSERT_TRUE(replacement.Commit(true).ok());
  EXPECT_EQ(dir_.Read("Private/dlp.ini"), "new content");
  EXPECT_EQ(Names(dir_, "Private"), std::vector<std::u16string>{u"dlp.ini"});
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(dir_.Wide("Private/dlp.ini"), &info).ok());
  EXPECT_EQ(info.modified_ns, 1588766890000000000);
}

TEST_F(FileSystemTest, AtomicReplaceLeavesNoSiblingAndFailsWithoutItsFolder) {
  dir_.Write("bsnscan.ini", "old");
  ASSERT_TRUE(WriteFileAtomically(dir_.Wide("BSNSCAN.INI"), "new content").ok());
  EXPECT_EQ(dir_.Read("bsnscan.ini"), "new content");
  EXPECT_EQ(Names(dir_), std::vector<std::u16string>{u"bsnscan.ini"});

  const Status missing = WriteFileAtomically(dir_.Wide("nofolder/file.ini"), "x");
  EXPECT_TRUE(IsNotFound(missing.code())) << missing.message();
  EXPECT_NE(missing.message().find("nofolder"), std::string::npos);
}

TEST_F(FileSystemTest, ReplacementNotCommittedLeavesTheOldFileAndNoTemporaryFile) {
  dir_.Write("ous.ini", "old");
  {
    FileReplacement replacement;
    ASSERT_TRUE(replacement.Begin(dir_.Wide("ous.ini")).ok());
    ASSERT_TRUE(replacement.Write("half", 4).ok());
  }  // destroyed without a commit
  EXPECT_EQ(Names(dir_), std::vector<std::u16string>{u"ous.ini"});
  FileReplacement abandoned;
  ASSERT_TRUE(abandoned.Begin(dir_.Wide("new.ini")).ok());
  abandoned.Abandon();
  EXPECT_EQ(Names(dir_), std::vector<std::u16string>{u"ous.ini"});
  EXPECT_EQ(dir_.Read("ous.ini"), "old");
  // Committing after an abandon has nothing to commit.
  EXPECT_EQ(abandoned.Commit(true).code(), kErrorInvalidHandle);
}

TEST_F(FileSystemTest, ReplacementFailuresRemoveTheTemporaryFile) {
  dir_.Write("ous.ini", "old");
  FileReplacement replacement;
  ASSERT_TRUE(replacement.Begin(dir_.Wide("ous.ini")).ok());
  ASSERT_TRUE(replacement.Write("new", 3).ok());
  const Status exists = replacement.Commit(false);
  EXPECT_EQ(exists.code(), kErrorAlreadyExists);
  EXPECT_NE(exists.message().find("ous.ini"), std::string::npos);
  EXPECT_EQ(Names(dir_), std::vector<std::u16string>{u"ous.ini"});
  EXPECT_EQ(dir_.Read("ous.ini"), "old");

  // A folder where the file should be: the rename fails.
  dir_.MakeFolder("sscfg.ini");
  ASSERT_TRUE(replacement.Begin(dir_.Wide("sscfg.ini")).ok());
  EXPECT_FALSE(replacement.Commit(true).ok());
  EXPECT_EQ(Names(dir_), (std::vector<std::u16string>{u"ous.ini", u"sscfg.ini"}));

  const Status missing = replacement.Begin(dir_.Wide("nofolder\\file.ini"));
  EXPECT_TRUE(IsNotFound(missing.code())) << missing.message();
  EXPECT_TRUE(replacement.temporary_path().empty());
}

TEST_F(FileSystemTest, CopyKeepsTimesAndHonoursFailIfExists) {
  dir_.Write("Private/DlpClc.xml", "<dlp/>");
  ASSERT_TRUE(
      SetFileTimes(dir_.Wide("Private/DlpClc.xml"), 1000000000000000000, 1100000000000000000).ok());
  ASSERT_TRUE(
      CopyFile(dir_.Wide("private\\dlpclc.xml"), dir_.Wide("private\\DlpClc.ori.xml"), false).ok());
  EXPECT_EQ(dir_.Read("Private/DlpClc.ori.xml"), "<dlp/>");
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(dir_.Wide("Private/DlpClc.ori.xml"), &info).ok());
  EXPECT_EQ(info.modified_ns, 1100000000000000000);
  EXPECT_EQ(info.size, 6u);

  const Status exists =
      CopyFile(dir_.Wide("Private/DlpClc.xml"), dir_.Wide("Private/DlpClc.ori.xml"), true);
  EXPECT_EQ(exists.code(), kErrorAlreadyExists);
  EXPECT_FALSE(CopyFile(dir_.Wide("nothing"), dir_.Wide("copy"), false).ok());
  EXPECT_FALSE(dir_.Exists("copy"));
}

TEST_F(FileSystemTest, MoveAndDelete) {
  dir_.Write("ssnotify.ini", "top");
  dir_.Write("Admin/ssnotify.ini", "old");
  EXPECT_EQ(MoveFile(dir_.Wide("ssnotify.ini"), dir_.Wide("admin\\ssnotify.ini"), false).code(),
            kErrorAlreadyExists);
  ASSERT_TRUE(MoveFile(dir_.Wide("ssnotify.ini"), dir_.Wide("admin\\ssnotify.ini"), true).ok());
  EXPECT_EQ(dir_.Read("Admin/ssnotify.ini"), "top");
  EXPECT_FALSE(dir_.Exists("ssnotify.ini"));

  ASSERT_TRUE(DeleteFile(dir_.Wide("ADMIN\\SSNOTIFY.INI")).ok());
  EXPECT_FALSE(dir_.Exists("Admin/ssnotify.ini"));
  EXPECT_EQ(DeleteFile(dir_.Wide("Admin")).code(), kErrorIsFolder);  // folders are not files
  EXPECT_EQ(DeleteFile(dir_.Wide("gone")).code(), kErrorFileNotFound);
}

TEST_F(FileSystemTest, FolderListingIsSortedIgnoringCaseAndMarksFolders) {
  dir_.Write("PFW/b.pol", "");
  dir_.Write("PFW/A.pol", "");
  dir_.Write("PFW/.hidden", "");
  dir_.MakeFolder("PFW/sub");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(dir_.Wide("pfw\\"), &entries).ok());
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, u".hidden");
  EXPECT_EQ(entries[1].name, u"A.pol");
  EXPECT_EQ(entries[2].name, u"b.pol");
  EXPECT_EQ(entries[3].name, u"sub");
  EXPECT_TRUE(entries[3].is_folder);
  EXPECT_FALSE(entries[1].is_folder);
  EXPECT_FALSE(ListFolder(dir_.Wide("none"), &entries).ok());
}

TEST_F(FileSystemTest, CreateAndRemoveFolders) {
  ASSERT_TRUE(CreateFolder(dir_.Wide("Admin")).ok());
  EXPECT_EQ(CreateFolder(dir_.Wide("admin")).code(),
            kErrorAlreadyExists);                       // resolves to the existing one
  EXPECT_FALSE(CreateFolder(dir_.Wide("a/b/c")).ok());  // one level only
  ASSERT_TRUE(RemoveFolder(dir_.Wide("ADMIN")).ok());
  EXPECT_FALSE(dir_.Exists("Admin"));
}

TEST_F(FileSystemTest, CurrentFolderRoundTrip) {
  ASSERT_TRUE(SetCurrentFolder(dir_.wpath()).ok());
  std::u16string now;
  ASSERT_TRUE(GetCurrentFolder(&now).ok());
  EXPECT_EQ(Generic(now) + u"/", dir_.wpath());
  EXPECT_FALSE(SetCurrentFolder(dir_.Wide("missing")).ok());
}

TEST_F(FileSystemTest, ScopedCurrentFolderComesBackOnEveryWayOut) {
  dir_.Write("inside/file.txt", "x");
  ASSERT_TRUE(SetCurrentFolder(dir_.wpath()).ok());
  {
    const ScopedCurrentFolder inside(dir_.Wide("inside"));
    ASSERT_TRUE(inside.entered());
    EXPECT_TRUE(PathExists(u"file.txt"));
    // A nested guard that cannot enter leaves the current folder alone.
    const ScopedCurrentFolder missing(dir_.Wide("missing"));
    EXPECT_FALSE(missing.entered());
    EXPECT_TRUE(IsNotFound(missing.status().code()));
    EXPECT_TRUE(PathExists(u"file.txt"));
  }
  std::u16string now;
  ASSERT_TRUE(GetCurrentFolder(&now).ok());
  EXPECT_EQ(Generic(now) + u"/", dir_.wpath());
}

TEST_F(FileSystemTest, FullPathNamesAFileBelowTheCurrentFolderAsItIsSpeltOnDisk) {
  dir_.Write("Reports/List.txt", "x");
  ASSERT_TRUE(SetCurrentFolder(dir_.wpath()).ok());
  std::u16string full;
  ASSERT_TRUE(GetFullPath(u"reports\\list.txt", &full).ok());
  EXPECT_EQ(Generic(full), dir_.wpath() + u"Reports/List.txt");
  ASSERT_TRUE(GetFullPath(u"New.txt", &full).ok());
  EXPECT_EQ(Generic(full), dir_.wpath() + u"New.txt");
  ASSERT_TRUE(GetFullPath(dir_.wpath() + u"REPORTS\\list.txt", &full).ok());
  EXPECT_EQ(Generic(full), dir_.wpath() + u"Reports/List.txt");
}

TEST_F(FileSystemTest, StreamingFileReadsAndWrites) {
  File out;
  ASSERT_TRUE(out.Open(dir_.Wide("data.bin"), File::Mode::kCreateAlways).ok());
  ASSERT_TRUE(out.Write("abc", 3).ok());
  ASSERT_TRUE(out.Close().ok());
  File again;
  EXPECT_EQ(again.Open(dir_.Wide("data.bin"), File::Mode::kCreateNew).code(), kErrorAlreadyExists);
  File in;
  ASSERT_TRUE(in.Open(dir_.Wide("DATA.BIN"), File::Mode::kRead).ok());
  char buffer[8];
  size_t read = 0;
  ASSERT_TRUE(in.Read(buffer, sizeof buffer, &read).ok());
  EXPECT_EQ(std::string(buffer, read), "abc");
  ASSERT_TRUE(in.Read(buffer, sizeof buffer, &read).ok());
  EXPECT_EQ(read, 0u);
  File folder;
  EXPECT_EQ(folder.Open(dir_.wpath(), File::Mode::kRead).code(), kErrorIsFolder);
  File closed;
  EXPECT_FALSE(closed.Write("x", 1).ok());
  EXPECT_EQ(closed.SetTimes(0, 0).code(), kErrorInvalidHandle);
}

TEST_F(FileSystemTest, AppendingCreatesAMissingFileAndWritesAtTheEnd) {
  for (const std::string_view piece : {"ab", "cd"}) {
    File out;
    ASSERT_TRUE(out.Open(dir_.Wide("log.txt"), File::Mode::kAppend).ok());
    ASSERT_TRUE(out.Write(piece.data(), piece.size()).ok());
    ASSERT_TRUE(out.Close().ok());
  }
  EXPECT_EQ(dir_.Read("log.txt"), "abcd");
}

TEST_F(FileSystemTest, OpenFileTimesCanBeSet) {
  File out;
  ASSERT_TRUE(out.Open(dir_.Wide("timed.bin"), File::Mode::kCreateAlways).ok());
  ASSERT_TRUE(out.Write("abc", 3).ok());
  // Before 1970 as well: the nanoseconds part must not go negative.
  ASSERT_TRUE(out.SetTimes(1000000000000000000, -1500000000).ok());
  ASSERT_TRUE(out.Close().ok());
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(dir_.Wide("timed.bin"), &info).ok());
  EXPECT_EQ(info.modified_ns, -1500000000);
}

}  // namespace
}  // namespace platform
