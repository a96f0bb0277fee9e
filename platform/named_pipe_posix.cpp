#include <dirent.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "platform/named_pipe.h"
#include "platform/text.h"

namespace platform {

// Sockets need nothing beside their descriptor.
struct PipeIo {};

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

Status Errno(std::string_view operation, const std::string& path) {
  return Status::Error(errno, operation, Utf8ToUtf16(path));
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

// Connects a socket to `path`; returns the socket or -1 with errno. With
// `wait_ms` 0 the attempt does not block and a listener whose queue is full
// gives EAGAIN; otherwise the connect waits up to `wait_ms` for a free slot
// (the kernel wakes it as soon as the listener accepts) and gives EAGAIN when
// none came.
int ConnectOnce(const std::string& path, int wait_ms = 0) {
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int fd =
      ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (wait_ms > 0 ? 0 : SOCK_NONBLOCK), 0);
  if (fd < 0) return -1;
  if (wait_ms > 0) {
    const timeval limit{wait_ms / 1000, (wait_ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  }
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR && wait_ms == 0);
  if (result != 0) {
    const int error = errno == EINPROGRESS ? EAGAIN : errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  if (wait_ms > 0) {  // the limit was for the connect, not for later writes
    const timeval none{0, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
  }
  return fd;
}

// Waits until `fd` is readable or the time is up; 1 ready, 0 timed out, -1 error.
int WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int n = ::poll(&p, 1, timeout_ms < 0 ? -1 : timeout_ms);
    if (n < 0 && errno == EINTR) continue;  // a signal is not the end of the wait
    return n < 0 ? -1 : n;
  }
}

}  // namespace

std::string PipeNamespace() {
  const char* folder = std::getenv("BASTIONEL_PIPE_DIR");
  std::string result = folder != nullptr && *folder != 0 ? folder : "/tmp/bastionel-pipe";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string PipeSystemPath(std::u16string_view name) {
  return PipeNamespace() + "/" + Utf16ToUtf8(name);
}

namespace {

// The paths of the Unix-domain sockets some process has bound, as the
// kernel lists them; false when the list cannot be read.
bool BoundSocketPaths(std::set<std::string>* paths) {
  std::ifstream list("/proc/net/unix");
  if (!list) return false;
  std::string line;
  std::getline(list, line);  // the column titles
  while (std::getline(list, line)) {
    // Num RefCount Protocol Flags Type St Inode [Path]
    std::istringstream fields(line);
    std::string field;
    std::string path;
    for (int i = 0; i < 8 && fields >> field; ++i) {
      if (i == 7) path = field;
    }
    if (!path.empty() && path[0] == '/') paths->insert(path);
  }
  return true;
}

// The part of a numbered name before its number ("DbCln_" of "DbCln_-12"),
// or empty when the name ends in no number.
std::u16string NumberedNamePrefix(std::u16string_view name) {
  size_t end = name.size();
  while (end > 0 && name[end - 1] >= u'0' && name[end - 1] <= u'9') --end;
  if (end == name.size()) return {};
  if (end > 0 && name[end - 1] == u'-') --end;
  return std::u16string(name.substr(0, end));
}

}  // namespace

void RemoveStalePipes(std::u16string_view prefix) {
  if (prefix.empty()) return;
  const std::string folder = PipeNamespace();
  const std::string head = Utf16ToUtf8(prefix);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.starts_with(head)) candidates.push_back(folder + "/" + name);
  }
  ::closedir(dir);
  if (candidates.empty()) return;
  std::set<std::string> bound;
  if (!BoundSocketPaths(&bound)) return;  // unknown: remove nothing
  for (const std::string& path : candidates) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != ::getuid()) {
      continue;
    }
    if (bound.count(path) == 0) ::unlink(path.c_str());
  }
}

PipeStream::PipeStream() = default;

PipeStream::~PipeStream() { Close(); }

PipeStream::PipeStream(PipeStream&& other) noexcept : handle_(other.handle_) {
  other.handle_ = kNone;
}

PipeStream& PipeStream::operator=(PipeStream&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

Status PipeStream::Connect(std::u16string_view name, int busy_wait_ms) {
  Close();
  const std::string path = PipeSystemPath(name);
  int fd = ConnectOnce(path);
  // Every slot of the listener is taken: wait for one to free up, as
  // WaitNamedPipe does, and try again as long as the wait succeeds.
  while (fd < 0 && errno == EAGAIN) {
    if (busy_wait_ms <= 0) {
      errno = EBUSY;
      break;
    }
    fd = ConnectOnce(path, busy_wait_ms);
    if (fd < 0 && errno == EAGAIN) errno = EBUSY;
  }
  if (fd < 0) return Errno("connect", path);
  // Blocking again for the writes; one call, as this runs for every request
  // and every log line.
  int blocking = 0;
  ::ioctl(fd, FIONBIO, &blocking);
  handle_ = fd;
  return Status();
}

Status PipeStream::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::send(Fd(handle_), p, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno("write", "pipe");
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return Status();
}

Status PipeStream::Read(void* buffer, size_t size, size_t* read, int timeout_ms) {
  *read = 0;
  const int ready = WaitReadable(Fd(handle_), timeout_ms);
  if (ready < 0) return Errno("wait", "pipe");
  if (ready == 0) {
    errno = ETIMEDOUT;
    return Errno("read", "pipe");
  }
  for (;;) {
    const ssize_t n = ::recv(Fd(handle_), buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Errno("read", "pipe");
    *read = static_cast<size_t>(n);
    return Status();
  }
}

void PipeStream::Close() {
  if (handle_ != kNone) ::close(Fd(handle_));
  handle_ = kNone;
}

WaitHandle PipeStream::wait_handle() { return WaitHandle(handle_); }

PipeListener::PipeListener() = default;

PipeListener::~PipeListener() { Close(); }

Status PipeListener::Listen(std::u16string_view name, int backlog) {
  Close();
  const std::string folder = PipeNamespace();
  const std::string path = PipeSystemPath(name);
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    errno = ENAMETOOLONG;
    return Errno("listen", path);
  }
  // Reply sockets of killed runs would pile up in the folder otherwise.
  RemoveStalePipes(NumberedNamePrefix(name));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Errno("socket", path);
  // The socket file takes its mode from the socket itself when it is bound,
  // so it is owner-only from the moment it appears, and no second update of
  // the file is needed after bind.
  if (::fchmod(fd, 0600) != 0) {
    const Status status = Errno("socket", path);
    ::close(fd);
    return status;
  }
  // The folder is made when the first bind finds it missing, not tried
  // before every bind: a reply pipe is bound for every request.
  int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (bound != 0 && errno == ENOENT) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      const Status status = Errno("create folder", folder);
      ::close(fd);
      return status;
    }
    bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  if (bound != 0) {
    if (errno != EADDRINUSE) {
      const Status status = Errno("bind", path);
      ::close(fd);
      return status;
    }
    // The name is taken. A socket nobody listens on is what a crashed run
    // leaves behind: remove it. A live listener keeps its name.
    const int probe = ConnectOnce(path);
    if (probe >= 0 || errno == EAGAIN) {
      if (probe >= 0) ::close(probe);
      ::close(fd);
      errno = EADDRINUSE;
      return Errno("listen", path);
    }
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      const Status status = Errno("bind", path);
      ::close(fd);
      return status;
    }
  }
  if (::listen(fd, backlog) != 0) {
    const Status status = Errno("listen", path);
    ::close(fd);
    ::unlink(path.c_str());
    return status;
  }
  handle_ = fd;
  path_ = path;
  return Status();
}

Status PipeListener::Accept(PipeStream* stream, int timeout_ms) {
  stream->Close();
  const int ready = WaitReadable(Fd(handle_), timeout_ms);
  if (ready < 0) return Errno("wait", path_);
  if (ready == 0) {
    errno = ETIMEDOUT;
    return Errno("accept", path_);
  }
  for (;;) {
    const int fd = ::accept4(Fd(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0 && errno == EINTR) continue;
    if (fd < 0) return Errno("accept", path_);
    stream->handle_ = fd;
    return Status();
  }
}

void PipeListener::Close() {
  if (handle_ == kNone) return;
  ::close(Fd(handle_));
  handle_ = kNone;
  ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace platform
