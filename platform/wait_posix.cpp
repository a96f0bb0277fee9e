#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/wait.h"

namespace platform {

Status WaitForAny(std::span<const WaitHandle> handles, int timeout_ms, size_t* signalled) {
  if (handles.empty()) return Status::Error(EINVAL, "wait");
  std::vector<pollfd> polled(handles.size());
  for (size_t i = 0; i < handles.size(); ++i) polled[i] = pollfd{static_cast<int>(handles[i].value()), POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int wait_ms = timeout_ms < 0 ? -1 : timeout_ms;
  for (;;) {
    const int n = ::poll(polled.data(), polled.size(), wait_ms);
    if (n > 0) break;
    if (n == 0) return Status::Error(ETIMEDOUT, "wait");
    if (errno != EINTR) return Status::Error(errno, "wait");
    // A signal is not the end of the wait: go on until the deadline.
    if (timeout_ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      wait_ms = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
  }
  for (size_t i = 0; i < polled.size(); ++i) {
    // A closed descriptor would otherwise count as signalled for ever.
    if (polled[i].revents & POLLNVAL) return Status::Error(EINVAL, "wait");
  }
  for (size_t i = 0; i < polled.size(); ++i) {
    if (polled[i].revents != 0) {
      *signalled = i;
      return Status();
    }
  }
  return Status::Error(EINVAL, "wait");
}

WaitableTimer::~WaitableTimer() {
  if (handle_.is_valid()) ::close(static_cast<int>(handle_.value()));
}

Status WaitableTimer::Create() {
  if (handle_.is_valid()) ::close(static_cast<int>(handle_.value()));
  const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  handle_ = WaitHandle(fd);
  if (fd < 0) return Status::Error(errno, "create timer");
  return Status();
}

Status WaitableTimer::Arm(std::chrono::milliseconds relative) {
  if (!handle_.is_valid()) return Status::Error(EBADF, "arm timer");
  const int fd = static_cast<int>(handle_.value());
  // An all-zero time would disarm the timer; the shortest real delay fires
  // it at once instead. Setting the timer also clears its expirations, so
  // the fd stops being readable until the new time comes.
  itimerspec when{};
  if (relative.count() <= 0) {
    when.it_value.tv_nsec = 1;
  } else {
    when.it_value.tv_sec = static_cast<time_t>(relative.count() / 1000);
    when.it_value.tv_nsec = static_cast<long>(relative.count() % 1000) * 1000000L;
  }
  if (::timerfd_settime(fd, 0, &when, nullptr) != 0) return Status::Error(errno, "arm timer");
  return Status();
}

bool WaitableTimer::IsSignaled() const {
  if (!handle_.is_valid()) return false;
  // The expirations are never read, so a fired timer stays readable: the
  // manual-reset behaviour.
  pollfd p{static_cast<int>(handle_.value()), POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

}  // namespace platform
