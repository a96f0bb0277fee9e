// Run-time loading of a shared library and lookup of its entry points by
// name, as LoadLibrary and GetProcAddress do on Windows. A library that is
// "X.dll" on Windows is the file LibraryFileName("X.dll") (here "X.so") in
// the same folder.
#ifndef PORTELLE_PLATFORM_DYNAMIC_LIBRARY_H_
#define PORTELLE_PLATFORM_DYNAMIC_LIBRARY_H_

#include <string>
#include <string_view>

namespace platform {

// The suffix of a loadable library's file name on this platform.
inline constexpr std::u16string_view kLibrarySuffix = u".so";

// `windows_name` with a final ".dll" (any letter case) replaced by
// kLibrarySuffix; any other name unchanged.
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
  // without a folder is looked up along the system's library path. On
  // failure returns false, error() says why and GetLastError() holds the
  // system error (ENOENT for a missing file, ENOEXEC for a file that is no
  // library).
  bool Load(std::u16string_view path);
  bool is_loaded() const { return handle_ != nullptr; }
  void Unload();

  // The entry point `name`; nullptr, with error() set, when the library has
  // none (GetLastError() ENOENT) or nothing is loaded (EINVAL).
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
