#include "zip/ZipLibrary.h"

#include <utility>

#include "platform/system.h"

namespace zip_library {
namespace {

// Empty: the program's folder.
std::u16string g_folder_for_testing;

}  // namespace

bool Load(std::u16string_view windows_name, platform::DynamicLibrary* library) {
  std::u16string folder = g_folder_for_testing;
  if (folder.empty() && !platform::GetProgramFolder(&folder).ok()) return false;
  return LoadFromFolder(folder, windows_name, library);
}

bool LoadFromFolder(std::u16string_view folder, std::u16string_view windows_name,
                    platform::DynamicLibrary* library) {
  return library->Load(std::u16string(folder) + platform::LibraryFileName(windows_name));
}

ScopedLibraryFolderForTesting::ScopedLibraryFolderForTesting(std::u16string folder)
    : m_previous(std::exchange(g_folder_for_testing, std::move(folder))) {}

ScopedLibraryFolderForTesting::~ScopedLibraryFolderForTesting() {
  g_folder_for_testing = std::move(m_previous);
}

}  // namespace zip_library
