// Process-level services: GUIDs, the tick count, thread and process ids,
// where the running program lies and what kind of system it runs on.
#ifndef PORTELLE_PLATFORM_SYSTEM_H_
#define PORTELLE_PLATFORM_SYSTEM_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

// A GUID in the Windows layout.
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};

// A new random (version 4) GUID from the kernel's random generator; false,
// with GetLastError() set, when the generator fails.
bool CreateGuid(Guid* guid);

// Milliseconds of the monotonic clock, wrapping at 2^32 like the Windows tick
// count.
uint32_t GetTickCount();

// The calling thread's kernel thread id, and the process id.
uint32_t GetCurrentThreadId();
uint32_t GetCurrentProcessId();

// True while a process with this ID exists (also one of another user).
bool IsProcessAlive(uint32_t process_id);

// The running program's full file path.
Status GetProgramPath(std::u16string* path);

// The folder of the running program, with its trailing separator.
Status GetProgramFolder(std::u16string* folder);

// The part of `path` up to and including its last separator ('/' or '\\');
// empty when it has none.
std::u16string_view FolderOfPath(std::u16string_view path);

// The lines of a program's usage text on the environment variables through
// which this system's platform services find the server (its registry store
// and its pipes), each ending in a line break; empty where the server is
// found without any.
std::u16string_view EnvironmentUsage();

// True on a server-core edition of Windows (no desktop shell), where the zip
// wrappers use the server's own zip library instead of zlibwapi. Never true
// here. Asked afresh on every call.
bool IsServerCore();

// Makes IsServerCore() answer `server_core` for the lifetime of this object,
// so that tests can take either road.
class ScopedServerCoreForTesting {
 public:
  explicit ScopedServerCoreForTesting(bool server_core);
  ~ScopedServerCoreForTesting();
  ScopedServerCoreForTesting(const ScopedServerCoreForTesting&) = delete;
  ScopedServerCoreForTesting& operator=(const ScopedServerCoreForTesting&) = delete;

 private:
  int previous_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_SYSTEM_H_
