// Peers for the tests of the database client and its users, talking over
// real sockets: a database service that takes one text request and answers
// on the reply pipe the request names, a scripted database service that
// serves any number of text and serialized requests, and a log service that
// keeps the records it receives.
#ifndef PORTELLE_DBCLIENT_TESTING_PIPE_TEST_PEER_H_
#define PORTELLE_DBCLIENT_TESTING_PIPE_TEST_PEER_H_

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/named_pipe.h"
#include "platform/status.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace dbclient_testing {

// Every wait of a peer ends after this long, so that a fault shows as a
// failed test rather than a hang.
inline constexpr int kPeerDeadlineMs = 5000;

// A test whose pipes live in a fresh folder of their own.
class PipeFolderTest : public ::testing::Test {
 protected:
  PipeFolderTest() : pipes_("BASTIONEL_PIPE_DIR", dir_.path() + "p") { dir_.MakeFolder("p"); }

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_;
};

// What the service does after it has read a request.
enum class Answer {
  kReply,            // connects to the reply pipe, writes the pieces, closes
  kConnectAndClose,  // connects and closes without writing
  kNeverConnect,     // leaves the reply pipe alone
};

// The pipe a database request is answered on: for a serialized message (it
// opens with the version item 04 00 00 00 01 00 00 00) its identifier, the
// fourth item; for a text command (NUL-terminated UTF-16) "DbCln_" plus its
// second TAB-separated token. Empty when the request has neither.
std::u16string ReplyPipeOf(const std::string& request);

// Listens on "DbServerNamePipe" from construction; a thread serves one
// request and answers it on the pipe ReplyPipeOf names.
class DbServicePeer {
 public:
  explicit DbServicePeer(Answer answer, std::vector<std::string> pieces = {});
  ~DbServicePeer();  // waits for the thread

  // Waits for the thread; after this the results below are final.
  void Join();

  bool listening() const { return listener_.is_listening(); }
  // The request's bytes as received, up to the client's close.
  const std::string& request() const { return request_; }
  std::u16string request_text() const;  // up to its first NUL
  const std::u16string& reply_pipe() const { return reply_pipe_; }
  // How connecting to the reply pipe went (kReply, kConnectAndClose).
  const platform::Status& reply_connect() const { return reply_connect_; }
  bool served() const { return served_; }

 private:
  void Serve();

  Answer answer_;
  std::vector<std::string> pieces_;
  platform::PipeListener listener_;
  std::string request_;
  std::u16string reply_pipe_;
  platform::Status reply_connect_;
  bool served_ = false;
  std::thread thread_;
};

// One request to the scripted service.
struct DbRequest {
  std::string bytes;                   // as received
  bool serialized = false;             // a CMsgSerializer message, else a text command
  std::u16string command;              // the command word or the message's command name
  std::u16string text;                 // a text command up to its first NUL
  std::vector<std::u16string> tokens;  // the text's TAB-separated tokens
  std::u16string message_id;           // a message's identifier (its reply pipe)
};

// The scripted service's answer to one request: the reply's bytes, written
// to the request's reply pipe ("DbCln_" + the second token of a text
// command, the identifier of a message); an empty reply connects and closes.
// No value leaves the reply pipe alone, as for one-way commands.
using DbAnswer = std::optional<std::string>;
using DbHandler = std::function<DbAnswer(const DbRequest&)>;

// Listens on "DbServerNamePipe" from construction and serves every request
// in a thread of its own, in the order they arrive, asking `handler` (called
// on that thread) for each answer. Without `keep_requests` the requests are
// only handed to the handler, so that a long run does not pile them up.
class DbScriptedPeer {
 public:
  explicit DbScriptedPeer(DbHandler handler, bool keep_requests = true);
  ~DbScriptedPeer();  // Stop

  // Serves the requests that have arrived, then ends. After this, requests()
  // is final.
  void Stop();

  bool listening() const { return listener_.is_listening(); }
  const std::vector<DbRequest>& requests() const { return requests_; }
  // The requests whose command is `command`.
  std::vector<DbRequest> RequestsFor(std::u16string_view command) const;

  // Text as the service writes it: UTF-16LE bytes without terminator.
  static std::string TextReply(std::u16string_view text);
  // A message named `command` whose body is the one 32-bit `status`.
  static std::string StatusReply(const char16_t* command, int32_t status);

 private:
  void Serve();

  DbHandler handler_;
  bool keep_requests_;
  platform::PipeListener listener_;
  std::vector<DbRequest> requests_;
  std::atomic<bool> stopping_{false};  // set before the wake-up connection
  std::thread thread_;
};

// One received log record, split into its fields.
struct LogRecord {
  int level = 0;
  std::u16string source;
  std::u16string message;  // the line text after "[][module]"
};

// Listens on "Log_ServerNamePipe" and opens the debug log's gate, so that
// every line logged from now on reaches it. A thread takes the records as
// they come, so that any number of lines can be logged before a test looks.
class LogRecorder {
 public:
  LogRecorder();
  ~LogRecorder();

  // Every record sent since construction, in order.
  const std::vector<LogRecord>& records();
  // Whether one of them has these fields.
  bool Has(int level, std::u16string_view source, std::u16string_view message);
  // How many of them have this source and message.
  size_t Count(std::u16string_view source, std::u16string_view message);

 private:
  void Serve();
  // Takes the record of one client, or counts it in *markers when it is
  // empty.
  void Take(platform::PipeStream* stream, uint64_t* markers);
  // Waits until the thread has taken every record sent before this call.
  void Flush();

  platform::PipeListener listener_;
  std::mutex mutex_;
  std::condition_variable marker_seen_;
  std::vector<LogRecord> received_;  // guarded by mutex_
  uint64_t markers_seen_ = 0;        // guarded by mutex_
  uint64_t markers_sent_ = 0;
  bool stopping_ = false;  // guarded by mutex_
  std::vector<LogRecord> records_;
  std::thread thread_;
};

}  // namespace dbclient_testing

#endif  // PORTELLE_DBCLIENT_TESTING_PIPE_TEST_PEER_H_
