#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/status.h"

namespace platform {

const std::u16string_view kLibrarySuffix = u".so";
const int kErrorLibraryNotFound = ENOENT;
const int kErrorNotALibrary = ENOEXEC;
const int kErrorEntryPointNotFound = ENOENT;

bool DynamicLibrary::Load(std::u16string_view path) {
  Unload();
  const std::string native = NativePath(path);
  handle_ = ::dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* text = ::dlerror();
    error_ = text != nullptr ? text : "dlopen failed";
    // dlopen reports only a text; errno after it is not reliable. The
    // system error is what opening the file gives, or ENOEXEC for a file
    // that opens but is no library.
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    SetLastError(fd < 0 ? errno : ENOEXEC);
    if (fd >= 0) ::close(fd);
    return false;
  }
  error_.clear();
  return true;
}

void DynamicLibrary::Unload() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

DynamicLibrary::EntryPoint DynamicLibrary::GetEntryPoint(const char* name) {
  if (handle_ == nullptr) {
    error_ = "no library loaded";
    SetLastError(EINVAL);
    return nullptr;
  }
  ::dlerror();  // dlsym reports failure only through dlerror
  void* symbol = ::dlsym(handle_, name);
  if (symbol == nullptr) {
    const char* text = ::dlerror();
    error_ = text != nullptr ? text : std::string("no entry point ") + name;
    SetLastError(ENOENT);
    return nullptr;
  }
  return reinterpret_cast<EntryPoint>(symbol);
}

}  // namespace platform
