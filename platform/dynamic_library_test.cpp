#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using AnswerFunction = int (*)(int);

// The test library is built beside this program.
std::u16string TestModulePath() {
  std::u16string folder;
  EXPECT_TRUE(GetProgramFolder(&folder).ok());
  return folder + u"portelle_test_module.so";
}

TEST(DynamicLibraryTest, LoadsResolvesAndUnloads) {
  DynamicLibrary library;
  ASSERT_TRUE(library.Load(TestModulePath())) << library.error();
  const auto answer = library.GetFunction<AnswerFunction>("PortelleTestModuleAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(1), 43);

  SetLastError(0);
  EXPECT_EQ(library.GetEntryPoint("NoSuchEntryPoint"), nullptr);
  EXPECT_NE(library.error().find("NoSuchEntryPoint"), std::string::npos) << library.error();
  EXPECT_EQ(GetLastError(), ENOENT);

  DynamicLibrary moved = std::move(library);
  EXPECT_FALSE(library.is_loaded());
  ASSERT_TRUE(moved.is_loaded());
  EXPECT_NE(moved.GetEntryPoint("PortelleTestModuleAnswer"), nullptr);
  moved.Unload();
  EXPECT_FALSE(moved.is_loaded());
  EXPECT_EQ(moved.GetEntryPoint("PortelleTestModuleAnswer"), nullptr);
}

TEST(DynamicLibraryTest, MissingFileFailsWithAReason) {
  testing_support::TempFolder dir;
  DynamicLibrary library;
  EXPECT_FALSE(library.Load(dir.Wide("zlibwapi.so")));
  EXPECT_FALSE(library.is_loaded());
  EXPECT_FALSE(library.error().empty());
  EXPECT_EQ(GetLastError(), ENOENT);

  // A file that is not a library fails the same way.
  dir.Write("zlibwapi.so", "not a library");
  EXPECT_FALSE(library.Load(dir.Wide("zlibwapi.so")));
  EXPECT_FALSE(library.error().empty());
  EXPECT_EQ(GetLastError(), ENOEXEC);
}

TEST(DynamicLibraryTest, ADotFolderNameLoadsFromTheCurrentFolder) {
  testing_support::TempFolder dir;
  std::string bytes;
  ASSERT_TRUE(ReadFile(TestModulePath(), &bytes).ok());
  dir.Write("Module.so", bytes);
  std::u16string previous;
  ASSERT_TRUE(GetCurrentFolder(&previous).ok());
  ASSERT_TRUE(SetCurrentFolder(dir.wpath()).ok());
  DynamicLibrary library;
  // Backslashes and any letter case, as a Windows name is written.
  const bool loaded = library.Load(u".\\module.so");
  ASSERT_TRUE(SetCurrentFolder(previous).ok());
  ASSERT_TRUE(loaded) << library.error();
  EXPECT_NE(library.GetEntryPoint("PortelleTestModuleAnswer"), nullptr);
}

TEST(DynamicLibraryTest, WindowsLibraryNamesMapToThisPlatformsFiles) {
  EXPECT_EQ(LibraryFileName(u"zlibwapi.dll"), u"zlibwapi.so");
  EXPECT_EQ(LibraryFileName(u"BsnPfwCommon.DLL"), u"BsnPfwCommon.so");
  EXPECT_EQ(LibraryFileName(u"C:\\Bastionel\\libPackDll.Dll"), u"C:\\Bastionel\\libPackDll.so");
  EXPECT_EQ(LibraryFileName(u"SvcCfgRunner.exe"), u"SvcCfgRunner.exe");
  EXPECT_EQ(LibraryFileName(u"archive.dll.bak"), u"archive.dll.bak");
  EXPECT_EQ(LibraryFileName(u"dll"), u"dll");
}

}  // namespace
}  // namespace platform
