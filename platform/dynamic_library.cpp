#include "platform/dynamic_library.h"

#include <utility>

#include "platform/text.h"

namespace platform {

std::u16string LibraryFileName(std::u16string_view windows_name) {
  constexpr std::u16string_view kWindowsSuffix = u".dll";
  if (EqualsIgnoreCase(kLibrarySuffix, kWindowsSuffix) ||
      windows_name.size() < kWindowsSuffix.size() ||
      !EqualsIgnoreCase(windows_name.substr(windows_name.size() - kWindowsSuffix.size()),
                        kWindowsSuffix)) {
    return std::u16string(windows_name);
  }
  std::u16string name(windows_name.substr(0, windows_name.size() - kWindowsSuffix.size()));
  name += kLibrarySuffix;
  return name;
}

// Loading and unloading are each system's own.
DynamicLibrary::~DynamicLibrary() { Unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

}  // namespace platform
