// What the file layer does on Windows only: native names, FILETIMEs, file
// identities, owner-only access lists, the system's temporary folder and the
// files of ended processes.
#include <windows.h>
// <windows.h> turns these into macros of the ...W functions, which would
// rename the file layer's own.
#undef CopyFile
#undef MoveFile
#undef DeleteFile

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testing_support::TempFolder;

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

class FileSystemWinTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GetCurrentFolder(&saved_folder_).ok()); }
  void TearDown() override { ASSERT_TRUE(SetCurrentFolder(saved_folder_).ok()); }

  TempFolder dir_;
  std::u16string saved_folder_;
};

TEST_F(FileSystemWinTest, NativePathsTakeBackslashesAndTheSystemCodePage) {
  EXPECT_EQ(NativePath(u"C:/Bastionel/Private\\bsnserver.ini"),
            "C:\\Bastionel\\Private\\bsnserver.ini");
  EXPECT_EQ(NativePath(std::string_view("private/PFW/")), "private\\PFW\\");
  EXPECT_EQ(NativeWidePath(u"C:/x/\u0416.ini"), u"C:\\x\\\u0416.ini");  // nothing lost
  if (::GetACP() == 1252) {
    EXPECT_EQ(NativePath(u"C:\\Donn\u00e9es\\\u20ac.ini"),
              "C:\\Donn\xe9"
              "es\\\x80.ini");
  }
}

TEST_F(FileSystemWinTest, NamesIgnoreLetterCase) {
  dir_.Write("Admin/ALERT.MSG", "alert");
  ASSERT_TRUE(SetCurrentFolder(dir_.wpath()).ok());
  EXPECT_TRUE(PathExists(u"admin\\Alert.msg"));
  std::string bytes;
  ASSERT_TRUE(ReadFile(u"ADMIN\\alert.msg", &bytes).ok());
  EXPECT_EQ(bytes, "alert");
  std::u16string full;
  ASSERT_TRUE(GetFullPath(u"admin\\alert.msg", &full).ok());
  EXPECT_TRUE(EqualsIgnoreCase(full, NativeWidePath(dir_.Wide("Admin/ALERT.MSG"))));
  EXPECT_EQ(full.substr(full.size() - 15), u"Admin\\ALERT.MSG");  // spelt as on disk
}

// The times are FILETIMEs underneath: 100 ns steps from 1601.
TEST_F(FileSystemWinTest, TimesAreFileTimesFrom1601) {
  dir_.Write("timed.bin", "abc");
  ASSERT_TRUE(SetFileTimes(dir_.Wide("timed.bin"), 0, 1588766890123456700).ok());
  const HANDLE file = ::CreateFileW(W(NativeWidePath(dir_.Wide("timed.bin"))), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME accessed;
  FILETIME modified;
  ASSERT_TRUE(::GetFileTime(file, nullptr, &accessed, &modified));
  ::CloseHandle(file);
  // 1970-01-01 is 116444736000000000 steps after 1601-01-01.
  EXPECT_EQ(static_cast<uint64_t>(accessed.dwHighDateTime) << 32 | accessed.dwLowDateTime,
            116444736000000000u);
  EXPECT_EQ(static_cast<uint64_t>(modified.dwHighDateTime) << 32 | modified.dwLowDateTime,
            132332404901234567u);
  FileInfo info;
  ASSERT_TRUE(GetFileInfo(dir_.Wide("timed.bin"), &info).ok());
  EXPECT_EQ(info.modified_ns, 1588766890123456700);
}

// The device and inode are the volume serial number and the file index: two
// names of one file have the same, an atomic replace brings a new file.
TEST_F(FileSystemWinTest, IdentityIsTheVolumeAndTheFileIndex) {
  dir_.Write("a.ini", "a");
  ASSERT_TRUE(::CreateHardLinkW(W(NativeWidePath(dir_.Wide("b.ini"))),
                                W(NativeWidePath(dir_.Wide("a.ini"))), nullptr));
  FileInfo a;
  FileInfo b;
  ASSERT_TRUE(GetFileInfo(dir_.Wide("a.ini"), &a).ok());
  ASSERT_TRUE(GetFileInfo(dir_.Wide("b.ini"), &b).ok());
  EXPECT_EQ(a.device, b.device);
  EXPECT_EQ(a.inode, b.inode);
  EXPECT_NE(a.inode, 0u);

  FileInfo written;
  ASSERT_TRUE(WriteFileAtomically(dir_.Wide("a.ini"), "new", &written).ok());
  FileInfo now;
  ASSERT_TRUE(GetFileInfo(dir_.Wide("A.INI"), &now).ok());
  EXPECT_EQ(now.inode, written.inode);
  EXPECT_NE(now.inode, a.inode);
  EXPECT_EQ(dir_.Read("b.ini"), "a");  // the other name keeps the old file
}

// The owner-only access list is given at creation (Wine does not keep
// lists, so what is checked is that every way of asking for it works).
TEST_F(FileSystemWinTest, OwnerOnlyFilesAreCreatedAndUsable) {
  File file;
  ASSERT_TRUE(file.Open(dir_.Wide("new.dat"), File::Mode::kCreateNew, Access::kOwnerOnly).ok());
  ASSERT_TRUE(file.Write("secret", 6).ok());
  ASSERT_TRUE(file.Close().ok());
  dir_.Write("old.dat", "old");
  ASSERT_TRUE(file.Open(dir_.Wide("old.dat"), File::Mode::kCreateAlways, Access::kOwnerOnly).ok());
  ASSERT_TRUE(file.Close().ok());
  ASSERT_TRUE(file.Open(dir_.Wide("log.dat"), File::Mode::kAppend, Access::kOwnerOnly).ok());
  ASSERT_TRUE(file.Close().ok());
  ASSERT_TRUE(
      WriteFileAtomically(dir_.Wide("atomic.ini"), "new", nullptr, Access::kOwnerOnly).ok());
  FileReplacement replacement;
  ASSERT_TRUE(replacement.Begin(dir_.Wide("replaced.ini"), Access::kOwnerOnly).ok());
  ASSERT_TRUE(replacement.Write("r", 1).ok());
  ASSERT_TRUE(replacement.Commit(true).ok());

  EXPECT_EQ(dir_.Read("new.dat"), "secret");
  EXPECT_EQ(dir_.Read("old.dat"), "");
  EXPECT_EQ(dir_.Read("atomic.ini"), "new");
  EXPECT_EQ(dir_.Read("replaced.ini"), "r");
  // The owner can still write, replace and delete what it made owner-only.
  ASSERT_TRUE(file.Open(dir_.Wide("log.dat"), File::Mode::kAppend).ok());
  ASSERT_TRUE(file.Write("more", 4).ok());
  ASSERT_TRUE(file.Close().ok());
  EXPECT_EQ(dir_.Read("log.dat"), "more");
  ASSERT_TRUE(WriteFileAtomically(dir_.Wide("new.dat"), "again").ok());
  EXPECT_EQ(dir_.Read("new.dat"), "again");
  const Status deleted = DeleteFile(dir_.Wide("atomic.ini"));
  EXPECT_TRUE(deleted.ok()) << deleted.message();
}

TEST_F(FileSystemWinTest, TemporaryFilesAreNewAndInTheSystemsTemporaryFolder) {
  dir_.MakeFolder("tmp");
  const std::string tmp = dir_.Native("tmp");
  testing_support::ScopedEnvironmentVariable tmp_variable("TMP", tmp);
  testing_support::ScopedEnvironmentVariable temp_variable("TEMP", tmp);
  const std::u16string folder = TemporaryFolder();
  EXPECT_TRUE(EqualsIgnoreCase(folder, NativeWidePath(dir_.Wide("tmp/"))));
  std::u16string first_path, second_path;
  File first, second;
  ASSERT_TRUE(CreateTemporaryFile(u"mstmp", &first_path, &first).ok());
  ASSERT_TRUE(CreateTemporaryFile(u"mstmp", &second_path, &second).ok());
  EXPECT_NE(first_path, second_path);
  EXPECT_EQ(first_path.substr(0, folder.size() + 5), folder + u"mstmp");
  ASSERT_TRUE(first.Write("body", 4).ok());
  ASSERT_TRUE(first.Close().ok());
  std::string bytes;
  ASSERT_TRUE(ReadFile(first_path, &bytes).ok());
  EXPECT_EQ(bytes, "body");
}

TEST_F(FileSystemWinTest, FilesOfEndedProcessesAreRemovedAndOthersStay) {
  // A child that has ended; its handle stays open so that its ID is not
  // given to another process during the test.
  wchar_t command[] = L"cmd.exe /c exit 0";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &child));
  ::WaitForSingleObject(child.hProcess, INFINITE);
  const std::string ended = std::to_string(child.dwProcessId);
  const std::string running = std::to_string(::GetCurrentProcessId());

  dir_.Write(".a.zip." + ended + ".part.zip", "left");
  dir_.Write(".a.zip." + running + ".part.zip", "in progress");
  dir_.Write(".a.zip.12x.part.zip", "not a process ID");
  dir_.Write(".b.zip." + ended + ".part.zip", "another archive's");
  dir_.MakeFolder(".a.zip." + ended + "0.part.zip");  // folders are never removed
  RemoveFilesOfEndedProcesses(dir_.wpath(), u".a.zip.", u".part.zip");
  ::CloseHandle(child.hProcess);
  ::CloseHandle(child.hThread);
  EXPECT_FALSE(dir_.Exists(".a.zip." + ended + ".part.zip"));
  EXPECT_TRUE(dir_.Exists(".a.zip." + running + ".part.zip"));
  EXPECT_TRUE(dir_.Exists(".a.zip.12x.part.zip"));
  EXPECT_TRUE(dir_.Exists(".b.zip." + ended + ".part.zip"));
  EXPECT_TRUE(dir_.Exists(".a.zip." + ended + "0.part.zip"));
}

}  // namespace
}  // namespace platform
