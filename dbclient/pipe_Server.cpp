#include "dbclient/pipe_Server.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <new>
#include <thread>

#include "log/DebugLog.h"
#include "platform/status.h"

namespace {

constexpr char16_t kLogSource[] = u"pipe_Server";

}  // namespace

CPipeServer::CPipeServer() : m_buf(new (std::nothrow) char[kBufferBytes]) {}

CPipeServer::~CPipeServer() = default;

bool CPipeServer::Initial(uint32_t count, std::u16string_view name,
                          platform::WaitableTimer* object) {
  m_listener.Close();
  m_instances.clear();
  m_pUserObject = nullptr;
  count = std::clamp<uint32_t>(count, 1, kMaxInstances);

  // A live listener on the name is the "all instances busy" of a Windows
  // pipe: it may be about to go away, so wait a little and try again.
  platform::Status status = m_listener.Listen(name, static_cast<int>(count));
  for (int retry = 0; status.code() == platform::kErrorPipeNameTaken && retry < kCreateRetries; ++retry) {
    std::this_thread::sleep_for(m_retryInterval);
    status = m_listener.Listen(name, static_cast<int>(count));
  }
  if (status.code() == platform::kErrorPipeNameTaken) {
    DEBUG_LOG(5, u"[CPipeServer::Initial] Retry %d times. Still Failed!", kCreateRetries);
    platform::SetLastError(status.code());
    return false;
  }
  if (!status.ok()) {
    DEBUG_LOG(5, u"[CPipeServer::Initial] CreateNamedPipe failed! err=%d", status.code());
    platform::SetLastError(status.code());
    return false;
  }
  m_instances.resize(count);
  for (size_t i = 0; i < m_instances.size(); ++i) ConnectToNewClient(i);
  m_pUserObject = object;
  return true;
}

bool CPipeServer::Initial(std::u16string_view name, uint32_t timeout_seconds) {
  m_dwTimeout = timeout_seconds;
  return Initial(1, name, nullptr);
}

void CPipeServer::ConnectToNewClient(size_t index) {
  // Clients queue on the listener; the slot takes the next one when the wait
  // finds the listener ready.
  m_instances[index].state = State::kConnecting;
}

void CPipeServer::ReconnectInstance(size_t index) {
  m_instances[index].stream.Close();
  ConnectToNewClient(index);
}

bool CPipeServer::UserObjectSignaled() const {
  return m_bDeadlinePassed || (m_pUserObject != nullptr && m_pUserObject->IsSignaled());
}

bool CPipeServer::WaitAndRead(void* buffer, uint32_t* count) {
  const uint32_t capacity = *count;
  *count = 0;
  m_bDeadlinePassed = false;
  m_nReadError = 0;
  if (m_instances.empty()) {
    m_nReadError = platform::kErrorInvalidHandle;
    return false;
  }

  // The time-out bounds each wait, not the whole reply: a service that keeps
  // writing is never cut off.
  int deadline_ms = -1;
  if (m_dwTimeout != 0) {
    const std::chrono::milliseconds timeout = m_second * m_dwTimeout;
    if (m_pUserObject != nullptr) {
      const platform::Status armed = m_pUserObject->Arm(timeout);
      if (!armed.ok()) DEBUG_LOG(5, u"SetWaitableTimer failed (%d)\n", armed.code());
    } else {
      deadline_ms =
          static_cast<int>(std::min<std::chrono::milliseconds::rep>(timeout.count(), INT_MAX));
    }
  }

  m_waitHandles.clear();
  for (Instance& instance : m_instances) {
    m_waitHandles.push_back(instance.state == State::kConnecting ? m_listener.wait_handle()
                                                                 : instance.stream.wait_handle());
  }
  if (m_pUserObject != nullptr) m_waitHandles.push_back(m_pUserObject->wait_handle());

  size_t index = 0;
  const platform::Status waited = platform::WaitForAny(m_waitHandles, deadline_ms, &index);
  if (waited.code() == platform::kErrorTimeout) {
    m_bDeadlinePassed = true;
    return true;
  }
  if (!waited.ok()) {
    m_nReadError = waited.code();
    return false;
  }
  if (index >= m_instances.size()) return true;  // the user-defined object

  Instance& instance = m_instances[index];
  if (instance.state == State::kConnecting) {
    const platform::Status accepted = m_listener.Accept(&instance.stream, 0);
    if (!accepted.ok()) {
      m_nReadError = accepted.code();
      return false;
    }
    instance.state = State::kReading;
  }
  // A client that has just connected may not have written yet; the next
  // wait then covers its socket.
  size_t read = 0;
  const platform::Status status = instance.stream.Read(buffer, capacity, &read, 0);
  if (status.code() == platform::kErrorTimeout) return true;
  if (status.ok() && read > 0) {
    *count = static_cast<uint32_t>(read);
    return true;
  }
  // End-of-file: the client is done. Or the read failed.
  m_nReadError = status.code();
  ReconnectInstance(index);
  return false;
}

void CPipeServer::DropReply(std::string* out) {
  std::string().swap(*out);  // gives the memory back, not only the length
  // The writer finds its end closed instead of writing on into a pipe
  // nobody reads.
  for (size_t i = 0; i < m_instances.size(); ++i) {
    if (m_instances[i].state == State::kReading) ReconnectInstance(i);
  }
}

bool CPipeServer::FetchCmd(std::string* out) {
  out->clear();
  if (m_buf == nullptr) {
    DEBUG_LOG(5, u"[CPipeServer::FetchCmd] m_buf == NULL");
    return false;
  }
  if (m_instances.empty()) {
    DEBUG_LOG(5, u"[CPipeServer::FetchCmd] No pipe instance!");
    return false;
  }
  try {
    uint32_t filled = 0;
    for (;;) {
      uint32_t count = kBufferBytes - filled;
      if (!WaitAndRead(m_buf.get() + filled, &count)) {
        // Only the writer's close ends a reply; a reply cut short by a
        // failed wait, connect or read is not passed on as if it were whole.
        if (m_nReadError != 0) {
          DEBUG_LOG(5, u"[CPipeServer::FetchCmd] WaitAndRead failed! err=%d", m_nReadError);
          platform::SetLastError(m_nReadError);
          return false;
        }
        break;
      }
      if (UserObjectSignaled()) {
        DEBUG_LOG(5, u"[CPipeServer::FetchCmd] User define object is not signaled!");
        return false;
      }
      filled += count;
      if (out->size() + filled > m_nMaxReplyBytes) {
        DEBUG_LOG(5, u"[CPipeServer::FetchCmd] The reply is longer than %d bytes!",
                  static_cast<int32_t>(std::min<size_t>(m_nMaxReplyBytes, INT_MAX)));
        DropReply(out);
        platform::SetLastError(platform::kErrorMoreData);
        return false;
      }
      if (filled == kBufferBytes) {
        out->append(m_buf.get(), filled);
        filled = 0;
      }
    }
    out->append(m_buf.get(), filled);
  } catch (const std::exception&) {
    DEBUG_LOG(2, u"[CPipeServer::FetchCmd] string::append() for strCmd throw exception!");
    return false;
  }
  return true;
}
