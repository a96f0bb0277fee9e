// The database client: commands to the server's database service on the
// pipe "DbServerNamePipe". A text command is NUL-terminated UTF-16 text sent
// with its NUL, its tokens separated by TAB. Commands without a reply are
// one-way sends; a command that expects one carries a transaction number as
// its second token and the service answers on the reply pipe
// "DbCln_<number>". A serialized command (CMsgSerializer) is answered on the
// pipe named by its message identifier.
//
// The channel (DbClientSend ... dbSendAndRecv) moves bytes; the commands
// below it build each request exactly as the service expects it and read
// its reply:
//
//   std::string config;
//   if (dbExport(uid, &config)) ...
//
// Every exchange with a reply waits at most kDbReplyTimeoutSeconds per wait.
// A reply to a text command is UTF-16 text without terminator; where it is
// read as text it ends at its first NUL or with its last whole character,
// whichever comes first, so no reply is ever read past its end.
#ifndef PORTELLE_DBCLIENT_DBCL_COMMAND_H_
#define PORTELLE_DBCLIENT_DBCL_COMMAND_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/MsgSerializer.h"
#include "dbclient/SettingContainer.h"
#include "dbclient/ipc_records.h"
#include "dbclient/pipe_Server.h"

// The database service's pipe.
inline constexpr std::u16string_view kDbServerPipeName = u"DbServerNamePipe";
// The time-out of every exchange with a reply, per wait, in seconds.
inline constexpr uint32_t kDbReplyTimeoutSeconds = 600;

// (thread id << 16) | (tick count & 0xFFFF), as a signed 32-bit value: the
// number of one request, unique among the requests of this process's
// threads for a while.
int32_t MakeTransactionNumber(uint32_t thread_id, uint32_t tick_count);
// A transaction number from the calling thread and the current tick count.
int32_t NewTransactionNumber();

// "DbCln_" and the transaction number in signed decimal.
std::u16string DbReplyPipeName(int32_t transaction);

// Writes the NUL-terminated `command` with its NUL to the database service
// and closes; the service's handling is not awaited.
bool DbClientSend(const char16_t* command);

// Creates the reply pipe of `transaction` on `server`, then sends `command`
// (NUL-terminated, sent with its NUL). The reply is collected with
// DbClientFetch.
bool DbClientSendAndRecv(const char16_t* command, int32_t transaction, CPipeServer* server,
                         uint32_t timeout_seconds);

// The whole reply on `server`'s reply pipe.
bool DbClientFetch(CPipeServer* server, std::string* reply);

// One command and its reply through a reply pipe of its own. `*reply` is
// left untouched when the command could not be delivered.
bool DbClientQuery(const char16_t* command, int32_t transaction, std::string* reply,
                   uint32_t timeout_seconds);

// The request-and-reply exchange of a serialized message: finishes it (a
// message that cannot be finished is not sent), sends it to the database
// service with its identifier as the reply pipe, and replaces its content
// with the reply, so that the caller reads the reply's body with >>. False,
// after logging why, when the message could not be finished or sent, when no
// whole reply came, or when the reply is not a message (its start cannot be
// read); the message's content is then unspecified.
bool dbSendAndRecv(CMsgSerializer& message, uint32_t timeout_seconds);

// Makes one second of every reply time-out of this process last `second`
// (CPipeServer::kSecond restores it), so that tests need not wait 600 s.
void SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds second);

// ---- The commands ----
//
// Each returns true when its exchange succeeded (a one-way command: when the
// request was written) and leaves its outputs untouched otherwise, except
// where it says so. Reply bytes handed out unparsed are UTF-16 text without
// terminator, as the service wrote them.

// "DB_GET_DOMAIN" txn, list type, uid: the children of a domain, records of
// three fields (UID, entry name, one more) separated by TAB or LF; empty for
// a leaf.
bool dbGetDomain(uint16_t list_type, std::u16string_view uid, std::string* reply);

// "DB_GET_CLN_DOMAIN_NAME_AND_UID" txn, uid, 0: text whose first
// TAB-separated field is the domain's name; may be empty.
bool dbGetClnDomainName(std::u16string_view uid, std::string* reply);

// "DB_EXPORT" txn, uid, 0: the domain's configuration stream.
bool dbExport(std::u16string_view uid, std::string* config);

// "DB_GET_STATUS" txn, uid, 0: the reply text as a decimal number (text that
// is no number gives 0).
bool dbGetStatus(std::u16string_view uid, int32_t* status);

// "DB_FIND_DOMAIN_UID" txn, name, list type, parent uid: the UID of a domain
// with that entry name, empty when there is none.
bool dbFindDomainUid(std::u16string_view name, uint16_t list_type, std::u16string_view parent_uid,
                     std::string* reply);

// "DB_GET_SPYWARE_WHITE_LIST" txn, uid: TAB-separated decimal entries. On
// entry `*count` is the most entries to take; it returns the number taken.
// False, with the list and the count untouched, only when the request could
// not be delivered. Once it was, the result is true: a reply that did not
// come (time-out, broken connection) gives an empty list and a count of 0.
bool dbGetSpywareWhiteList(std::u16string_view uid, CSettingContainerSpywareWhiteList* list,
                           int32_t* count);

// The password record of "DB_GET_CLIENT_PASSWORD": three fixed UTF-16
// fields, each NUL-terminated within its capacity, zero-filled at
// construction. The caller sets the UID; the command fills the passwords.
struct tagDbClientPassword {
  static constexpr size_t kUidChars = 37;
  static constexpr size_t kPasswordChars = 256;

  char16_t m_szDomainUid[kUidChars] = {};
  char16_t m_szUninstallPwd[kPasswordChars] = {};
  char16_t m_szUnloadPwd[kPasswordChars] = {};

  // Copies at most kUidChars - 1 characters of `uid`; the rest of the field
  // is zero.
  void SetDomainUid(std::u16string_view uid);
  // The fields' texts, up to their NUL (or the whole field if it has none).
  std::u16string_view GetDomainUid() const;
  std::u16string_view GetUninstallPwd() const;
  std::u16string_view GetUnloadPwd() const;
};

// "DB_GET_CLIENT_PASSWORD" txn, record's uid: two tokens separated by TAB or
// LF, the uninstall password, then the unload password. On success both
// password fields are replaced: the token's text up to its first NUL, at
// most kPasswordChars - 1 characters (a longer token is cut), then zeros; a
// missing token leaves its field empty.
bool dbGetClientPassword(tagDbClientPassword* record);

// "DB_GET_KSRC_DEST_SCAN_TYPE" txn, uid: one unsigned number. The value is
// set in every case, 0 when the exchange failed.
bool dbGetKsrcDestScanType(std::u16string_view uid, uint32_t* scan_type);

// "DB_GET_SERVICE_SWITCH" txn, uid: three numbers, the first unsigned. The
// values are set in every case, 0 when the exchange failed.
bool dbGetServiceSwitch(std::u16string_view uid, uint32_t* service_switch, int32_t* second,
                        int32_t* third);

// ---- Reading replies ----
//
// What the commands above make of a reply's bytes (UTF-16 text without
// terminator, not necessarily aligned), without any exchange.

// The reply of "DB_GET_STATUS": its text up to the first NUL as a decimal
// number; text that is no number gives 0.
int32_t ParseStatusReply(const std::string& reply);

// The reply of "DB_GET_SPYWARE_WHITE_LIST" into *list: `*count` is the most
// entries to take on entry and the number taken on return.
void ParseSpywareWhiteListReply(const std::string& reply, CSettingContainerSpywareWhiteList* list,
                                int32_t* count);

// The reply of "DB_GET_CLIENT_PASSWORD" into the record's password fields.
void ParsePasswordReply(const std::string& reply, tagDbClientPassword* record);

// One child of a domain as "DB_GET_DOMAIN" lists it.
struct DbDomainListEntry {
  std::u16string uid;
  std::u16string entry_name;
};

// The children listed in a reply of "DB_GET_DOMAIN": records of three fields
// separated by TAB or LF, the third skipped; the list ends at the first empty
// UID.
std::vector<DbDomainListEntry> ParseDomainListReply(const std::string& reply);

// "DB_IMPORT" TAB uid TAB number TAB configuration, one way. `config` holds
// the configuration stream as UTF-16 bytes; its text ends at its first NUL
// character or with its last whole character.
bool dbImport(std::u16string_view uid, const std::string& config, int32_t number);

// "DB_SET_DOMAIN_UID" uid, 0, parent uid, one way.
bool dbSetDomainUid(std::u16string_view uid, std::u16string_view parent_uid);

// "DBV2_CLIENT_ON_START" with `record` as its body. `*status` is set from the
// reply's 32-bit status item: 0 created, -1 refused, anything else abnormal.
// False when the exchange failed or the reply holds no status.
bool dbClientOnStart(const tagCln_CgiOnStart& record, int32_t* status);

// "DBV2_SET_DLP_CFG": a list holding `uid`, the value 2, `dc`, `clc`. The
// reply is not read.
bool dbSetDlpCfg(std::u16string_view uid, const tagCln_DlpDCCfg& dc, const tagCln_DlpClcCfg& clc);

#endif  // PORTELLE_DBCLIENT_DBCL_COMMAND_H_
