#include "dbclient/pipe_Util.h"

#include "dbclient/pipe_Client.h"
#include "log/DebugLog.h"
#include "platform/status.h"

namespace {

constexpr char16_t kLogSource[] = u"pipe_Util";

}  // namespace

bool PipeSendAndRecvW(const void* request, uint32_t size, std::u16string_view reply_pipe,
                      std::u16string_view service_pipe, CPipeServer* server,
                      uint32_t timeout_seconds) {
  if (!server->Initial(reply_pipe, timeout_seconds)) {
    DEBUG_LOG(5, u"[PipeSendAndRecvW] Initial pipe server failed!");
    return false;
  }
  PipeSendFailure failure = PipeSendFailure::kNone;
  if (PipeSendOneWay(service_pipe, request, size, &failure)) return true;
  if (failure == PipeSendFailure::kOpen) {
    DEBUG_LOG(5, u"[PipeSendAndRecvW] Initial pipe client failed! err=%d",
              platform::GetLastError());
  } else {
    DEBUG_LOG(5, u"[PipeSendAndRecvW] pipe send failed!. err=%d", platform::GetLastError());
  }
  return false;
}
