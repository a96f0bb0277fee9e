// Private-profile failures that come from POSIX permission bits: a folder
// or file the process may not write (Windows has no such bits, and its
// read-only attribute does not guard a folder).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/profile.h"
#include "platform/status.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testing_support::TempFolder;

std::u16string ReadValue(const std::u16string& file, const char16_t* section, const char16_t* key) {
  char16_t buffer[1024];
  const uint32_t n = GetPrivateProfileStringW(section, key, u"DEF", buffer, 1024, file.c_str());
  return std::u16string(buffer, n);
}

TEST(ProfilePosixTest, UnwritableFilesAndFoldersReportTheReasonAndKeepTheFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads and writes everything";
  namespace fs = std::filesystem;
  TempFolder dir_;
  dir_.Write("ro/f.ini", "[s]\r\nk=old\r\n");
  const std::u16string read_only = dir_.Wide("ro/f.ini");
  EXPECT_EQ(ReadValue(read_only, u"s", u"k"), u"old");
  fs::permissions(dir_.Native("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"new", read_only.c_str()));
  EXPECT_EQ(GetLastError(), EACCES);
  EXPECT_EQ(ReadValue(read_only, u"s", u"k"), u"old");  // the failed edit is not cached
  fs::permissions(dir_.Native("ro"), fs::perms::owner_all);

  dir_.Write("locked.ini", "[s]\r\nk=secret\r\n");
  fs::permissions(dir_.Native("locked.ini"), fs::perms::none);
  const std::u16string locked = dir_.Wide("locked.ini");
  EXPECT_EQ(ReadValue(locked, u"s", u"k"), u"DEF");
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k2", u"v", locked.c_str()));
  EXPECT_EQ(GetLastError(), EACCES);
  fs::permissions(dir_.Native("locked.ini"), fs::perms::owner_read);
  EXPECT_EQ(dir_.Read("locked.ini"), "[s]\r\nk=secret\r\n");
}

}  // namespace
}  // namespace platform
