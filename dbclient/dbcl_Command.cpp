#include "dbclient/dbcl_Command.h"

#include "dbclient/pipe_Client.h"
#include "dbclient/pipe_Util.h"
#include "log/DebugLog.h"
#include "platform/format.h"
#include "platform/status.h"
#include "platform/system.h"

namespace {

constexpr char16_t kLogSource[] = u"dbcl_Command";

// The bytes of a NUL-terminated command, its NUL included.
uint32_t CommandBytes(const char16_t* command) {
  return static_cast<uint32_t>((std::char_traits<char16_t>::length(command) + 1) *
                               sizeof(char16_t));
}

}  // namespace

int32_t MakeTransactionNumber(uint32_t thread_id, uint32_t tick_count) {
  return static_cast<int32_t>((thread_id << 16) | (tick_count & 0xFFFFu));
}

int32_t NewTransactionNumber() {
  return MakeTransactionNumber(platform::GetCurrentThreadId(), platform::GetTickCount());
}

std::u16string DbReplyPipeName(int32_t transaction) {
  return platform::Format(u"DbCln_%d", transaction);
}

bool DbClientSend(const char16_t* command) {
  PipeSendFailure failure = PipeSendFailure::kNone;
  if (!PipeSendOneWay(kDbServerPipeName, command, CommandBytes(command), &failure)) {
    if (failure == PipeSendFailure::kOpen) {
      DEBUG_LOG(5, u"Initial pipe client failed! err=%d", platform::GetLastError());
    } else {
      DEBUG_LOG(5, u"pipe send failed!. err=%d", platform::GetLastError());
    }
    return false;
  }
  DEBUG_LOG(8, u"[DbClient] Send %s", command);
  return true;
}

bool DbClientSendAndRecv(const char16_t* command, int32_t transaction, CPipeServer* server,
                         uint32_t timeout_seconds) {
  const bool sent = PipeSendAndRecvW(command, CommandBytes(command), DbReplyPipeName(transaction),
                                     kDbServerPipeName, server, timeout_seconds);
  if (!sent) DEBUG_LOG(5, u"PipeSendAndRecv Failed! err=%d", platform::GetLastError());
  DEBUG_LOG(8, u"[DbClient] SendAndRecv %s", command);
  return sent;
}

bool DbClientFetch(CPipeServer* server, std::string* reply) {
  if (!server->FetchCmd(reply)) {
    DEBUG_LOG(5, u"PipeServer.FetchCmd Failed!");
    return false;
  }
  return true;
}

bool DbClientQuery(const char16_t* command, int32_t transaction, std::string* reply,
                   uint32_t timeout_seconds) {
  CPipeServer server;
  if (!DbClientSendAndRecv(command, transaction, &server, timeout_seconds)) return false;
  return DbClientFetch(&server, reply);
}
