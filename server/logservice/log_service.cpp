#include "server/logservice/log_service.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/format.h"
#include "server/common/connection_loop.h"
#include "server/logservice/log_record.h"

namespace logservice {

bool CLogService::Run(std::string* error) {
  return stand_in::ServeConnections(
      m_pListener, m_nStopFd, kBacklog, [this](platform::PipeStream* stream) { Serve(stream); },
      error);
}

void CLogService::Serve(platform::PipeStream* stream) {
  std::string bytes;
  std::string ended;  // why the connection ended other than at end-of-file
  bool too_long = false;
  char buffer[4096];
  for (;;) {
    size_t n = 0;
    const platform::Status status = stream->Read(buffer, sizeof buffer, &n, m_nIdleTimeoutMs);
    if (!status.ok()) {
      ended = status.code() == ETIMEDOUT
                  ? platform::FormatA("client silent for %d ms", m_nIdleTimeoutMs)
                  : status.message();
      break;
    }
    if (n == 0) break;
    if (bytes.size() + n > kMaxRecordBytes) {
      bytes.append(buffer, kMaxRecordBytes - bytes.size());
      too_long = true;
      break;
    }
    bytes.append(buffer, n);
  }
  stream->Close();
  if (bytes.empty()) return;
  LogRecord record;
  std::string reason;
  if (too_long) {
    reason = platform::FormatA("longer than %lld bytes", static_cast<long long>(kMaxRecordBytes));
  } else if (DecodeLogRecord(bytes, &record, &reason)) {
    // A record that arrived whole counts even if its client then stalled.
    Append(FormatLogLine(record));
    return;
  }
  if (!ended.empty()) reason += ", " + ended;
  Append(FormatUndecodableLine(std::time(nullptr), bytes, reason));
}

void CLogService::Append(const std::string& line) {
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    const ssize_t n = ::write(m_nLogFd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // The line is lost; say so where the operator can see it.
      const int code = n < 0 ? errno : EIO;
      std::fprintf(stderr, "bastionel-logservice: %s\n",
                   platform::Status::Error(code, "write log file").message().c_str());
      return;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace logservice
