// Waits and waitable timers on Windows: WaitForMultipleObjects over the
// handles, and a manual-reset waitable timer armed relative to now.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/wait.h"

namespace platform {
namespace {

HANDLE AsHandle(WaitHandle handle) { return reinterpret_cast<HANDLE>(handle.value()); }

}  // namespace

Status WaitForAny(std::span<const WaitHandle> handles, int timeout_ms, size_t* signalled) {
  if (handles.empty()) return Status::Error(ERROR_INVALID_PARAMETER, "wait");
  // WaitForMultipleObjects refuses a handle listed twice; several pipe
  // instances waiting for a client share their listener's event. Each handle
  // is waited on once and stands for the first index it appears at, so the
  // lowest signalled index is still the one reported.
  std::vector<HANDLE> distinct;
  std::vector<size_t> first_index;
  for (size_t i = 0; i < handles.size(); ++i) {
    // -1 would be the process itself, which never signals while we run.
    if (!handles[i].is_valid() || handles[i].value() == 0) {
      return Status::Error(ERROR_INVALID_HANDLE, "wait");
    }
    const HANDLE handle = AsHandle(handles[i]);
    if (std::find(distinct.begin(), distinct.end(), handle) == distinct.end()) {
      distinct.push_back(handle);
      first_index.push_back(i);
    }
  }
  if (distinct.size() > MAXIMUM_WAIT_OBJECTS) return Status::Error(ERROR_INVALID_PARAMETER, "wait");
  const DWORD count = static_cast<DWORD>(distinct.size());
  const DWORD result = ::WaitForMultipleObjects(
      count, distinct.data(), FALSE, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  if (result < WAIT_OBJECT_0 + count) {
    *signalled = first_index[result - WAIT_OBJECT_0];
    return Status();
  }
  if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count) {
    *signalled = first_index[result - WAIT_ABANDONED_0];
    return Status();
  }
  if (result == WAIT_TIMEOUT) return Status::Error(WAIT_TIMEOUT, "wait");
  return Status::Error(static_cast<int>(::GetLastError()), "wait");
}

WaitableTimer::~WaitableTimer() {
  if (handle_.is_valid()) ::CloseHandle(AsHandle(handle_));
}

Status WaitableTimer::Create() {
  if (handle_.is_valid()) ::CloseHandle(AsHandle(handle_));
  handle_ = WaitHandle();
  // Manual reset: once fired it stays signalled until armed again.
  const HANDLE timer = ::CreateWaitableTimerW(nullptr, TRUE, nullptr);
  if (timer == nullptr) return Status::Error(static_cast<int>(::GetLastError()), "create timer");
  handle_ = WaitHandle(reinterpret_cast<std::intptr_t>(timer));
  return Status();
}

Status WaitableTimer::Arm(std::chrono::milliseconds relative) {
  if (!handle_.is_valid()) return Status::Error(ERROR_INVALID_HANDLE, "arm timer");
  // A negative due time is relative, in units of 100 ns; the shortest one
  // fires at once. Setting the timer also returns it to not signalled.
  LARGE_INTEGER due;
  due.QuadPart = -std::max<LONGLONG>(1, static_cast<LONGLONG>(relative.count()) * 10000);
  if (!::SetWaitableTimer(AsHandle(handle_), &due, 0, nullptr, nullptr, FALSE)) {
    return Status::Error(static_cast<int>(::GetLastError()), "arm timer");
  }
  return Status();
}

bool WaitableTimer::IsSignaled() const {
  if (!handle_.is_valid()) return false;
  return ::WaitForSingleObject(AsHandle(handle_), 0) == WAIT_OBJECT_0;
}

}  // namespace platform
