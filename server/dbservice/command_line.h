// The command line of bastionel-dbservice:
//
//   bastionel-dbservice --db FILE [--fixture FILE] [--pid-file FILE] [--background]
//                       [--idle-timeout MS]
//   bastionel-dbservice --db FILE [--fixture FILE] --dump
//   bastionel-dbservice --help
//
// --db names the SQLite database, created if missing. --fixture replaces its
// content by the fixture's and sets the faults of this run. --dump prints the
// database as JSON and ends instead of serving. --background moves the
// service to the background once it listens and needs --pid-file, the only
// way to find it again. --idle-timeout bounds how long one connection may
// stay silent (default 10000 ms).
#ifndef PORTELLE_SERVER_DBSERVICE_COMMAND_LINE_H_
#define PORTELLE_SERVER_DBSERVICE_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "server/common/service_host.h"
#include "server/dbservice/db_service.h"

namespace dbservice {

struct CommandLine {
  bool help = false;
  bool dump = false;
  std::string database;
  std::string fixture;  // empty: none
  stand_in::HostOptions host;
  int idle_timeout_ms = CDbService::kDefaultIdleTimeoutMs;
};

// Parses the arguments after the program name. False, with *error, for an
// unknown option, a missing value, a bad number or options that do not go
// together.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* command_line,
                      std::string* error);

// The text --help prints.
extern const char kUsage[];

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_COMMAND_LINE_H_
