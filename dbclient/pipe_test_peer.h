// Peers for the transport tests, talking over real sockets: a database
// service that takes one text request and answers on the reply pipe the
// request names, and a log service that keeps the records it receives.
#ifndef PORTELLE_DBCLIENT_PIPE_TEST_PEER_H_
#define PORTELLE_DBCLIENT_PIPE_TEST_PEER_H_

#include <gtest/gtest.h>

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

// One received log record, split into its fields.
struct LogRecord {
  int level = 0;
  std::u16string source;
  std::u16string message;  // the line text after "[][module]"
};

// Listens on "Log_ServerNamePipe" and opens the debug log's gate, so that
// every line logged from now on reaches it.
class LogRecorder {
 public:
  LogRecorder();

  // Every record sent since construction, in order.
  const std::vector<LogRecord>& records();
  // Whether one of them has these fields.
  bool Has(int level, std::u16string_view source, std::u16string_view message);

 private:
  platform::PipeListener listener_;
  std::vector<LogRecord> records_;
};

}  // namespace dbclient_testing

#endif  // PORTELLE_DBCLIENT_PIPE_TEST_PEER_H_
