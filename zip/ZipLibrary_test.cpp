#include "zip/ZipLibrary.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/system.h"
#include "tests/support/library_name.h"
#include "tests/support/temp_folder.h"
#include "zip/Unzip.h"
#include "zip/Zip.h"
#include "zip/ZipAU.h"
#include "zip/ZipCommon.h"

namespace {

using testing_support::TempFolder;

// Every operation of every wrapper fails with -1 and writes nothing.
void ExpectEveryOperationFails(const TempFolder& dir) {
  dir.Write("ous.ini", "[ous]");
  const std::string archive = dir.path() + "export.zip";
  for (bool server_core : {false, true}) {
    SCOPED_TRACE(server_core ? "server core" : "desktop");
    platform::ScopedServerCoreForTesting core(server_core);
    CZip zip;
    EXPECT_EQ(zip.Open(archive.c_str(), false), kZipResultNoLibrary);
    EXPECT_EQ(zip.AddFile(dir.path().c_str(), "ous.ini", 9), kZipResultNoLibrary);
    EXPECT_EQ(zip.AddFolder(dir.path().c_str(), false, 9), kZipResultNoLibrary);
    EXPECT_EQ(zip.Close(), kZipResultNoLibrary);
    EXPECT_FALSE(dir.Exists("export.zip"));

    CZipAU zip_au;
    EXPECT_EQ(zip_au.Open(archive.c_str(), false), kZipResultNoLibrary);
    EXPECT_EQ(zip_au.AddFile(dir.path().c_str(), "ous.ini", 9), kZipResultNoLibrary);
    EXPECT_EQ(zip_au.ZipRecursive(".", false, 9), kZipResultNoLibrary);
    EXPECT_EQ(zip_au.Close(), kZipResultNoLibrary);
    EXPECT_FALSE(dir.Exists("export.zip"));

    CUnzip unzip;
    EXPECT_EQ(unzip.Open(archive.c_str()), kZipResultNoLibrary);
    EXPECT_EQ(unzip.ExtractAll(dir.path().c_str(), true, true), kZipResultNoLibrary);
    EXPECT_EQ(unzip.Close(), kZipResultNoLibrary);
  }
}

TEST(ZipLibraryTest, WithoutTheLibrariesEveryOperationFails) {
  TempFolder program_folder;
  zip_library::ScopedLibraryFolderForTesting folder(program_folder.wpath());
  ExpectEveryOperationFails(program_folder);
}

TEST(ZipLibraryTest, ALibraryMissingOneNameIsNotUsed) {
  std::u16string bin;
  ASSERT_TRUE(platform::GetProgramFolder(&bin).ok());
  std::string module;
  ASSERT_TRUE(platform::ReadFile(
                  bin + testing_support::WideLibraryFile(u"zip_partial_test_module.dll"), &module)
                  .ok());
  TempFolder program_folder;
  program_folder.Write(testing_support::LibraryFile("zlibwapi.dll"), module);
  program_folder.Write(testing_support::LibraryFile("libPackDll.dll"), module);
  zip_library::ScopedLibraryFolderForTesting folder(program_folder.wpath());

  // The library loads and has the other names.
  platform::DynamicLibrary library;
  ASSERT_TRUE(zip_library::Load(zip_library::kMinizipLibrary, &library));
  EXPECT_NE(library.GetEntryPoint("zipOpen"), nullptr);
  EXPECT_NE(library.GetEntryPoint("Zip_Open"), nullptr);
  EXPECT_EQ(library.GetEntryPoint("zipCloseFileInZip"), nullptr);

  ExpectEveryOperationFails(program_folder);
}

TEST(ZipLibraryTest, LibrariesComeFromTheProgramsFolder) {
  std::u16string bin;
  ASSERT_TRUE(platform::GetProgramFolder(&bin).ok());
  for (std::u16string_view name : {zip_library::kMinizipLibrary, zip_library::kPackLibrary}) {
    platform::DynamicLibrary library;
    ASSERT_TRUE(zip_library::Load(name, &library)) << library.error();
    // Both make minizip's reading functions available by name.
    EXPECT_NE(library.GetEntryPoint("unzOpen"), nullptr);
    EXPECT_NE(library.GetEntryPoint("unzCloseCurrentFile"), nullptr);
  }
}

}  // namespace
