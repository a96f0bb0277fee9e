#include "server/logservice/log_service.h"

#include <cstdio>
#include <ctime>

#include "platform/format.h"
#include "server/common/connection_loop.h"
#include "server/logservice/log_record.h"

namespace logservice {

bool CLogService::Run(std::string* error) {
  return stand_in::ServeConnections(
      m_pListener, m_stop, kBacklog, [this](platform::PipeStream* stream) { Serve(stream); },
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
      ended = status.code() == platform::kErrorTimeout
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
  const platform::Status status = m_pLogFile->Write(line.data(), line.size());
  // The line is lost; say so where the operator can see it.
  if (!status.ok()) std::fprintf(stderr, "bastionel-logservice: %s\n", status.message().c_str());
}

}  // namespace logservice
