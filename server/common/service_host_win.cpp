// Windows: stop requests are console control events, handed to the service
// through a manual-reset event; there is no fork, so a service is put in the
// background by whoever starts it.
#include <windows.h>

#include <atomic>

#include "platform/status.h"
#include "server/common/service_host.h"

namespace stand_in {

const bool kCanRunInBackground = false;

namespace {

// The event the control handler sets. The handler runs on a thread of the
// system's, so it reaches the event through this variable; one host per
// process catches stop requests.
std::atomic<HANDLE> g_stop_event{nullptr};

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      const HANDLE stop = g_stop_event.load();
      if (stop == nullptr) return FALSE;
      ::SetEvent(stop);
      return TRUE;  // handled: the process is not ended
    }
    default:
      return FALSE;
  }
}

std::string LastErrorText(const char* operation) {
  return platform::Status::Error(static_cast<int>(::GetLastError()), operation).message();
}

}  // namespace

void CServiceHost::ReleaseStopRequests() {
  if (!m_stop.is_valid()) return;
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  g_stop_event.store(nullptr);
  ::CloseHandle(reinterpret_cast<HANDLE>(m_stop.value()));
  m_stop = platform::WaitHandle();
}

bool CServiceHost::CatchStopRequests(std::string* error) {
  const HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (stop == nullptr) {
    *error = LastErrorText("create stop event");
    return false;
  }
  m_stop = platform::WaitHandle(reinterpret_cast<std::intptr_t>(stop));
  g_stop_event.store(stop);
  // The starter may have left Ctrl+C ignored for its children.
  ::SetConsoleCtrlHandler(nullptr, FALSE);
  if (!::SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
    *error = LastErrorText("install console control handler");
    return false;
  }
  return true;
}

bool CServiceHost::AnnounceInBackground(const std::string&, const HostOptions&,
                                        std::string* error) {
  // The command line refuses --background here (CheckHostOptions).
  *error = "--background is not available on this system";
  return false;
}

}  // namespace stand_in
