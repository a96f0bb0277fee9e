// CLogService: the stand-in for the server's log service. It accepts one
// connection after another on the log pipe, reads each to end-of-file, and
// appends one line per record to the log file (log_record.h has the line
// layouts). Connections are served in the order they arrived, so the lines
// of one client keep their order.
//
// A connection that sends nothing carries no record and leaves no line.
// Anything else leaves exactly one line: the record's, or one marked
// undecodable that says why (a client that went away mid-record, one that
// stalled for the idle time-out, one that sent too much).
#ifndef PORTELLE_SERVER_LOGSERVICE_LOG_SERVICE_H_
#define PORTELLE_SERVER_LOGSERVICE_LOG_SERVICE_H_

#include <cstddef>
#include <string>

#include "platform/file_system.h"
#include "platform/named_pipe.h"
#include "platform/wait.h"

namespace logservice {

class CLogService {
 public:
  // The listen queue of the log pipe: as many waiting clients as a Windows
  // pipe can have instances, so that a burst of lines does not find the pipe
  // busy (a client then waits and retries, which costs it milliseconds).
  static constexpr int kBacklog = 255;
  // How long a connection may stay silent before it is given up.
  static constexpr int kDefaultIdleTimeoutMs = 10000;
  // More than any record of the client; the rest of a longer one is dropped.
  static constexpr size_t kMaxRecordBytes = size_t{1} << 20;

  // `listener` listens on the log pipe; lines go to `log_file` (opened for
  // appending); `stop` is signalled when the service is to stop.
  CLogService(platform::PipeListener* listener, platform::File* log_file, platform::WaitHandle stop,
              int idle_timeout_ms)
      : m_pListener(listener),
        m_pLogFile(log_file),
        m_stop(stop),
        m_nIdleTimeoutMs(idle_timeout_ms) {}

  // Serves until `stop` is signalled, then serves the connections already
  // waiting in the listen queue and returns true. False, with *error, when
  // waiting for clients fails.
  bool Run(std::string* error);

 private:
  // Reads one connection to its end and writes its line.
  void Serve(platform::PipeStream* stream);
  // Appends one line; each line is one write, so readers see it at once.
  void Append(const std::string& line);

  platform::PipeListener* m_pListener;
  platform::File* m_pLogFile;
  platform::WaitHandle m_stop;
  int m_nIdleTimeoutMs;
};

}  // namespace logservice

#endif  // PORTELLE_SERVER_LOGSERVICE_LOG_SERVICE_H_
