#include "platform/file_system.h"

#include <utility>

namespace platform {

ScopedCurrentFolder::ScopedCurrentFolder(std::u16string_view folder) {
  status_ = GetCurrentFolder(&previous_);
  restore_ = status_.ok();
  if (restore_) status_ = SetCurrentFolder(folder);
}

ScopedCurrentFolder::~ScopedCurrentFolder() {
  if (restore_) SetCurrentFolder(previous_);
}

// The handle is the system's file descriptor or HANDLE; closing it is each
// system's own.
File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_), name_(std::move(other.name_)) {
  other.handle_ = kNoHandle;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    name_ = std::move(other.name_);
    other.handle_ = kNoHandle;
  }
  return *this;
}

}  // namespace platform
