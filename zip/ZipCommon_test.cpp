#include "zip/ZipCommon.h"

#include <gtest/gtest.h>

#include "zip/Unzip.h"

namespace {

TEST(NormalizeArchiveNameTest, AddsZipUnlessTheLastDotEndsInZip) {
  EXPECT_EQ(NormalizeArchiveName("export"), "export.Zip");
  EXPECT_EQ(NormalizeArchiveName("a.ZIP"), "a.ZIP");
  EXPECT_EQ(NormalizeArchiveName("C:\\SkvaMigrate.zip"), "C:\\SkvaMigrate.zip");
  EXPECT_EQ(NormalizeArchiveName("backup.zip.old"), "backup.zip.old.Zip");
  EXPECT_EQ(NormalizeArchiveName("dir.zip\\export"), "dir.zip\\export.Zip");
  EXPECT_EQ(NormalizeArchiveName("archive.zipx"), "archive.zipx.Zip");
  EXPECT_EQ(NormalizeArchiveName("trailing."), "trailing..Zip");
  EXPECT_EQ(NormalizeArchiveName(""), ".Zip");
}

TEST(NormalizeArchiveNameTest, LongNamesAreCut) {
  const std::string long_name(300, 'n');
  EXPECT_EQ(NormalizeArchiveName(long_name), std::string(256, 'n') + ".Zip");
  const std::string long_zip = std::string(300, 'n') + ".zip";
  EXPECT_EQ(NormalizeArchiveName(long_zip), long_zip.substr(0, 260));
}

TEST(IsSafeMemberNameTest, NamesThatClimbOutAreRefused) {
  for (const char* name : {"..\\x", "..", "a\\..\\..\\x", "a\\..", "\\abs", "\\\\server\\share",
                           "C:\\x", "C:x", "c:", "...\\x", ".. \\x", "a\\. .\\..\\x"}) {
    EXPECT_FALSE(IsSafeMemberName(name)) << name;
  }
  for (const char* name : {"skva.dat", "Private\\PFW\\a.ini", "a\\.\\b", "..a", "a..\\b", ".hidden",
                           "a\\\\b", "file:stream", ""}) {
    EXPECT_TRUE(IsSafeMemberName(name)) << name;
  }
}

}  // namespace
