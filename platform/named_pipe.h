// Named pipes. A Windows pipe "\\.\pipe\NAME" is a Unix-domain stream socket
// at $BASTIONEL_PIPE_DIR/NAME (default /tmp/bastionel-pipe/NAME). One request
// travels per connection: the client connects, writes everything, closes; a
// reply travels the same way on a pipe the requester listens on.
#ifndef PORTELLE_PLATFORM_NAMED_PIPE_H_
#define PORTELLE_PLATFORM_NAMED_PIPE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform {

// How long a client waits for a busy pipe (every instance taken) before one
// more attempt; the Windows WaitNamedPipe limit the services are built for.
inline constexpr int kPipeBusyWaitMs = 20000;

// The folder that holds the pipe sockets, and the socket path of a pipe name.
std::string PipeFolder();
std::string PipeSocketPath(std::u16string_view name);

// Removes the sockets in the pipe folder whose names start with `prefix`
// and that no process holds any more (what a killed run leaves behind).
// Only sockets of the calling user are touched; any other file stays.
// Listen calls it for a numbered name (a reply pipe such as "NAME_12"), with
// the name's prefix before the number.
void RemoveStalePipes(std::u16string_view prefix);

// One connected end of a pipe.
class PipeStream {
 public:
  PipeStream() = default;
  ~PipeStream();
  PipeStream(PipeStream&& other) noexcept;
  PipeStream& operator=(PipeStream&& other) noexcept;
  PipeStream(const PipeStream&) = delete;
  PipeStream& operator=(const PipeStream&) = delete;

  // Connects to the pipe `name` as a client. A pipe nobody listens on (no
  // socket, or a stale one) fails at once with ENOENT or ECONNREFUSED. A busy
  // pipe (its listener's queue is full) is waited for up to `busy_wait_ms`
  // and tried again as long as it became free within that time; otherwise
  // EBUSY.
  Status Connect(std::u16string_view name, int busy_wait_ms = kPipeBusyWaitMs);

  // Writes all of `data` (a peer that has gone away is EPIPE, never a signal).
  Status Write(const void* data, size_t size);

  // Waits up to `timeout_ms` (negative: no limit) for data and reads at most
  // `size` bytes; *read is 0 when the peer has closed. ETIMEDOUT when nothing
  // arrived in time.
  Status Read(void* buffer, size_t size, size_t* read, int timeout_ms);

  void Close();
  bool is_open() const { return fd_ >= 0; }
  int native_handle() const { return fd_; }

 private:
  friend class PipeListener;
  int fd_ = -1;
};

// The server end of a pipe name: accepts one client after another.
class PipeListener {
 public:
  PipeListener() = default;
  ~PipeListener();  // closes and removes the socket it created
  PipeListener(const PipeListener&) = delete;
  PipeListener& operator=(const PipeListener&) = delete;

  // Creates the pipe: the pipe folder is made if missing (mode 0700), a stale
  // socket left by a crashed run is removed, and the socket is created
  // owner-only (0600). EADDRINUSE when a live listener holds the name.
  Status Listen(std::u16string_view name, int backlog = 16);

  // Waits up to `timeout_ms` (negative: no limit) for a client; ETIMEDOUT
  // when none came.
  Status Accept(PipeStream* stream, int timeout_ms);

  void Close();
  bool is_listening() const { return fd_ >= 0; }
  const std::string& socket_path() const { return path_; }
  int native_handle() const { return fd_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_NAMED_PIPE_H_
