// What every stand-in service does around its own work: SIGTERM and SIGINT
// arrive as a readable descriptor instead of ending the process, the service
// optionally moves to the background, its pid file is written and removed,
// and one line "listening on <socket path>" tells whoever started it that
// clients can connect now.
//
//   stand_in::CServiceHost host;
//   if (!host.CatchStopSignals(&error)) ...
//   listener.Listen(...);
//   if (!host.Announce(listener.path(), options, &error)) ...
//   ... serve until host.stop_fd() is readable ...
#ifndef PORTELLE_SERVER_COMMON_SERVICE_HOST_H_
#define PORTELLE_SERVER_COMMON_SERVICE_HOST_H_

#include <string>

namespace stand_in {

struct HostOptions {
  std::string pid_file;     // empty: none is written
  bool background = false;  // requires a pid file, to be stopped by
};

// Reads the value of the option --idle-timeout: a positive decimal number of
// milliseconds. False, with `error` saying why, for anything else.
bool ParseIdleTimeout(const std::string& value, int* milliseconds, std::string* error);

class CServiceHost {
 public:
  CServiceHost() = default;
  ~CServiceHost();  // removes the pid file it wrote and closes the stop descriptor
  CServiceHost(const CServiceHost&) = delete;
  CServiceHost& operator=(const CServiceHost&) = delete;

  // Blocks SIGTERM and SIGINT, which from now on make stop_fd() readable,
  // and ignores SIGPIPE. Call it before the service listens, so that a stop
  // request that arrives during start-up is not lost.
  bool CatchStopSignals(std::string* error);

  // Called once the service listens on `socket_path`.
  // In the foreground: writes the pid file and prints the line.
  // In the background: forks. The child starts a session of its own, writes
  // the pid file with its pid, sends its standard streams to /dev/null and
  // returns true. The parent waits until the child has done so, prints the
  // line and ends the process with 0 without running any destructor (the
  // socket belongs to the child); if the child failed, it ends it with 1.
  // On failure *error says why.
  bool Announce(const std::string& socket_path, const HostOptions& options, std::string* error);

  // Readable once a stop signal has arrived.
  int stop_fd() const { return m_nStopFd; }

 private:
  bool WritePidFile(const std::string& path, std::string* error);

  int m_nStopFd = -1;
  std::string m_strPidFile;  // the pid file this process wrote
};

// The line a service prints once it listens; ServiceProcess in the tests
// waits for it.
inline constexpr char kListeningPrefix[] = "listening on ";

}  // namespace stand_in

#endif  // PORTELLE_SERVER_COMMON_SERVICE_HOST_H_
