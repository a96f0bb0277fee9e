// One request as the service received it, decoded.
//
// A connection's bytes are a serialized message when they begin with the
// message's version item (04 00 00 00 01 00 00 00); anything else is taken
// for a text command. A text command is UTF-16LE text ending with exactly one
// NUL (no byte may follow it), split at every TAB: the first token is the
// command word. A request that breaks the layout of its command is
// unparseable; its error says why, and the service answers nothing.
#ifndef PORTELLE_SERVER_DBSERVICE_REQUEST_H_
#define PORTELLE_SERVER_DBSERVICE_REQUEST_H_

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/ipc_records.h"
#include "server/dbservice/command_words.h"

namespace dbservice {

// The body of DBV2_SET_DLP_CFG.
struct DlpSettings {
  std::vector<std::u16string> uids;
  uint32_t value = 0;
  tagCln_DlpDCCfg dc;
  tagCln_DlpClcCfg clc;
};

struct Request {
  enum class Kind { kText, kMessage, kUnparseable };

  Kind kind = Kind::kUnparseable;
  size_t bytes = 0;                   // the request's length on the wire
  std::u16string command;             // the command word or message command name; may be empty
  const CommandWord* word = nullptr;  // the known command; null when unparseable
  // Text commands: every token after the command word, split at each TAB,
  // so that they join back into the request's text.
  std::vector<std::u16string> tokens;
  // Where the reply goes: "DbCln_<number>" or the message identifier; empty
  // for a one-way command and for an unparseable request.
  std::u16string reply_pipe;
  // Messages: the header's flags and the body.
  uint8_t flags = 0;
  std::optional<tagCln_CgiOnStart> domain;  // DBV2_CLIENT_ON_START
  std::optional<DlpSettings> dlp;           // DBV2_SET_DLP_CFG
  std::string error;                        // why the request is unparseable
  std::string raw;  // the first bytes of an unparseable request, for the journal

  // The configuration stream of DB_IMPORT: the text after its third TAB.
  std::u16string ImportStream() const;

  // Makes the request unparseable for `why`; `received` are its bytes.
  void Refuse(std::string why, std::string_view received);
};

// How many bytes of an unparseable request the journal keeps.
inline constexpr size_t kJournaledRawBytes = 256;

Request DecodeRequest(std::string_view bytes);

// The fields of the two DLP records by member name, as
// {"dc": {...}, "clc": {...}}.
nlohmann::ordered_json DescribeDlpRecords(const tagCln_DlpDCCfg& dc, const tagCln_DlpClcCfg& clc);

// The request's arguments for the journal: the tokens of a text command, the
// fields of a message body; null for an unparseable request.
nlohmann::ordered_json DescribeArguments(const Request& request);

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_REQUEST_H_
