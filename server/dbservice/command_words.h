// The commands the database service answers, as the client sends them.
//
// A text command is one line of TAB-separated UTF-16 tokens ending with a
// NUL, its command word first. Commands with a reply carry the transaction
// number as their second token and are answered on the pipe "DbCln_<number>";
// one-way commands carry none. A serialized command is a message whose
// command name is the word and whose identifier names its reply pipe.
#ifndef PORTELLE_SERVER_DBSERVICE_COMMAND_WORDS_H_
#define PORTELLE_SERVER_DBSERVICE_COMMAND_WORDS_H_

#include <string_view>

#include "dbclient/dbcl_CommandWords.h"

namespace dbservice {

enum class CommandKind { kTextWithReply, kTextOneWay, kMessage };

struct CommandWord {
  std::u16string_view word;
  CommandKind kind;
  // Text commands: the tokens after the command word, the transaction number
  // included. DB_IMPORT counts its configuration stream, which may hold TABs
  // of its own, as one.
  int arguments;
};

inline constexpr CommandWord kCommandWords[] = {
    {kDbGetDomain, CommandKind::kTextWithReply, 3},               // txn, list type, UID
    {kDbGetClnDomainNameAndUid, CommandKind::kTextWithReply, 3},  // txn, UID, 0
    {kDbExport, CommandKind::kTextWithReply, 3},                  // txn, UID, 0
    {kDbGetStatus, CommandKind::kTextWithReply, 3},               // txn, UID, 0
    {kDbFindDomainUid, CommandKind::kTextWithReply, 4},  // txn, entry name, list type, parent UID
    {kDbGetSpywareWhiteList, CommandKind::kTextWithReply, 2},  // txn, UID
    {kDbGetClientPassword, CommandKind::kTextWithReply, 2},    // txn, UID
    {kDbGetKsrcDestScanType, CommandKind::kTextWithReply, 2},  // txn, UID
    {kDbGetServiceSwitch, CommandKind::kTextWithReply, 2},     // txn, UID
    {kDbImport, CommandKind::kTextOneWay, 3},                  // UID, number, stream
    {kDbSetDomainUid, CommandKind::kTextOneWay, 3},            // UID, 0, parent UID
    {kDbv2ClientOnStart, CommandKind::kMessage, 0},
    {kDbv2SetDlpCfg, CommandKind::kMessage, 0},
};

// The entry of `word`, or null for a word the service does not know.
inline const CommandWord* FindCommandWord(std::u16string_view word) {
  for (const CommandWord& c : kCommandWords) {
    if (c.word == word) return &c;
  }
  return nullptr;
}

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_COMMAND_WORDS_H_
