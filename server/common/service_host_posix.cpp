// Linux: stop requests are SIGTERM and SIGINT read through a signalfd; the
// background is a fork.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/status.h"
#include "platform/text.h"
#include "server/common/service_host.h"

namespace stand_in {

const bool kCanRunInBackground = true;

namespace {

std::string ErrnoText(std::string_view operation) {
  return platform::Status::Error(errno, operation).message();
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Points standard input, output and error at /dev/null: a background service
// must not hold its starter's terminal or pipes open.
bool DetachStandardStreams() {
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return false;
  bool ok = true;
  for (int fd = 0; fd <= 2; ++fd) ok = ::dup2(null, fd) >= 0 && ok;
  ::close(null);
  return ok;
}

}  // namespace

void CServiceHost::ReleaseStopRequests() {
  if (m_stop.is_valid()) ::close(static_cast<int>(m_stop.value()));
  m_stop = platform::WaitHandle();
}

bool CServiceHost::CatchStopRequests(std::string* error) {
  // Writes to a client or a reader that has gone away fail with EPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  // A blocked signal that is ignored is discarded rather than queued, and the
  // starter may have left SIGTERM or SIGINT ignored.
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  if (::sigprocmask(SIG_BLOCK, &stop_signals, nullptr) != 0) {
    *error = ErrnoText("block stop signals");
    return false;
  }
  const int fd = ::signalfd(-1, &stop_signals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd < 0) {
    *error = ErrnoText("signalfd");
    return false;
  }
  m_stop = platform::WaitHandle(fd);
  return true;
}

bool CServiceHost::AnnounceInBackground(const std::string& pipe_path, const HostOptions& options,
                                        std::string* error) {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) {
    *error = ErrnoText("pipe");
    return false;
  }
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t child = ::fork();
  if (child < 0) {
    *error = ErrnoText("fork");
    ::close(ready[0]);
    ::close(ready[1]);
    return false;
  }
  if (child > 0) {
    // The parent only reports: the child owns the socket, so no destructor
    // may run here (it would remove the socket).
    ::close(ready[1]);
    char byte = 0;
    ssize_t n;
    do {
      n = ::read(ready[0], &byte, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 1) ::_exit(1);  // the child said why on standard error
    PrintListening(pipe_path);
    ::_exit(0);
  }
  ::close(ready[0]);
  ::setsid();
  if (!WritePidFile(options.pid_file, error)) {
    ::close(ready[1]);
    return false;
  }
  if (!DetachStandardStreams()) {
    *error = ErrnoText("redirect standard streams to /dev/null");
    ::close(ready[1]);
    return false;
  }
  WriteAll(ready[1], "r");
  ::close(ready[1]);
  return true;
}

}  // namespace stand_in
