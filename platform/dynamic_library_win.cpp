// Run-time libraries on Windows: LoadLibraryExW with a search that never
// looks in the current folder or along PATH, GetProcAddress, FreeLibrary.
#include <windows.h>

#include <utility>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/status.h"
#include "platform/text.h"

namespace platform {

const std::u16string_view kLibrarySuffix = u".dll";
const int kErrorLibraryNotFound = ERROR_MOD_NOT_FOUND;
const int kErrorNotALibrary = ERROR_BAD_EXE_FORMAT;
const int kErrorEntryPointNotFound = ERROR_PROC_NOT_FOUND;

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The full path of a name with a folder, taken against the current folder
// as every other file name is.
bool FullPath(const std::u16string& name, std::u16string* full) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n =
        ::GetFullPathNameW(Wide(name), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0) return false;
    if (n < buffer.size()) {
      full->assign(reinterpret_cast<const char16_t*>(buffer.data()), n);
      return true;
    }
    buffer.resize(n);
  }
}

}  // namespace

bool DynamicLibrary::Load(std::u16string_view path) {
  Unload();
  std::u16string name(path);
  for (char16_t& c : name) {
    if (c == u'/') c = u'\\';
  }
  HMODULE module = nullptr;
  DWORD error = ERROR_SUCCESS;
  if (name.find(u'\\') == std::u16string::npos && name.find(u':') == std::u16string::npos) {
    // A bare name: the program's folder, then the system folder.
    module = ::LoadLibraryExW(Wide(name), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  } else {
    std::u16string full;
    if (!FullPath(name, &full)) {
      error = ::GetLastError();
    } else {
      module = ::LoadLibraryExW(
          Wide(full), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    }
  }
  if (module == nullptr) {
    if (error == ERROR_SUCCESS) error = ::GetLastError();
    // A missing file is told apart from a missing dependency by the loader
    // only in its text; both are "module not found" here, as on Windows.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      error = ERROR_MOD_NOT_FOUND;
    }
    error_ =
        "LoadLibraryExW '" + Utf16ToUtf8(name) + "': " + SystemErrorText(static_cast<int>(error));
    ::SetLastError(error);
    return false;
  }
  handle_ = module;
  error_.clear();
  return true;
}

void DynamicLibrary::Unload() {
  if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

DynamicLibrary::EntryPoint DynamicLibrary::GetEntryPoint(const char* name) {
  if (handle_ == nullptr) {
    error_ = "no library loaded";
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const FARPROC symbol = ::GetProcAddress(static_cast<HMODULE>(handle_), name);
  if (symbol == nullptr) {
    const DWORD error = ::GetLastError();
    error_ =
        std::string("GetProcAddress ") + name + ": " + SystemErrorText(static_cast<int>(error));
    ::SetLastError(error);
    return nullptr;
  }
  return reinterpret_cast<EntryPoint>(symbol);
}

}  // namespace platform
