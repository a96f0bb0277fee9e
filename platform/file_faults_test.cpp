#include "platform/file_faults.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testing_support::TempFolder;

class FileFaultsTest : public ::testing::Test {
 protected:
  // The names in the folder, so that a left temporary file shows.
  std::set<std::u16string> Names() {
    std::vector<FolderEntry> entries;
    EXPECT_TRUE(ListFolder(dir_.wpath(), &entries).ok());
    std::set<std::u16string> names;
    for (const FolderEntry& entry : entries) names.insert(entry.name);
    return names;
  }

  TempFolder dir_;
  FileFaults faults_;
};

TEST_F(FileFaultsTest, TheNthWriteFailsOnceOrFromThereOnLikeAFullDisk) {
  faults_.fail_write_at = 2;
  {
    const ScopedFileFaults installed(&faults_);
    File file;
    ASSERT_TRUE(file.Open(dir_.Wide("a.bin"), File::Mode::kCreateNew).ok());
    EXPECT_TRUE(file.Write("1", 1).ok());
    const Status failed = file.Write("2", 1);
    EXPECT_EQ(failed.code(), DiskFullError());
    EXPECT_NE(failed.message().find(SystemErrorText(DiskFullError())), std::string::npos);
    EXPECT_NE(failed.message().find(Utf16ToUtf8(NativeWidePath(dir_.Wide("a.bin")))),
              std::string::npos);
    EXPECT_TRUE(file.Write("3", 1).ok());  // one failure only
    faults_.disk_full = true;
    faults_.write_error = kErrorWriteFault;
    EXPECT_EQ(file.Write("4", 1).code(), kErrorWriteFault);
    EXPECT_EQ(file.Write("5", 1).code(), kErrorWriteFault);
  }
  EXPECT_EQ(faults_.writes, 5u);
  EXPECT_EQ(faults_.failed_writes, 3u);
  EXPECT_EQ(dir_.Read("a.bin"), "13");
  // Removed with its scope: writes go through again and are not counted.
  File file;
  ASSERT_TRUE(file.Open(dir_.Wide("a.bin"), File::Mode::kAppend).ok());
  EXPECT_TRUE(file.Write("6", 1).ok());
  EXPECT_EQ(faults_.writes, 5u);
}

TEST_F(FileFaultsTest, AFilterLimitsThePlanToSomePaths) {
  faults_.only_paths_containing = "archive";
  faults_.fail_write_at = 1;
  const ScopedFileFaults installed(&faults_);
  EXPECT_TRUE(WriteFileAtomically(dir_.Wide("other.ini"), "x").ok());
  EXPECT_EQ(faults_.writes, 0u);
  EXPECT_EQ(WriteFileAtomically(dir_.Wide("archive.zip"), "x").code(), DiskFullError());
  EXPECT_EQ(faults_.writes, 1u);
}

TEST_F(FileFaultsTest, ScopesNestAndRestoreThePlanBefore) {
  FileFaults inner;
  inner.fail_creates = true;
  const ScopedFileFaults outer_scope(&faults_);
  {
    const ScopedFileFaults inner_scope(&inner);
    File file;
    EXPECT_EQ(file.Open(dir_.Wide("a"), File::Mode::kCreateNew).code(), DiskFullError());
    EXPECT_FALSE(dir_.Exists("a"));
  }
  File file;
  EXPECT_TRUE(file.Open(dir_.Wide("a"), File::Mode::kCreateNew).ok());
  EXPECT_EQ(inner.creates, 1u);
  EXPECT_EQ(faults_.creates, 1u);
}

// Every way an atomic replacement can fail leaves the old file whole and no
// temporary file beside it.
TEST_F(FileFaultsTest, FailedReplacementsLeaveTheOldFileWholeAndNoTemporaryFile) {
  dir_.Write("bsnscan.ini", "old content");
  const std::set<std::u16string> before = Names();
  const auto check = [&](const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(dir_.Read("bsnscan.ini"), "old content");
    EXPECT_EQ(Names(), before);
  };

  faults_.fail_write_at = 1;
  {
    const ScopedFileFaults installed(&faults_);
    EXPECT_EQ(WriteFileAtomically(dir_.Wide("bsnscan.ini"), "new").code(), DiskFullError());
  }
  check("write of an atomic replacement");

  faults_ = FileFaults();
  faults_.fail_write_at = 2;  // half-way through a streamed replacement
  {
    const ScopedFileFaults installed(&faults_);
    FileReplacement replacement;
    ASSERT_TRUE(replacement.Begin(dir_.Wide("bsnscan.ini")).ok());
    EXPECT_TRUE(replacement.Write("first half", 10).ok());
    EXPECT_EQ(replacement.Write("second half", 11).code(), DiskFullError());
  }
  check("streamed write");

  faults_ = FileFaults();
  faults_.fail_renames = true;
  faults_.error = kErrorIsFolder;  // any error the system has
  {
    const ScopedFileFaults installed(&faults_);
    EXPECT_EQ(WriteFileAtomically(dir_.Wide("bsnscan.ini"), "new").code(), kErrorIsFolder);
    FileReplacement replacement;
    ASSERT_TRUE(replacement.Begin(dir_.Wide("bsnscan.ini")).ok());
    EXPECT_TRUE(replacement.Write("new", 3).ok());
    EXPECT_EQ(replacement.Commit(true).code(), kErrorIsFolder);
    EXPECT_EQ(MoveFile(dir_.Wide("bsnscan.ini"), dir_.Wide("moved.ini"), true).code(),
              kErrorIsFolder);
  }
  EXPECT_EQ(faults_.renames, 3u);
  check("rename");

  faults_ = FileFaults();
  faults_.fail_creates = true;
  {
    const ScopedFileFaults installed(&faults_);
    EXPECT_FALSE(WriteFileAtomically(dir_.Wide("bsnscan.ini"), "new").ok());
    FileReplacement replacement;
    EXPECT_FALSE(replacement.Begin(dir_.Wide("bsnscan.ini")).ok());
  }
  check("creation");
}

}  // namespace
}  // namespace platform
