// Waiting on several objects at once, and the waitable timer that bounds such
// a wait. On Windows these are WaitForMultipleObjects and a manual-reset
// waitable timer; here the objects are file descriptors (a timer, a pipe
// listener, a connected pipe) and the wait is poll.
#ifndef PORTELLE_PLATFORM_WAIT_H_
#define PORTELLE_PLATFORM_WAIT_H_

#include <chrono>
#include <cstddef>
#include <span>

#include "platform/status.h"

namespace platform {

// What a wait waits on: a pipe's or timer's native_handle(). An object is
// signalled while it is readable (a client to accept, data or end-of-file to
// read, a timer that has fired).
using WaitHandle = int;

// Waits until at least one of `handles` is signalled or `timeout_ms` has
// passed (negative: no limit) and sets `*signalled` to the lowest index of a
// signalled handle, as WaitForMultipleObjects does. ETIMEDOUT when the time
// ran out; EINVAL for an invalid handle or an empty list.
Status WaitForAny(std::span<const WaitHandle> handles, int timeout_ms, size_t* signalled);

// A one-shot, manual-reset timer: once it fires it stays signalled until it
// is armed again.
class WaitableTimer {
 public:
  WaitableTimer() = default;
  ~WaitableTimer();
  WaitableTimer(const WaitableTimer&) = delete;
  WaitableTimer& operator=(const WaitableTimer&) = delete;

  // Creates the timer, unarmed and not signalled.
  Status Create();

  // Arms the timer to fire once `relative` from now (at once for zero or
  // less) and clears its signalled state.
  Status Arm(std::chrono::milliseconds relative);

  // Whether the timer has fired since it was last armed; false for a timer
  // that was never created.
  bool IsSignaled() const;

  bool is_valid() const { return fd_ >= 0; }
  WaitHandle native_handle() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_WAIT_H_
