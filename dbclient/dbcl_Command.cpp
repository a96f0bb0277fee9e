#include "dbclient/dbcl_Command.h"

#include <algorithm>
#include <vector>

#include "dbclient/CmdProtocol.h"
#include "dbclient/DecimalText.h"
#include "dbclient/dbcl_CommandWords.h"
#include "dbclient/pipe_Client.h"
#include "dbclient/pipe_Util.h"
#include "dbclient/util_ipc_msg_buffer.h"
#include "log/DebugLog.h"
#include "platform/format.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr char16_t kLogSource[] = u"dbcl_Command";

// How long one second of a reply time-out lasts; only tests change it.
std::chrono::milliseconds g_replyTimeoutUnit = CPipeServer::kSecond;

// The bytes of a NUL-terminated command, its NUL included.
uint32_t CommandBytes(const char16_t* command) {
  return static_cast<uint32_t>((std::char_traits<char16_t>::length(command) + 1) *
                               sizeof(char16_t));
}

// How far a request with a reply got.
enum class Exchange {
  kNotDelivered,  // no reply pipe, or the request was not written
  kNoReply,       // written, but no whole reply came
  kReplied,
};

Exchange Query(const char16_t* command, int32_t transaction, std::string* reply,
               uint32_t timeout_seconds) {
  CPipeServer server;
  server.SetTimeoutUnitForTesting(g_replyTimeoutUnit);
  if (!DbClientSendAndRecv(command, transaction, &server, timeout_seconds)) {
    return Exchange::kNotDelivered;
  }
  // A reply cut short is not handed out as if it were whole.
  std::string collected;
  if (!DbClientFetch(&server, &collected)) return Exchange::kNoReply;
  *reply = std::move(collected);
  return Exchange::kReplied;
}

// A text command with a reply: the command word, then the transaction number
// that also names the reply pipe; the caller appends the arguments.
class TextQuery {
 public:
  explicit TextQuery(const char16_t* word) : m_nTransaction(NewTransactionNumber()) {
    m_cmd.AppendToken(word).AppendInt(m_nTransaction);
  }

  CCmdProtocol& args() { return m_cmd; }

  Exchange Run(std::string* reply) {
    return Query(m_cmd.GetString(), m_nTransaction, reply, kDbReplyTimeoutSeconds);
  }

 private:
  int32_t m_nTransaction;
  CCmdProtocol m_cmd;
};

// Reply bytes as text ended with a NUL: the whole characters up to the first
// NUL.
std::u16string ReplyText(const std::string& bytes) {
  std::u16string text = platform::Utf16LeToText(bytes);
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text;
}

// A token into a zero-filled field of `capacity` characters, cut at its
// first NUL and to capacity - 1 characters.
void FillField(char16_t* field, size_t capacity, std::u16string_view token) {
  std::fill(field, field + capacity, u'\0');
  token = token.substr(0, std::min(token.find(u'\0'), capacity - 1));
  std::copy(token.begin(), token.end(), field);
}

std::u16string_view FieldText(const char16_t* field, size_t capacity) {
  return std::u16string_view(field, std::find(field, field + capacity, u'\0') - field);
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
  return Query(command, transaction, reply, timeout_seconds) == Exchange::kReplied;
}

bool dbSendAndRecv(CMsgSerializer& message, uint32_t timeout_seconds) {
  if (!message.FinishForSend()) {
    DEBUG_LOG(2, u"[dbSendAndRecv] FinishForSend Failed!");
    return false;
  }
  // Loading the reply replaces the identifier with the reply's own.
  const std::u16string replyPipe = message.GetMessageId();
  CPipeServer server;
  server.SetTimeoutUnitForTesting(g_replyTimeoutUnit);
  if (!PipeSendAndRecvW(message.GetBytes(), message.GetByteLength(), replyPipe, kDbServerPipeName,
                        &server, timeout_seconds)) {
    DEBUG_LOG(2, u"[dbSendAndRecv] PipeSendAndRecv Failed! err=%d", platform::GetLastError());
    return false;
  }
  std::string reply;
  if (!server.FetchCmd(&reply)) {
    DEBUG_LOG(2, u"[dbSendAndRecv] PipeServer.FetchCmd Failed!");
    return false;
  }
  // A reply that is no message (empty, cut short, garbage) is a failed
  // exchange, not an exception for every caller to catch.
  try {
    message.Load(reply.data(), static_cast<uint32_t>(reply.size()));
  } catch (const CIPCMsgBufferException& e) {
    DEBUG_LOG(2, u"[dbSendAndRecv] Load reply Failed! %s", e.GetFullDescription());
    return false;
  }
  DEBUG_LOG(8, u"[dbSendAndRecv] SendAndRecv %s", replyPipe);
  return true;
}

void SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds second) {
  g_replyTimeoutUnit = second;
}

bool dbGetDomain(uint16_t list_type, std::u16string_view uid, std::string* reply) {
  TextQuery query(kDbGetDomain);
  query.args().AppendInt(list_type).AppendToken(uid);
  return query.Run(reply) == Exchange::kReplied;
}

bool dbGetClnDomainName(std::u16string_view uid, std::string* reply) {
  TextQuery query(kDbGetClnDomainNameAndUid);
  query.args().AppendToken(uid).AppendDword(0);
  return query.Run(reply) == Exchange::kReplied;
}

bool dbExport(std::u16string_view uid, std::string* config) {
  TextQuery query(kDbExport);
  query.args().AppendToken(uid).AppendDword(0);
  return query.Run(config) == Exchange::kReplied;
}

bool dbGetStatus(std::u16string_view uid, int32_t* status) {
  TextQuery query(kDbGetStatus);
  query.args().AppendToken(uid).AppendDword(0);
  std::string reply;
  if (query.Run(&reply) != Exchange::kReplied) return false;
  *status = ParseStatusReply(reply);
  return true;
}

int32_t ParseStatusReply(const std::string& reply) {
  return dbclient::DecimalToInt32(ReplyText(reply));
}

bool dbFindDomainUid(std::u16string_view name, uint16_t list_type, std::u16string_view parent_uid,
                     std::string* reply) {
  TextQuery query(kDbFindDomainUid);
  query.args().AppendToken(name).AppendInt(list_type).AppendToken(parent_uid);
  return query.Run(reply) == Exchange::kReplied;
}

bool dbGetSpywareWhiteList(std::u16string_view uid, CSettingContainerSpywareWhiteList* list,
                           int32_t* count) {
  TextQuery query(kDbGetSpywareWhiteList);
  query.args().AppendToken(uid);
  std::string reply;
  if (query.Run(&reply) == Exchange::kNotDelivered) return false;
  // A reply that did not come reads as the empty list.
  ParseSpywareWhiteListReply(reply, list, count);
  return true;
}

void ParseSpywareWhiteListReply(const std::string& reply, CSettingContainerSpywareWhiteList* list,
                                int32_t* count) {
  list->ReadFromText(ReplyText(reply), *count);
}

void tagDbClientPassword::SetDomainUid(std::u16string_view uid) {
  FillField(m_szDomainUid, kUidChars, uid);
}

std::u16string_view tagDbClientPassword::GetDomainUid() const {
  return FieldText(m_szDomainUid, kUidChars);
}

std::u16string_view tagDbClientPassword::GetUninstallPwd() const {
  return FieldText(m_szUninstallPwd, kPasswordChars);
}

std::u16string_view tagDbClientPassword::GetUnloadPwd() const {
  return FieldText(m_szUnloadPwd, kPasswordChars);
}

bool dbGetClientPassword(tagDbClientPassword* record) {
  TextQuery query(kDbGetClientPassword);
  query.args().AppendToken(record->GetDomainUid());
  std::string reply;
  if (query.Run(&reply) != Exchange::kReplied) return false;
  ParsePasswordReply(reply, record);
  return true;
}

void ParsePasswordReply(const std::string& reply, tagDbClientPassword* record) {
  CCmdProtocol passwords(reply);
  passwords.SetDelimiter(u"\t\n");
  std::u16string uninstall;
  std::u16string unload;
  passwords.NextToken(uninstall).NextToken(unload);
  FillField(record->m_szUninstallPwd, tagDbClientPassword::kPasswordChars, uninstall);
  FillField(record->m_szUnloadPwd, tagDbClientPassword::kPasswordChars, unload);
}

std::vector<DbDomainListEntry> ParseDomainListReply(const std::string& reply) {
  CCmdProtocol list(reply);
  list.SetDelimiter(u"\t\n");
  std::vector<DbDomainListEntry> entries;
  for (;;) {
    DbDomainListEntry entry;
    list.NextToken(entry.uid);
    if (entry.uid.empty()) break;
    list.NextToken(entry.entry_name).SkipTokens(1);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool dbGetKsrcDestScanType(std::u16string_view uid, uint32_t* scan_type) {
  TextQuery query(kDbGetKsrcDestScanType);
  query.args().AppendToken(uid);
  std::string reply;
  const bool replied = query.Run(&reply) == Exchange::kReplied;
  // Read whatever came: nothing reads as 0.
  CCmdProtocol(reply).ReadDword(*scan_type);
  return replied;
}

bool dbGetServiceSwitch(std::u16string_view uid, uint32_t* service_switch, int32_t* second,
                        int32_t* third) {
  TextQuery query(kDbGetServiceSwitch);
  query.args().AppendToken(uid);
  std::string reply;
  const bool replied = query.Run(&reply) == Exchange::kReplied;
  CCmdProtocol(reply).ReadDword(*service_switch).ReadInt(*second).ReadInt(*third);
  return replied;
}

bool dbImport(std::u16string_view uid, const std::string& config, int32_t number) {
  // Built as text rather than as a stream: the configuration is appended as
  // it is, its own TABs and all, and its text ends the request.
  std::u16string command = kDbImport;
  command += u'\t';
  command += uid;
  command += platform::Format(u"\t%d\t", number);
  command += ReplyText(config);
  return DbClientSend(command.c_str());
}

bool dbSetDomainUid(std::u16string_view uid, std::u16string_view parent_uid) {
  CCmdProtocol cmd;
  cmd.AppendToken(kDbSetDomainUid).AppendToken(uid).AppendInt(0).AppendToken(parent_uid);
  return DbClientSend(cmd.GetString());
}

bool dbClientOnStart(const tagCln_CgiOnStart& record, int32_t* status) {
  CMsgSerializer message(kDbv2ClientOnStart, CMsgSerializer::kModeMemory);
  message.WriteObject(record);
  if (!dbSendAndRecv(message, kDbReplyTimeoutSeconds)) return false;
  int32_t value = 0;
  try {
    message >> value;
  } catch (const CIPCMsgBufferException& e) {
    DEBUG_LOG(2, u"[dbClientOnStart] No status in the reply! %s", e.GetFullDescription());
    return false;
  }
  *status = value;
  return true;
}

bool dbSetDlpCfg(std::u16string_view uid, const tagCln_DlpDCCfg& dc, const tagCln_DlpClcCfg& clc) {
  CMsgSerializer message(kDbv2SetDlpCfg, CMsgSerializer::kModeMemory);
  message << std::vector<std::u16string>{std::u16string(uid)} << kDbDlpCfgValue;
  message.WriteObject(dc);
  message.WriteObject(clc);
  return dbSendAndRecv(message, kDbReplyTimeoutSeconds);
}
