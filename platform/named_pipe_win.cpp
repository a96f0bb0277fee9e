// Named pipes on Windows. A listener keeps a set of overlapped, message-mode
// server instances of one name, each waiting for a client with an overlapped
// ConnectNamedPipe; all of them signal one manual-reset event, the
// listener's wait handle. Accept hands a connected instance over as a
// stream and puts a fresh instance in its place. A stream reads with
// overlapped ReadFile and GetOverlappedResult; its wait handle is the event of
// a read of no bytes, which completes once a message or the end of the
// connection is there. A client opens the pipe for writing with CreateFileW,
// waits for a busy pipe with WaitNamedPipeW and switches to message mode.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/named_pipe.h"
#include "platform/text.h"

namespace platform {

// One server instance of a listener.
struct PipeInstance {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  bool pending = false;  // an overlapped connect has not completed
};

struct PipeIo {
  HANDLE event = nullptr;  // manual reset
  // A stream's read of no bytes that has not completed.
  OVERLAPPED probe{};
  bool probe_pending = false;
  // A listener's instances; each stays at its address while I/O is pending.
  std::vector<std::unique_ptr<PipeInstance>> instances;
  std::wstring path;

  ~PipeIo() {
    if (event != nullptr) ::CloseHandle(event);
  }
};

namespace {

// The services' pipe buffers; a bigger message waits until it is read.
constexpr DWORD kPipeBufferBytes = 1024;
// How long a client's WaitNamedPipe with the default waits for an instance.
constexpr DWORD kDefaultTimeoutMs = 1000;
constexpr char16_t kPipeRoot[] = u"\\\\.\\pipe\\";

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

int LastError() { return static_cast<int>(::GetLastError()); }

std::u16string SystemPath16(std::u16string_view name) {
  return kPipeRoot + Utf8ToUtf16(PipeNamespace()) + std::u16string(name);
}

std::wstring ToWide(const std::u16string& text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.c_str()), text.size());
}

std::u16string ToU16(const std::wstring& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.c_str()), text.size());
}

// Waits for an operation to finish after it was cancelled, so that the
// OVERLAPPED record can go away; the result does not matter.
void CancelAndForget(HANDLE handle, OVERLAPPED* overlapped) {
  ::CancelIoEx(handle, overlapped);
  DWORD ignored = 0;
  ::GetOverlappedResult(handle, overlapped, &ignored, TRUE);
}

// Creates one instance of the pipe `path`: inbound, overlapped, message type
// and read mode, 1024-byte buffers, a default time-out of 1000 ms, not
// inheritable, and a security descriptor without access list, so that every
// user (the services run under their own accounts) may connect. The first
// instance claims the name: a name another server holds fails.
Status CreateInstance(const std::wstring& path, bool first, HANDLE* pipe) {
  SECURITY_DESCRIPTOR descriptor;
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
    return Status::Error(LastError(), "initialize security descriptor", ToU16(path));
  }
  if (!::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
    return Status::Error(LastError(), "set security descriptor access list", ToU16(path));
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  // A name another server holds is not joined as one more of its instances.
  // FILE_FLAG_FIRST_PIPE_INSTANCE says so where the system keeps it; Wine 8
  // ignores it, so the name is looked for first: a wait for an instance of
  // a name nobody holds fails at once with ERROR_FILE_NOT_FOUND, and
  // succeeds or times out (after 1 ms) when a server holds it.
  if (first && (::WaitNamedPipeW(path.c_str(), 1) || ::GetLastError() == ERROR_SEM_TIMEOUT ||
                ::GetLastError() == ERROR_PIPE_BUSY)) {
    *pipe = INVALID_HANDLE_VALUE;
    return Status::Error(ERROR_PIPE_BUSY, "create pipe", ToU16(path));
  }
  *pipe = ::CreateNamedPipeW(
      path.c_str(),
      PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
      kPipeBufferBytes, kPipeBufferBytes, kDefaultTimeoutMs, &attributes);
  if (*pipe != INVALID_HANDLE_VALUE) return Status();
  int error = LastError();
  // The first instance of a name that exists is refused (access denied), or
  // busy when the holder's instances are all taken: either way a live
  // server holds the name.
  if (first && (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)) error = ERROR_PIPE_BUSY;
  return Status::Error(error, "create pipe", ToU16(path));
}

// Starts an overlapped connect on the instance. A client that connected (and
// maybe already left) before the call signals the event by hand.
Status ConnectToNewClient(PipeInstance* instance, HANDLE event, const std::wstring& path) {
  instance->pending = false;
  instance->overlapped = OVERLAPPED{};
  instance->overlapped.hEvent = event;
  if (::ConnectNamedPipe(instance->pipe, &instance->overlapped)) {
    instance->pending = true;
    return Status();
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_IO_PENDING) {
    instance->pending = true;
    return Status();
  }
  if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) {
    ::SetEvent(event);
    return Status();
  }
  return Status::Error(static_cast<int>(error), "connect pipe", ToU16(path));
}

// A new instance, waiting for a client.
Status StartInstance(const std::wstring& path, bool first, HANDLE event,
                     std::unique_ptr<PipeInstance>* slot) {
  auto instance = std::make_unique<PipeInstance>();
  Status status = CreateInstance(path, first, &instance->pipe);
  if (!status.ok()) return status;
  status = ConnectToNewClient(instance.get(), event, path);
  if (!status.ok()) {
    ::CloseHandle(instance->pipe);
    return status;
  }
  *slot = std::move(instance);
  return Status();
}

void CloseInstance(PipeInstance* instance) {
  if (instance->pending) CancelAndForget(instance->pipe, &instance->overlapped);
  ::CloseHandle(instance->pipe);
}

bool ConnectDone(const PipeInstance& instance) {
  return !instance.pending || HasOverlappedIoCompleted(&instance.overlapped);
}

// Leaves the shared event signalled exactly while some instance has a
// client to accept. An instance that completes after the reset signals it
// again itself.
void RefreshSignal(PipeIo* io) {
  ::ResetEvent(io->event);
  for (const auto& instance : io->instances) {
    if (instance != nullptr && ConnectDone(*instance)) {
      ::SetEvent(io->event);
      return;
    }
  }
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

}  // namespace

std::string PipeNamespace() {
  wchar_t value[512];
  const DWORD length = ::GetEnvironmentVariableW(L"BASTIONEL_PIPE_DIR", value, 512);
  if (length == 0 || length >= 512) return {};
  std::u16string prefix(reinterpret_cast<const char16_t*>(value), length);
  // A pipe name holds no backslash; the variable may name a folder, as it
  // does on Linux, whose separators and drive colon become '_'.
  std::replace_if(
      prefix.begin(), prefix.end(), [](char16_t c) { return c == u'\\' || c == u'/' || c == u':'; },
      u'_');
  return Utf16ToUtf8(prefix);
}

std::string PipeSystemPath(std::u16string_view name) { return Utf16ToUtf8(SystemPath16(name)); }

void RemoveStalePipes(std::u16string_view) {}

PipeStream::PipeStream() = default;

PipeStream::~PipeStream() { Close(); }

// The PipeIo moves as a pointer, so a pending read's OVERLAPPED stays put.
PipeStream::PipeStream(PipeStream&& other) noexcept
    : handle_(other.handle_), io_(std::move(other.io_)) {
  other.handle_ = kNone;
}

PipeStream& PipeStream::operator=(PipeStream&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    io_ = std::move(other.io_);
    other.handle_ = kNone;
  }
  return *this;
}

Status PipeStream::Connect(std::u16string_view name, int busy_wait_ms) {
  Close();
  const std::u16string path16 = SystemPath16(name);
  const std::wstring path = ToWide(path16);
  for (;;) {
    const HANDLE pipe =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      DWORD mode = PIPE_READMODE_MESSAGE;
      if (!::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        const int error = LastError();
        ::CloseHandle(pipe);
        return Status::Error(error, "set pipe mode", path16);
      }
      handle_ = AsValue(pipe);
      return Status();
    }
    const int error = LastError();
    if (error != ERROR_PIPE_BUSY) return Status::Error(error, "connect", path16);
    // Every instance is taken: wait for one to free up and try again, as long
    // as the wait succeeds.
    if (busy_wait_ms <= 0) return Status::Error(error, "connect", path16);
    if (!::WaitNamedPipeW(path.c_str(), static_cast<DWORD>(busy_wait_ms))) {
      return Status::Error(LastError(), "wait for pipe", path16);
    }
  }
}

Status PipeStream::Write(const void* data, size_t size) {
  if (handle_ == kNone) return Status::Error(ERROR_INVALID_HANDLE, "write", u"pipe");
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), p, piece, &written, nullptr)) {
      return Status::Error(LastError(), "write", u"pipe");
    }
    p += written;
    size -= written;
  }
  return Status();
}

Status PipeStream::Read(void* buffer, size_t size, size_t* read, int timeout_ms) {
  *read = 0;
  if (handle_ == kNone) return Status::Error(ERROR_INVALID_HANDLE, "read", u"pipe");
  const HANDLE pipe = AsHandle(handle_);
  if (io_ == nullptr) {
    io_ = std::make_unique<PipeIo>();
    io_->event = NewEvent();
    if (io_->event == nullptr) return Status::Error(LastError(), "create event", u"pipe");
  }
  const DWORD wait_ms = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  if (io_->probe_pending) {
    // A wait is under way: the time counts from here, for it.
    const DWORD waited = ::WaitForSingleObject(io_->event, wait_ms);
    if (waited == WAIT_TIMEOUT) return Status::Error(WAIT_TIMEOUT, "read", u"pipe");
    if (waited != WAIT_OBJECT_0) return Status::Error(LastError(), "wait", u"pipe");
    DWORD ignored = 0;
    ::GetOverlappedResult(pipe, &io_->probe, &ignored, FALSE);
    io_->probe_pending = false;
  }
  OVERLAPPED overlapped{};
  overlapped.hEvent = io_->event;
  ::ResetEvent(io_->event);
  const DWORD capacity = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  DWORD count = 0;
  BOOL done = ::ReadFile(pipe, buffer, capacity, nullptr, &overlapped);
  DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
  if (done || error == ERROR_MORE_DATA || error == ERROR_IO_PENDING) {
    if (error == ERROR_IO_PENDING &&
        ::WaitForSingleObject(io_->event, wait_ms) == WAIT_TIMEOUT) {
      // Nothing came in time. The read is cancelled; one that completed
      // meanwhile still delivers its bytes below.
      ::CancelIoEx(pipe, &overlapped);
    }
    done = ::GetOverlappedResult(pipe, &overlapped, &count, TRUE);
    error = done ? ERROR_SUCCESS : ::GetLastError();
  }
  if (done || error == ERROR_MORE_DATA) {
    // The rest of a longer message waits for the next read; a read of 0
    // bytes is the end, as the writer never sends an empty message.
    *read = count;
    return Status();
  }
  if (error == ERROR_OPERATION_ABORTED) return Status::Error(WAIT_TIMEOUT, "read", u"pipe");
  if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_HANDLE_EOF) {
    return Status();  // the writer has closed its end
  }
  return Status::Error(static_cast<int>(error), "read", u"pipe");
}

void PipeStream::Close() {
  if (handle_ == kNone) return;
  if (io_ != nullptr && io_->probe_pending) CancelAndForget(AsHandle(handle_), &io_->probe);
  ::CloseHandle(AsHandle(handle_));
  handle_ = kNone;
  io_.reset();
}

WaitHandle PipeStream::wait_handle() {
  if (handle_ == kNone) return WaitHandle();
  if (io_ == nullptr) {
    io_ = std::make_unique<PipeIo>();
    io_->event = NewEvent();
    if (io_->event == nullptr) {
      io_.reset();
      return WaitHandle();
    }
  }
  if (!io_->probe_pending) {
    // A read of no bytes completes when a message or the end of the
    // connection is there, and takes nothing.
    io_->probe = OVERLAPPED{};
    io_->probe.hEvent = io_->event;
    ::ResetEvent(io_->event);
    static char none;
    if (!::ReadFile(AsHandle(handle_), &none, 0, nullptr, &io_->probe) &&
        ::GetLastError() == ERROR_IO_PENDING) {
      io_->probe_pending = true;
    } else {
      // Done at once: data waits, or the end or an error that the next
      // read reports.
      ::SetEvent(io_->event);
    }
  }
  return WaitHandle(AsValue(io_->event));
}

PipeListener::PipeListener() = default;

PipeListener::~PipeListener() { Close(); }

Status PipeListener::Listen(std::u16string_view name, int backlog) {
  Close();
  const std::u16string path16 = SystemPath16(name);
  auto io = std::make_unique<PipeIo>();
  io->path = ToWide(path16);
  io->event = NewEvent();
  if (io->event == nullptr) return Status::Error(LastError(), "create event", path16);
  const int count = std::clamp(backlog, 1, 255);
  io->instances.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const Status status = StartInstance(io->path, i == 0, io->event, &io->instances[i]);
    if (!status.ok()) {
      for (auto& instance : io->instances) {
        if (instance != nullptr) CloseInstance(instance.get());
      }
      return status;
    }
  }
  RefreshSignal(io.get());
  handle_ = AsValue(io->event);
  path_ = Utf16ToUtf8(path16);
  io_ = std::move(io);
  return Status();
}

Status PipeListener::Accept(PipeStream* stream, int timeout_ms) {
  stream->Close();
  if (handle_ == kNone) return Status::Error(ERROR_INVALID_HANDLE, "accept", u"pipe");
  const std::u16string path16 = ToU16(io_->path);
  const ULONGLONG start = ::GetTickCount64();
  bool reset = false;
  for (;;) {
    for (auto& slot : io_->instances) {
      // A slot whose new instance could not be made is tried again here.
      if (slot == nullptr && !StartInstance(io_->path, false, io_->event, &slot).ok()) continue;
      PipeInstance& instance = *slot;
      if (!ConnectDone(instance)) continue;
      if (instance.pending) {
        DWORD ignored = 0;
        if (!::GetOverlappedResult(instance.pipe, &instance.overlapped, &ignored, FALSE)) {
          // The connect failed: the instance waits for the next client.
          ::DisconnectNamedPipe(instance.pipe);
          if (!ConnectToNewClient(&instance, io_->event, io_->path).ok()) {
            CloseInstance(&instance);
            slot.reset();
          }
          continue;
        }
      }
      stream->handle_ = AsValue(instance.pipe);
      instance.pending = false;
      slot.reset();
      // A fresh instance in its place keeps as many clients waiting as
      // before; failing that, the next Accept tries again.
      StartInstance(io_->path, false, io_->event, &slot);
      RefreshSignal(io_.get());
      return Status();
    }
    if (!reset) {
      // Reset, then look once more: a connect that completes from now on
      // signals the event again.
      ::ResetEvent(io_->event);
      reset = true;
      continue;
    }
    DWORD wait_ms = INFINITE;
    if (timeout_ms >= 0) {
      const ULONGLONG spent = ::GetTickCount64() - start;
      wait_ms = spent >= static_cast<ULONGLONG>(timeout_ms)
                    ? 0
                    : static_cast<DWORD>(static_cast<ULONGLONG>(timeout_ms) - spent);
    }
    const DWORD waited = ::WaitForSingleObject(io_->event, wait_ms);
    if (waited == WAIT_TIMEOUT) return Status::Error(WAIT_TIMEOUT, "accept", path16);
    if (waited != WAIT_OBJECT_0) return Status::Error(LastError(), "wait", path16);
    reset = false;
  }
}

void PipeListener::Close() {
  if (handle_ == kNone) return;
  for (auto& instance : io_->instances) {
    if (instance != nullptr) CloseInstance(instance.get());
  }
  io_.reset();  // closes the event
  handle_ = kNone;
  path_.clear();
}

}  // namespace platform
