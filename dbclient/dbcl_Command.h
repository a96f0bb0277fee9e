// The database client: commands to the server's database service on the
// pipe "DbServerNamePipe". A text command is NUL-terminated UTF-16 text sent
// with its NUL. Commands without a reply are one-way sends; a command that
// expects one carries a transaction number as its second token and the
// service answers on the reply pipe "DbCln_<number>".
//
//   const int32_t txn = NewTransactionNumber();
//   CCmdProtocol cmd;
//   cmd.AppendToken(u"DB_EXPORT").AppendInt(txn).AppendToken(uid).AppendDword(0);
//   std::string reply;
//   DbClientQuery(cmd.GetString(), txn, &reply, kDbReplyTimeoutSeconds);
#ifndef PORTELLE_DBCLIENT_DBCL_COMMAND_H_
#define PORTELLE_DBCLIENT_DBCL_COMMAND_H_

#include <cstdint>
#include <string>
#include <string_view>

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

#endif  // PORTELLE_DBCLIENT_DBCL_COMMAND_H_
