// What every stand-in service does around its own work: a stop request
// arrives as a signalled wait handle instead of ending the process, the
// service optionally moves to the background, its pid file is written and
// removed, and one line "listening on <pipe>" tells whoever started it that
// clients can connect now.
//
// A stop request is SIGTERM or SIGINT on Linux; on Windows it is a console
// control event (Ctrl+C, Ctrl+Break, the console closing, logoff or
// shutdown), which is also what Wine makes of a SIGINT sent to the process.
//
//   stand_in::CServiceHost host;
//   if (!host.CatchStopRequests(&error)) ...
//   if (!stand_in::ListenOnServicePipe(&listener, name, backlog, &error)) ...
//   if (!host.Announce(listener.path(), options, &error)) ...
//   ... serve until host.stop_handle() is signalled ...
#ifndef PORTELLE_SERVER_COMMON_SERVICE_HOST_H_
#define PORTELLE_SERVER_COMMON_SERVICE_HOST_H_

#include <string>
#include <string_view>

#include "platform/named_pipe.h"
#include "platform/wait.h"

namespace stand_in {

struct HostOptions {
  std::string pid_file;     // empty: none is written
  bool background = false;  // requires a pid file, to be stopped by
};

// Whether this system's services can move to the background by themselves
// (--background): Linux services fork; a Windows service is started in the
// background by whoever starts it ("start /b").
extern const bool kCanRunInBackground;

// Checks the host options of a command line: --background needs --pid-file
// and a system whose services can move to the background. False, with
// *error, when they do not go together.
bool CheckHostOptions(const HostOptions& options, std::string* error);

// Reads the value of the option --idle-timeout: a positive decimal number of
// milliseconds. False, with `error` saying why, for anything else.
bool ParseIdleTimeout(const std::string& value, int* milliseconds, std::string* error);

// Listens on the service pipe `name`. False, with *error, when it cannot;
// a name another live service holds is said so in words, with the pipe's
// system name.
bool ListenOnServicePipe(platform::PipeListener* listener, std::u16string_view name, int backlog,
                         std::string* error);

class CServiceHost {
 public:
  CServiceHost() = default;
  ~CServiceHost();  // removes the pid file it wrote and lets go of stop requests
  CServiceHost(const CServiceHost&) = delete;
  CServiceHost& operator=(const CServiceHost&) = delete;

  // From now on a stop request signals stop_handle() instead of ending the
  // process (on Linux SIGPIPE is ignored too). Call it before the service
  // listens, so that a stop request that arrives during start-up is not
  // lost.
  bool CatchStopRequests(std::string* error);

  // Called once the service listens on `pipe_path`.
  // In the foreground: writes the pid file and prints the line.
  // In the background (Linux only): forks. The child starts a session of its
  // own, writes the pid file with its pid, sends its standard streams to
  // /dev/null and returns true. The parent waits until the child has done
  // so, prints the line and ends the process with 0 without running any
  // destructor (the socket belongs to the child); if the child failed, it
  // ends it with 1.
  // On failure *error says why.
  bool Announce(const std::string& pipe_path, const HostOptions& options, std::string* error);

  // Signalled once a stop request has arrived.
  platform::WaitHandle stop_handle() const { return m_stop; }

 private:
  // Both systems' parts.
  bool WritePidFile(const std::string& path, std::string* error);
  bool AnnounceInBackground(const std::string& pipe_path, const HostOptions& options,
                            std::string* error);
  void ReleaseStopRequests();

  platform::WaitHandle m_stop;
  std::string m_strPidFile;  // the pid file this process wrote
};

// Prints the line "listening on <pipe_path>" and flushes it.
void PrintListening(const std::string& pipe_path);

// The line a service prints once it listens; ServiceProcess in the tests
// waits for it.
inline constexpr char kListeningPrefix[] = "listening on ";

}  // namespace stand_in

#endif  // PORTELLE_SERVER_COMMON_SERVICE_HOST_H_
