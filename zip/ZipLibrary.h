// Loading of the zip libraries the wrappers call by name. Each is loaded from
// the running program's own folder, never along the system's search path, so
// that the program uses the libraries shipped beside it.
#ifndef PORTELLE_ZIP_ZIPLIBRARY_H_
#define PORTELLE_ZIP_ZIPLIBRARY_H_

#include <string>
#include <string_view>

#include "platform/dynamic_library.h"

namespace zip_library {

// minizip's zip and unzip functions, and the server's own zip library.
inline constexpr std::u16string_view kMinizipLibrary = u"zlibwapi.dll";
inline constexpr std::u16string_view kPackLibrary = u"libPackDll.dll";

// Loads the library that is `windows_name` on Windows from the program's
// folder; false when it is missing or cannot be loaded.
bool Load(std::u16string_view windows_name, platform::DynamicLibrary* library);

// The same from `folder` (with its trailing separator).
bool LoadFromFolder(std::u16string_view folder, std::u16string_view windows_name,
                    platform::DynamicLibrary* library);

// Resolves one entry point into `*function`; false when the library lacks it.
template <typename Function>
bool Resolve(platform::DynamicLibrary& library, const char* name, Function* function) {
  *function = library.GetFunction<Function>(name);
  return *function != nullptr;
}

// Makes Load look in `folder` (with its trailing separator) instead of the
// program's folder for the lifetime of this object.
class ScopedLibraryFolderForTesting {
 public:
  explicit ScopedLibraryFolderForTesting(std::u16string folder);
  ~ScopedLibraryFolderForTesting();
  ScopedLibraryFolderForTesting(const ScopedLibraryFolderForTesting&) = delete;
  ScopedLibraryFolderForTesting& operator=(const ScopedLibraryFolderForTesting&) = delete;

 private:
  std::u16string m_previous;
};

}  // namespace zip_library

#endif  // PORTELLE_ZIP_ZIPLIBRARY_H_
