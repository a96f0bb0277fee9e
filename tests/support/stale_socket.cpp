#include "tests/support/stale_socket.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace testing_support {

#ifdef _WIN32

// A Windows named pipe ends with its last handle: a crashed server leaves
// nothing behind, which is the state this stands for.
bool LeaveStaleSocket(const std::string&) { return true; }

#else

bool LeaveStaleSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

#endif

}  // namespace testing_support
