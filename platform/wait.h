// Waiting on several objects at once, and the waitable timer that bounds such
// a wait. On Windows these are WaitForMultipleObjects over event and timer
// handles and a manual-reset waitable timer; on Linux the objects are file
// descriptors (a timer, a pipe listener, a connected pipe) and the wait is
// poll.
#ifndef PORTELLE_PLATFORM_WAIT_H_
#define PORTELLE_PLATFORM_WAIT_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/status.h"

namespace platform {

// What a wait waits on: the wait_handle() of a pipe, a listener or a timer.
// Each system's files give the value its meaning (a file descriptor, a
// HANDLE); above the platform layer it is only passed on. An object is
// signalled while it is ready: a client to accept, data or the end of a
// connection to read, a timer that has fired.
class WaitHandle {
 public:
  constexpr WaitHandle() = default;
  constexpr explicit WaitHandle(std::intptr_t value) : value_(value) {}

  constexpr std::intptr_t value() const { return value_; }
  constexpr bool is_valid() const { return value_ != kInvalid; }
  friend constexpr bool operator==(WaitHandle a, WaitHandle b) = default;

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t value_ = kInvalid;
};

// Waits until at least one of `handles` is signalled or `timeout_ms` has
// passed (negative: no limit) and sets `*signalled` to the lowest index of a
// signalled handle, as WaitForMultipleObjects does; a handle may appear more
// than once. kErrorTimeout when the time ran out; kErrorInvalidParameter for
// an empty list or more distinct handles than the system waits on at once
// (64 on Windows); an invalid handle fails with the system's reason.
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
  // less) and clears its signalled state. kErrorInvalidHandle when the timer
  // was not created.
  Status Arm(std::chrono::milliseconds relative);

  // Whether the timer has fired since it was last armed; false for a timer
  // that was never created.
  bool IsSignaled() const;

  bool is_valid() const { return handle_.is_valid(); }
  WaitHandle wait_handle() const { return handle_; }

 private:
  WaitHandle handle_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_WAIT_H_
