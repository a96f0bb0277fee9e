// bastionel-dbservice: the stand-in for the server's database service.
// command_line.h describes its command line, README.md its fixtures.
#include <cstdio>
#include <string>
#include <vector>

#include "dbclient/dbcl_Command.h"
#include "platform/named_pipe.h"
#include "platform/text.h"
#include "server/common/service_host.h"
#include "server/dbservice/command_line.h"
#include "server/dbservice/db_service.h"
#include "server/dbservice/db_store.h"
#include "server/dbservice/dump.h"
#include "server/dbservice/fixture.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "bastionel-dbservice: %s\n", message.c_str());
  return 1;
}

int Dump(const dbservice::CommandLine& command_line, const dbservice::Fixture* fixture) {
  dbservice::CDbStore store;
  store.Open(command_line.database, fixture != nullptr);
  if (fixture != nullptr) store.Seed(*fixture);
  std::fputs(dbservice::DumpDatabase(&store).c_str(), stdout);
  return 0;
}

int Serve(const dbservice::CommandLine& command_line, dbservice::Fixture fixture) {
  std::string error;
  stand_in::CServiceHost host;
  if (!host.CatchStopRequests(&error)) return Fail(error);
  // The pipe is taken before the database is touched, so that a second
  // instance leaves the first one's database alone.
  platform::PipeListener listener;
  if (!stand_in::ListenOnServicePipe(&listener, kDbServerPipeName,
                                     dbservice::CDbService::kBacklog, &error)) {
    return Fail(error);
  }
  {
    // Seeded before announcing, so that a database that cannot be used is
    // reported by the starting process; closed again, because an SQLite
    // connection must not cross the fork into the background.
    dbservice::CDbStore seed;
    seed.Open(command_line.database, true);
    if (!command_line.fixture.empty()) seed.Seed(fixture);
  }
  if (!host.Announce(listener.path(), command_line.host, &error)) return Fail(error);
  dbservice::CDbStore store;
  store.Open(command_line.database, true);
  dbservice::CDbService service(&listener, &store, std::move(fixture.faults), host.stop_handle(),
                                command_line.idle_timeout_ms);
  return service.Run(&error) ? 0 : Fail(error);
}

int Run(const dbservice::CommandLine& command_line) {
  dbservice::Fixture fixture;
  std::string error;
  if (!command_line.fixture.empty() &&
      !dbservice::LoadFixture(command_line.fixture, &fixture, &error)) {
    return Fail(error);
  }
  try {
    if (command_line.dump) {
      return Dump(command_line, command_line.fixture.empty() ? nullptr : &fixture);
    }
    return Serve(command_line, std::move(fixture));
  } catch (const dbservice::StoreError& e) {
    return Fail(e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  dbservice::CommandLine command_line;
  std::string error;
  if (!dbservice::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &command_line,
                                   &error)) {
    std::fprintf(stderr, "bastionel-dbservice: %s\n%s", error.c_str(), dbservice::kUsage);
    return 2;
  }
  if (command_line.help) {
    std::fputs(dbservice::kUsage, stdout);
    return 0;
  }
  return Run(command_line);
}
