// The JSON fixture that seeds the service's database and sets the faults it
// injects. README.md beside this file describes the format with an example.
//
// Loading checks the whole fixture before anything is stored: every key is
// known and of its type, UIDs are unique and not the root's, texts that go
// into TAB- and line-separated replies hold no TAB or line feed, and the
// domains form a tree below the root: a parent that the fixture does not
// hold, or a chain of parents that comes back to itself, refuses the fixture.
#ifndef PORTELLE_SERVER_DBSERVICE_FIXTURE_H_
#define PORTELLE_SERVER_DBSERVICE_FIXTURE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/dbservice/domain.h"

namespace dbservice {

// How the service misbehaves for the requests a rule matches. The first rule
// whose command and match fit a request applies to it.
struct FaultRule {
  std::string command;  // the command word or message command name
  // When set, the rule applies only to requests that carry this text: as one
  // of the tokens after the command word, as the UID or entry name of the
  // created domain (DBV2_CLIENT_ON_START), or as a UID of the list
  // (DBV2_SET_DLP_CFG).
  std::optional<std::string> match;
  // DBV2_CLIENT_ON_START only: the status answered. -1 creates nothing; any
  // other value creates the domain as usual and answers this value.
  std::optional<int32_t> status;
  bool drop_reply = false;  // never connect to the reply pipe
  // End the service with this request, as a crash would: its pipe is gone
  // before the reply is sent, and nothing more is answered.
  bool crash = false;
  int delay_ms = 0;  // wait this long before connecting to the reply pipe
  int pieces = 1;    // write the reply in this many writes
  int pause_ms = 0;  // wait this long between two pieces
  // The reply bytes sent instead of the real reply (from "reply", UTF-8 text
  // sent as UTF-16LE, or "reply_hex", bytes).
  std::optional<std::string> reply;
  // Send this many bytes ("reply_bytes") instead of the real reply: the
  // UTF-16LE text "xxx...", streamed in writes of kStreamedPieceBytes and
  // never held whole, so that replies larger than any memory can be sent.
  std::optional<int64_t> reply_bytes;
};

// The largest reply_bytes a fixture may ask for, and the size of one write
// of such a reply.
inline constexpr int64_t kMaxStreamedReplyBytes = int64_t{1} << 40;
inline constexpr size_t kStreamedPieceBytes = 65536;

struct Fixture {
  std::vector<Domain> domains;  // in the order of the file: the order of siblings
  std::vector<FaultRule> faults;
};

// Parses and checks a fixture. False, with *error saying what and where, for
// JSON that does not parse or a fixture that breaks a rule above.
bool ParseFixture(std::string_view json_text, Fixture* fixture, std::string* error);

// ParseFixture on the contents of the file `path`.
bool LoadFixture(const std::string& path, Fixture* fixture, std::string* error);

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_FIXTURE_H_
