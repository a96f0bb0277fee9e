#include "dbclient/pipe_Client.h"

#include <algorithm>
#include <thread>

#include "platform/status.h"

CPipeClient::~CPipeClient() { Close(); }

bool CPipeClient::Open(std::u16string_view name) {
  Close();
  m_wstrPath = u"\\\\.\\pipe\\";
  m_wstrPath += name;
  const platform::Status status = m_stream.Connect(name, m_nBusyWaitMs);
  if (!status.ok()) {
    platform::SetLastError(status.code());
    return false;
  }
  return true;
}

bool CPipeClient::Write(const void* data, uint32_t* count) {
  if (!m_stream.is_open() || (data == nullptr && *count != 0)) {
    platform::SetLastError(platform::kErrorInvalidHandle);
    return false;
  }
  const auto* bytes = static_cast<const char*>(data);
  uint32_t written = 0;
  while (written < *count) {
    const uint32_t piece = std::min(kPieceBytes, *count - written);
    platform::Status status = m_stream.Write(bytes + written, piece);
    // A pipe write can fail for want of system resources for a moment; the
    // piece is written again, a bounded number of times, so that a shortage
    // that lasts fails the write instead of holding the program.
    for (int retry = 0;
         status.code() == platform::kErrorNoSystemResources && retry < kResourceRetries; ++retry) {
      std::this_thread::sleep_for(m_resourceRetryPause);
      status = m_stream.Write(bytes + written, piece);
    }
    if (!status.ok()) {
      platform::SetLastError(status.code());
      *count = written;
      return false;
    }
    written += piece;
  }
  return true;
}

void CPipeClient::Close() { m_stream.Close(); }

bool PipeSendOneWay(std::u16string_view name, const void* data, uint32_t size,
                    PipeSendFailure* failure) {
  PipeSendFailure step = PipeSendFailure::kNone;
  CPipeClient client;
  uint32_t count = size;
  if (!client.Open(name)) {
    step = PipeSendFailure::kOpen;
  } else if (!client.Write(data, &count)) {
    step = PipeSendFailure::kWrite;
  }
  client.Close();
  if (failure != nullptr) *failure = step;
  return step == PipeSendFailure::kNone;
}
