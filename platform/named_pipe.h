// Named pipes. One request travels per connection: the client connects,
// writes everything, closes; a reply travels the same way on a pipe the
// requester listens on.
//
// On Windows a pipe is "\\.\pipe\NAME" itself: message-mode instances created
// with overlapped I/O, a client that opens the pipe for writing. On Linux it
// is a Unix-domain stream socket in the pipe folder.
//
// The pipe namespace keeps the pipes of one test run apart from every other
// run's: the environment variable BASTIONEL_PIPE_DIR selects it. On Linux it
// is the folder of the sockets (default /tmp/bastionel-pipe); on Windows a
// prefix put before every pipe name (unset: none, the services' own names).
#ifndef PORTELLE_PLATFORM_NAMED_PIPE_H_
#define PORTELLE_PLATFORM_NAMED_PIPE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "platform/wait.h"

namespace platform {

// How long a client waits for a busy pipe (every instance taken) before one
// more attempt; the Windows WaitNamedPipe limit the services are built for.
inline constexpr int kPipeBusyWaitMs = 20000;

// The pipe namespace: the socket folder on Linux, the name prefix on Windows
// (every character a pipe name cannot hold, '\', turned into '_').
std::string PipeNamespace();

// The system's own name of the pipe `name`, UTF-8: the socket's path on
// Linux, "\\.\pipe\" + prefix + name on Windows.
std::string PipeSystemPath(std::u16string_view name);

// Removes what killed runs left of the pipes whose names start with
// `prefix`. On Linux: the sockets in the pipe folder that no process holds
// any more (only the calling user's sockets; any other file stays). Listen
// calls it for a numbered name (a reply pipe such as "NAME_12"), with the
// name's prefix before the number. On Windows a pipe goes with its last
// handle and nothing is left to remove.
void RemoveStalePipes(std::u16string_view prefix);

// The state a system keeps beside a pipe's handle (Windows: the event and
// the overlapped record of a pending read or of pending connects).
struct PipeIo;

// One connected end of a pipe: a client's, or a server instance a listener
// accepted.
class PipeStream {
 public:
  PipeStream();
  ~PipeStream();
  PipeStream(PipeStream&& other) noexcept;
  PipeStream& operator=(PipeStream&& other) noexcept;
  PipeStream(const PipeStream&) = delete;
  PipeStream& operator=(const PipeStream&) = delete;

  // Connects to the pipe `name` as a client, for writing. A pipe nobody
  // listens on fails at once (kErrorFileNotFound, or on Linux ECONNREFUSED
  // for a stale socket). A busy pipe (every instance taken) is waited for up
  // to `busy_wait_ms` and tried again as long as it became free within that
  // time; otherwise kErrorPipeBusyWaitExpired (kErrorPipeBusy when
  // `busy_wait_ms` is 0 or less).
  Status Connect(std::u16string_view name, int busy_wait_ms = kPipeBusyWaitMs);

  // Writes all of `data` (a peer that has gone away is IsPipeClosed, never a
  // signal). On Windows each call is one message.
  Status Write(const void* data, size_t size);

  // Waits up to `timeout_ms` (negative: no limit) for data and reads at most
  // `size` bytes (the rest of a longer message stays for the next read);
  // *read is 0 when the peer has closed. kErrorTimeout when nothing arrived
  // in time. For the accepted end of a pipe.
  Status Read(void* buffer, size_t size, size_t* read, int timeout_ms);

  void Close();
  bool is_open() const { return handle_ != kNone; }

  // What a wait waits on until data or the end of the connection can be
  // read (on Windows this starts a read of no bytes, which completes then).
  WaitHandle wait_handle();

 private:
  friend class PipeListener;
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;  // the descriptor or HANDLE
  std::unique_ptr<PipeIo> io_;
};

// The server end of a pipe name: accepts one client after another.
class PipeListener {
 public:
  PipeListener();
  ~PipeListener();  // closes the pipe (on Linux: removes the socket it created)
  PipeListener(const PipeListener&) = delete;
  PipeListener& operator=(const PipeListener&) = delete;

  // Creates the pipe with room for `backlog` clients that connect before they
  // are accepted (at least 1, at most 255). kErrorPipeNameTaken when a live
  // server holds the name. On Linux the pipe folder is made if missing (mode
  // 0700), a stale socket left by a crashed run is removed, and the socket is
  // created owner-only (0600). On Windows the instances admit every user
  // (a security descriptor without access list), take messages inbound, and
  // the first one claims the name.
  Status Listen(std::u16string_view name, int backlog = 16);

  // Waits up to `timeout_ms` (negative: no limit) for a client;
  // kErrorTimeout when none came.
  Status Accept(PipeStream* stream, int timeout_ms);

  void Close();
  bool is_listening() const { return handle_ != kNone; }
  // The pipe's system name, as PipeSystemPath gives it; empty when closed.
  const std::string& path() const { return path_; }
  // Signalled while a client waits to be accepted.
  WaitHandle wait_handle() const { return WaitHandle(handle_); }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;  // the listening descriptor, or the connect event
  std::string path_;
  std::unique_ptr<PipeIo> io_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_NAMED_PIPE_H_
