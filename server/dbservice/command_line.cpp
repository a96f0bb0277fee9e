#include "server/dbservice/command_line.h"

namespace dbservice {

const char kUsage[] =
    "usage: bastionel-dbservice --db FILE [--fixture FILE] [--pid-file FILE] [--background]\n"
    "                           [--idle-timeout MS]\n"
    "       bastionel-dbservice --db FILE [--fixture FILE] --dump\n"
    "       bastionel-dbservice --help\n"
    "\n"
    "Listens on the pipe DbServerNamePipe (a socket in $BASTIONEL_PIPE_DIR, default\n"
    "/tmp/bastionel-pipe; on Windows \\\\.\\pipe\\ and that variable's prefix) and answers\n"
    "the database commands of the Bastionel server from the SQLite database FILE,\n"
    "journaling every request. Prints \"listening on PIPE\" once clients can connect.\n"
    "SIGTERM or SIGINT (on Windows Ctrl+C, Ctrl+Break or the console closing) stops it\n"
    "after the requests already queued.\n"
    "\n"
    "  --db FILE           the database; created if missing\n"
    "  --fixture FILE      replace the database's content by this JSON fixture's domains\n"
    "                      and inject its faults (server/dbservice/README.md)\n"
    "  --dump              print the database as JSON and end, without serving\n"
    "  --pid-file FILE     write the service's process id to FILE; removed at the stop\n"
    "  --background        run in the background once listening (needs --pid-file)\n"
    "  --idle-timeout MS   give up a connection silent for MS milliseconds (10000)\n"
    "  --help              show this text\n"
    "\n"
    "Exit codes: 0 stopped or dumped, 1 could not serve (pipe already served, fixture\n"
    "refused, database errors), 2 bad command line.\n";

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* command_line,
                      std::string* error) {
  CommandLine result;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takes_value = argument == "--db" || argument == "--fixture" ||
                             argument == "--pid-file" || argument == "--idle-timeout";
    if (takes_value && (i + 1 == arguments.size() || arguments[i + 1].empty())) {
      *error = argument + " needs a value";
      return false;
    }
    if (argument == "--help" || argument == "-h") {
      result.help = true;
    } else if (argument == "--dump") {
      result.dump = true;
    } else if (argument == "--background") {
      result.host.background = true;
    } else if (argument == "--db") {
      result.database = arguments[++i];
    } else if (argument == "--fixture") {
      result.fixture = arguments[++i];
    } else if (argument == "--pid-file") {
      result.host.pid_file = arguments[++i];
    } else if (argument == "--idle-timeout") {
      if (!stand_in::ParseIdleTimeout(arguments[++i], &result.idle_timeout_ms, error)) {
        return false;
      }
    } else {
      *error = argument.starts_with("-") ? "unknown option " + argument
                                         : "unexpected argument " + argument;
      return false;
    }
  }
  if (!result.help) {
    if (result.database.empty()) {
      *error = "no database given (--db FILE)";
      return false;
    }
    if (!stand_in::CheckHostOptions(result.host, error)) return false;
    if (result.dump && (result.host.background || !result.host.pid_file.empty())) {
      *error = "--dump does not serve: --background and --pid-file do not go with it";
      return false;
    }
  }
  *command_line = std::move(result);
  return true;
}

}  // namespace dbservice
