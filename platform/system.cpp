#include "platform/system.h"

namespace platform {
namespace {

// -1: ask the system; 0 or 1: the answer a test installed.
int g_server_core_override = -1;

}  // namespace

bool IsServerCoreSystem();  // per-OS (system_posix.cpp)

bool IsServerCore() {
  return g_server_core_override >= 0 ? g_server_core_override != 0 : IsServerCoreSystem();
}

ScopedServerCoreForTesting::ScopedServerCoreForTesting(bool server_core)
    : previous_(g_server_core_override) {
  g_server_core_override = server_core ? 1 : 0;
}

ScopedServerCoreForTesting::~ScopedServerCoreForTesting() { g_server_core_override = previous_; }

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
