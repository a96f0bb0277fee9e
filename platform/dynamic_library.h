// Run-time loading of a shared library and lookup of its entry points by
// name, as LoadLibrary and GetProcAddress do on Windows. A library that is
// "X.dll" on Windows is the file LibraryFileName("X.dll") in the same folder:
// "X.so" on POSIX systems, "X.dll" itself on Windows.
#ifndef PORTELLE_PLATFORM_DYNAMIC_LIBRARY_H_
#define PORTELLE_PLATFORM_DYNAMIC_LIBRARY_H_

#include <string>
#include <string_view>

namespace platform {

// The suffix of a loadable library's file name on this platform: ".so" or
// ".dll".
extern const std::u16string_view kLibrarySuffix;

// The errors Load and GetEntryPoint set, in the system's numbering: no such
// library file (ENOENT; ERROR_MOD_NOT_FOUND, 126), a file that is no library
// (ENOEXEC; ERROR_BAD_EXE_FORMAT, 193), no such entry point (ENOENT;
// ERROR_PROC_NOT_FOUND, 127).
extern const int kErrorLibraryNotFound;
extern const int kErrorNotALibrary;
extern const int kErrorEntryPointNotFound;

// `windows_name` with a final ".dll" (any letter case) replaced by
// kLibrarySuffix; any other name, and every name on Windows, unchanged.
std::u16string LibraryFileName(std::u16string_view windows_name);

class DynamicLibrary {
 public:
  // Any function pointer; cast it to the entry point's real type.
  using EntryPoint = void (*)();

  DynamicLibrary() = default;
  ~DynamicLibrary();  // unloads
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

  // Loads the library file `path` (resolved like every file name, see
  // file_system.h), binding all its symbols now and keeping them out of the
  // global namespace. A library loaded before is unloaded first. A name
  // without a folder is looked up along the system's library path; on
  // Windows that is the program's folder and the system folder, never the
  // current folder or PATH, and a library's own dependencies are looked for
  // in its folder, the program's folder and the system folder. On failure
  // returns false, error() says why and GetLastError() holds the system
  // error (kErrorLibraryNotFound for a missing file, kErrorNotALibrary for a
  // file that is no library).
  bool Load(std::u16string_view path);
  bool is_loaded() const { return handle_ != nullptr; }
  void Unload();

  // The entry point `name`; nullptr, with error() set, when the library has
  // none (GetLastError() kErrorEntryPointNotFound) or nothing is loaded
  // (kErrorInvalidParameter).
  EntryPoint GetEntryPoint(const char* name);

  template <typename Function>
  Function GetFunction(const char* name) {
    return reinterpret_cast<Function>(GetEntryPoint(name));
  }

  // The system's text for the last failure of Load or GetEntryPoint.
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_DYNAMIC_LIBRARY_H_
