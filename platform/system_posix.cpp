#include <signal.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/system.h"
#include "platform/text.h"

namespace platform {

bool CreateGuid(Guid* guid) {
  uint8_t bytes[16];
  size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(errno);
      return false;
    }
    filled += static_cast<size_t>(n);
  }
  std::memcpy(&guid->data1, bytes, 4);
  std::memcpy(&guid->data2, bytes + 4, 2);
  std::memcpy(&guid->data3, bytes + 6, 2);
  std::memcpy(guid->data4, bytes + 8, 8);
  // Version 4 in the top bits of data3, variant 10xx in data4[0] (RFC 4122).
  guid->data3 = static_cast<uint16_t>((guid->data3 & 0x0FFF) | 0x4000);
  guid->data4[0] = static_cast<uint8_t>((guid->data4[0] & 0x3F) | 0x80);
  return true;
}

uint32_t GetTickCount() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
  return static_cast<uint32_t>(ms);
}

uint32_t GetCurrentThreadId() { return static_cast<uint32_t>(::gettid()); }

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool IsProcessAlive(uint32_t process_id) {
  const auto pid = static_cast<pid_t>(process_id);
  // 0 and negative numbers name process groups, not a process.
  if (pid <= 0) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

Status GetProgramPath(std::u16string* path) {
  // readlink does not say how long the target is; grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return Status::Error(errno, "readlink", u"/proc/self/exe");
    if (static_cast<size_t>(n) < buffer.size()) {
      *path = Utf8ToUtf16(std::string_view(buffer.data(), static_cast<size_t>(n)));
      return Status();
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string_view EnvironmentUsage() {
  return u"Environment:\n"
         u"  BASTIONEL_REGISTRY  the registry file holding the server's key\n"
         u"                      (default /etc/bastionel/registry.reg)\n"
         u"  BASTIONEL_PIPE_DIR  the folder of the server's pipes (default /tmp/bastionel-pipe)\n";
}

// Server core is a Windows edition; no other system has one.
bool IsServerCoreSystem() { return false; }

}  // namespace platform
