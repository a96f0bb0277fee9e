// CPipeClient: the client end of one connection to a local service's pipe,
// opened for writing only. A one-way send (a log record, a database command
// without reply) opens, writes the whole request, and closes; the services
// read one request per connection.
#ifndef PORTELLE_DBCLIENT_PIPE_CLIENT_H_
#define PORTELLE_DBCLIENT_PIPE_CLIENT_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/named_pipe.h"

class CPipeClient {
 public:
  // Writes go out in pieces of at most this many bytes, the size of the
  // services' pipe buffers.
  static constexpr uint32_t kPieceBytes = 1024;
  // A piece the system has no resources for is written again this many
  // times, this far apart, before the write fails.
  static constexpr int kResourceRetries = 50;
  static constexpr std::chrono::milliseconds kResourceRetryPause{20};

  CPipeClient() = default;
  virtual ~CPipeClient();
  CPipeClient(const CPipeClient&) = delete;
  CPipeClient& operator=(const CPipeClient&) = delete;

  // Connects to the service pipe `name` ("\\.\pipe\" + name). A busy pipe is
  // waited for up to the busy wait (20 s) per attempt, as often as the wait
  // succeeds; a pipe that does not exist fails at once. On failure
  // platform::GetLastError() holds the reason.
  bool Open(std::u16string_view name);

  // Writes `*count` bytes in pieces; on success `*count` is the number
  // written (all of them).
  bool Write(const void* data, uint32_t* count);

  void Close();

  // The path of the pipe last opened, as Windows names it.
  const std::u16string& path() const { return m_wstrPath; }

  // Shortens the busy wait, so tests need not wait 20 s.
  void SetBusyWaitForTesting(int milliseconds) { m_nBusyWaitMs = milliseconds; }

 private:
  platform::PipeStream m_stream;
  std::u16string m_wstrPath;
  int m_nBusyWaitMs = platform::kPipeBusyWaitMs;
  std::chrono::milliseconds m_resourceRetryPause = kResourceRetryPause;
};

// The step at which a one-way send failed, for callers that log each apart.
enum class PipeSendFailure { kNone, kOpen, kWrite };

// Opens the pipe `name`, writes `size` bytes and closes: the one-way send. On
// failure platform::GetLastError() holds the reason and `*failure`, when
// given, the step that failed.
bool PipeSendOneWay(std::u16string_view name, const void* data, uint32_t size,
                    PipeSendFailure* failure = nullptr);

#endif  // PORTELLE_DBCLIENT_PIPE_CLIENT_H_
