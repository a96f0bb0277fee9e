// CPipeServer: the requester's end of a reply pipe. It creates the pipe under
// a name unique to one request, before the request goes out, and collects
// the reply: every byte the service writes before it closes its end.
//
// The pipe is one listener for the name; each "instance" is a slot for one
// accepted connection, either connecting (waiting for a client) or reading
// (a client is connected). One wait covers every slot and the user-defined
// object, normally the request's time-out timer, whose firing ends the wait.
//
//   CPipeServer server;
//   PipeSendAndRecvW(request, size, u"DbCln_42", u"DbServerNamePipe", &server, 600);
//   std::string reply;
//   server.FetchCmd(&reply);
//
// The pipe exists until the object is destroyed, which removes its socket.
#ifndef PORTELLE_DBCLIENT_PIPE_SERVER_H_
#define PORTELLE_DBCLIENT_PIPE_SERVER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/named_pipe.h"
#include "platform/wait.h"

class CPipeServer {
 public:
  static constexpr uint32_t kMaxInstances = 255;
  // The receive buffer; a reply is collected in portions of this size.
  static constexpr uint32_t kBufferBytes = 512000;
  // The most one reply may hold: far above any real reply (a configuration
  // is a few KB, the list of a tree of 10,000 domains a few MB), so that a
  // service that never stops writing cannot exhaust the memory.
  static constexpr size_t kMaxReplyBytes = size_t{64} << 20;
  // Creating a pipe whose name a live listener holds is tried again this
  // many times, this far apart, before it fails.
  static constexpr int kCreateRetries = 5;
  static constexpr std::chrono::milliseconds kCreateRetryInterval{100};
  // How long one second of a time-out lasts.
  static constexpr std::chrono::milliseconds kSecond{1000};

  // Allocates the receive buffer.
  CPipeServer();
  ~CPipeServer();
  CPipeServer(const CPipeServer&) = delete;
  CPipeServer& operator=(const CPipeServer&) = delete;

  // Creates the pipe `name` with `count` instances (1 to 255; 0 is taken as
  // 1, more as 255). `object`, which the caller keeps alive, ends a wait when
  // it is signalled; with none, waits end only for the pipe (or the time-out
  // deadline, see below). A name held by a live listener is retried (see
  // above). Replaces whatever an earlier call created. On failure
  // platform::GetLastError() holds the reason.
  bool Initial(uint32_t count, std::u16string_view name, platform::WaitableTimer* object);

  // Creates a one-instance pipe whose waits are bounded by `timeout_seconds`
  // each (0: no time-out). The bound is the deadline of each wait, which ends
  // it as a fired timer would; no timer object is made, which saves four
  // system calls on every request.
  bool Initial(std::u16string_view name, uint32_t timeout_seconds);

  // One wait and at most one read of up to `*count` bytes into `buffer`;
  // `*count` returns the bytes read. True with 0 bytes when the wait ended
  // for the user-defined object (or the time-out), when a client connected,
  // or when a connected client has not written yet. False, with the slot
  // waiting for a new client again, when the client has closed its end (the
  // end of a reply) or a read failed; false also when the wait itself fails
  // or nothing was created.
  bool WaitAndRead(void* buffer, uint32_t* count);

  // Collects the whole reply into `*out`: reads until the writer has closed.
  // Fails, after logging why, when the user-defined object ended a wait
  // (the time-out), when a wait, connect or read failed before the writer
  // closed, when there is no pipe or no buffer, or when the reply does not
  // fit in memory or passes the reply limit. A reply over the limit is
  // dropped, its memory freed, and its writer disconnected.
  bool FetchCmd(std::string* out);

  // The most FetchCmd collects, kMaxReplyBytes unless changed; tests lower it.
  size_t max_reply_bytes() const { return m_nMaxReplyBytes; }
  void SetMaxReplyBytes(size_t bytes) { m_nMaxReplyBytes = bytes; }

  // Tests shorten time-outs by making a second shorter, and the pause
  // between attempts to create a busy pipe.
  void SetTimeoutUnitForTesting(std::chrono::milliseconds second) { m_second = second; }
  void SetCreateRetryIntervalForTesting(std::chrono::milliseconds interval) {
    m_retryInterval = interval;
  }

 private:
  enum class State { kConnecting, kReading };
  struct Instance {
    platform::PipeStream stream;
    State state = State::kConnecting;
  };

  // Puts the slot back to waiting for a client.
  void ConnectToNewClient(size_t index);
  // Drops the slot's client, then waits for a new one.
  void ReconnectInstance(size_t index);
  // Empties `*out`, freeing its memory, and disconnects every client.
  void DropReply(std::string* out);
  // Whether the user-defined object (or the time-out deadline) ended a wait.
  bool UserObjectSignaled() const;

  std::unique_ptr<char[]> m_buf;
  platform::PipeListener m_listener;
  std::vector<Instance> m_instances;
  std::vector<platform::WaitHandle> m_waitHandles;
  platform::WaitableTimer* m_pUserObject = nullptr;
  uint32_t m_dwTimeout = 0;        // seconds; 0 means none
  bool m_bDeadlinePassed = false;  // the last wait ran into the time-out deadline
  int m_nReadError = 0;            // why the last WaitAndRead failed; 0 for end-of-file
  std::chrono::milliseconds m_second = kSecond;
  std::chrono::milliseconds m_retryInterval = kCreateRetryInterval;
  size_t m_nMaxReplyBytes = kMaxReplyBytes;
};

#endif  // PORTELLE_DBCLIENT_PIPE_SERVER_H_
