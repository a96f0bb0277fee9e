#include "platform/system.h"

namespace platform {

Status GetProgramFolder(std::u16string* folder) {
  std::u16string path;
  const Status status = GetProgramPath(&path);
  if (status.ok()) *folder = std::u16string(FolderOfPath(path));
  return status;
}

std::u16string_view FolderOfPath(std::u16string_view path) {
  const size_t last = path.find_last_of(u"/\\");
  return last == std::u16string_view::npos ? std::u16string_view() : path.substr(0, last + 1);
}

}  // namespace platform
