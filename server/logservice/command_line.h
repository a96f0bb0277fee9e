// The command line of bastionel-logservice:
//
//   bastionel-logservice [--pid-file FILE] [--background] [--idle-timeout MS] LOGFILE
//   bastionel-logservice --help
//
// LOGFILE is created if missing and appended to. --background moves the
// service to the background once it listens and needs --pid-file, the only
// way to find it again. --idle-timeout bounds how long one connection may stay
// silent (default 10000 ms).
#ifndef PORTELLE_SERVER_LOGSERVICE_COMMAND_LINE_H_
#define PORTELLE_SERVER_LOGSERVICE_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "server/common/service_host.h"
#include "server/logservice/log_service.h"

namespace logservice {

struct CommandLine {
  bool help = false;
  std::string log_file;
  stand_in::HostOptions host;
  int idle_timeout_ms = CLogService::kDefaultIdleTimeoutMs;
};

// Parses the arguments after the program name. False, with *error, for an
// unknown option, a missing or extra argument or a bad number.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* command_line,
                      std::string* error);

// The text --help prints.
extern const char kUsage[];

}  // namespace logservice

#endif  // PORTELLE_SERVER_LOGSERVICE_COMMAND_LINE_H_
