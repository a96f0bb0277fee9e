#include "platform/file_system.h"

namespace platform {

ScopedCurrentFolder::ScopedCurrentFolder(std::u16string_view folder) {
  status_ = GetCurrentFolder(&previous_);
  restore_ = status_.ok();
  if (restore_) status_ = SetCurrentFolder(folder);
}

ScopedCurrentFolder::~ScopedCurrentFolder() {
  if (restore_) SetCurrentFolder(previous_);
}

}  // namespace platform
