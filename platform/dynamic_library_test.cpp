#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using AnswerFunction = int (*)(int);

// A library's file name on this platform.
std::u16string Library(std::u16string_view stem) {
  return std::u16string(stem) + std::u16string(kLibrarySuffix);
}
std::string NarrowLibrary(std::string_view stem) {
  return std::string(stem) + Utf16ToUtf8(kLibrarySuffix);
}

// The test library is built beside this program.
std::u16string TestModulePath() {
  std::u16string folder;
  EXPECT_TRUE(GetProgramFolder(&folder).ok());
  return folder + Library(u"portelle_test_module");
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
  EXPECT_EQ(GetLastError(), kErrorEntryPointNotFound);

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
  EXPECT_FALSE(library.Load(dir.Wide(NarrowLibrary("zlibwapi"))));
  EXPECT_FALSE(library.is_loaded());
  EXPECT_FALSE(library.error().empty());
  EXPECT_EQ(GetLastError(), kErrorLibraryNotFound);

  // A file that is not a library fails the same way.
  dir.Write(NarrowLibrary("zlibwapi"), "not a library");
  EXPECT_FALSE(library.Load(dir.Wide(NarrowLibrary("zlibwapi"))));
  EXPECT_FALSE(library.error().empty());
  EXPECT_EQ(GetLastError(), kErrorNotALibrary);
}

TEST(DynamicLibraryTest, ADotFolderNameLoadsFromTheCurrentFolder) {
  testing_support::TempFolder dir;
  std::string bytes;
  ASSERT_TRUE(ReadFile(TestModulePath(), &bytes).ok());
  dir.Write(NarrowLibrary("Module"), bytes);
  std::u16string previous;
  ASSERT_TRUE(GetCurrentFolder(&previous).ok());
  ASSERT_TRUE(SetCurrentFolder(dir.wpath()).ok());
  DynamicLibrary library;
  // Backslashes and any letter case, as a Windows name is written.
  const bool loaded = library.Load(u".\\" + Library(u"module"));
  ASSERT_TRUE(SetCurrentFolder(previous).ok());
  ASSERT_TRUE(loaded) << library.error();
  EXPECT_NE(library.GetEntryPoint("PortelleTestModuleAnswer"), nullptr);
}

TEST(DynamicLibraryTest, WindowsLibraryNamesMapToThisPlatformsFiles) {
  // On Windows a library keeps its name, in the letter case given.
  const bool windows = kLibrarySuffix == u".dll";
  EXPECT_EQ(LibraryFileName(u"zlibwapi.dll"), Library(u"zlibwapi"));
  EXPECT_EQ(LibraryFileName(u"BsnPfwCommon.DLL"),
            windows ? u"BsnPfwCommon.DLL" : Library(u"BsnPfwCommon"));
  EXPECT_EQ(LibraryFileName(u"C:\\Bastionel\\libPackDll.Dll"),
            windows ? u"C:\\Bastionel\\libPackDll.Dll" : Library(u"C:\\Bastionel\\libPackDll"));
  EXPECT_EQ(LibraryFileName(u"SvcCfgRunner.exe"), u"SvcCfgRunner.exe");
  EXPECT_EQ(LibraryFileName(u"archive.dll.bak"), u"archive.dll.bak");
  EXPECT_EQ(LibraryFileName(u"dll"), u"dll");
}

}  // namespace
}  // namespace platform
