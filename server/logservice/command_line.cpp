#include "server/logservice/command_line.h"

namespace logservice {

const char kUsage[] =
    "usage: bastionel-logservice [--pid-file FILE] [--background] [--idle-timeout MS] LOGFILE\n"
    "       bastionel-logservice --help\n"
    "\n"
    "Listens on the pipe Log_ServerNamePipe (a socket in $BASTIONEL_PIPE_DIR, default\n"
    "/tmp/bastionel-pipe; on Windows \\\\.\\pipe\\ and that variable's prefix) and appends\n"
    "every debug-log record it receives to LOGFILE as one line, times in UTC. Prints\n"
    "\"listening on PIPE\" once clients can connect. SIGTERM or SIGINT (on Windows\n"
    "Ctrl+C, Ctrl+Break or the console closing) stops it after the records already queued.\n"
    "\n"
    "  --pid-file FILE     write the service's process id to FILE; removed at the stop\n"
    "  --background        run in the background once listening (needs --pid-file)\n"
    "  --idle-timeout MS   give up a connection silent for MS milliseconds (10000)\n"
    "  --help              show this text\n"
    "\n"
    "Exit codes: 0 stopped, 1 could not serve (pipe already served, file errors), 2 bad\n"
    "command line.\n";

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* command_line,
                      std::string* error) {
  CommandLine result;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takes_value = argument == "--pid-file" || argument == "--idle-timeout";
    if (takes_value && (i + 1 == arguments.size() || arguments[i + 1].empty())) {
      *error = argument + " needs a value";
      return false;
    }
    if (argument == "--help" || argument == "-h") {
      result.help = true;
    } else if (argument == "--background") {
      result.host.background = true;
    } else if (argument == "--pid-file") {
      result.host.pid_file = arguments[++i];
    } else if (argument == "--idle-timeout") {
      if (!stand_in::ParseIdleTimeout(arguments[++i], &result.idle_timeout_ms, error)) {
        return false;
      }
    } else if (argument.size() > 1 && argument[0] == '-') {
      *error = "unknown option " + argument;
      return false;
    } else if (result.log_file.empty()) {
      result.log_file = argument;
    } else {
      *error = "more than one log file: " + result.log_file + " and " + argument;
      return false;
    }
  }
  if (!result.help) {
    if (result.log_file.empty()) {
      *error = "no log file given";
      return false;
    }
    if (!stand_in::CheckHostOptions(result.host, error)) return false;
  }
  *command_line = std::move(result);
  return true;
}

}  // namespace logservice
