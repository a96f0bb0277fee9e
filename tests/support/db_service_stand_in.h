// The database-service stand-in (bastionel-dbservice) for one test: a fresh
// folder holding the test's pipe folder and database, BASTIONEL_PIPE_DIR
// pointing at that pipe folder for the object's lifetime (so that the
// client in this process and the service meet there), the service started
// on the database with a JSON fixture, and its --dump read back.
//
//   testing_support::DbServiceStandIn stand_in;
//   ASSERT_TRUE(stand_in.Start(R"({"domains": [{"uid": "a", "entry": "A"}]})"));
//   ... the client's commands ...
//   const nlohmann::json journal = stand_in.Dump()["journal"];
//
// The service started by Start() is stopped when the object goes.
#ifndef PORTELLE_TESTS_SUPPORT_DB_SERVICE_STAND_IN_H_
#define PORTELLE_TESTS_SUPPORT_DB_SERVICE_STAND_IN_H_

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/ipc_records.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

class DbServiceStandIn {
 public:
  DbServiceStandIn();
  DbServiceStandIn(const DbServiceStandIn&) = delete;
  DbServiceStandIn& operator=(const DbServiceStandIn&) = delete;

  // The stand-in program of the build.
  static std::string Program();
  // The environment the stand-in runs with: the test's pipe folder.
  std::vector<std::string> Environment() const;

  // Starts `service` on the database, seeded with `fixture` (written to
  // fixture.json in the folder) unless it is empty, with `options` added to
  // the command line. True once the service listens.
  bool Start(ServiceProcess* service, const std::string& fixture,
             const std::vector<std::string>& options = {});
  // The same with the object's own service().
  bool Start(const std::string& fixture, const std::vector<std::string>& options = {});

  // What --dump prints, parsed. It works beside a running service; a dump
  // that fails or does not parse fails the test and gives null.
  nlohmann::json Dump() const;

  const TempFolder& folder() const { return folder_; }
  const std::string& pipes() const { return pipes_; }
  const std::string& database() const { return database_; }
  // The service's socket, $BASTIONEL_PIPE_DIR/DbServerNamePipe.
  const std::string& socket() const { return socket_; }
  ServiceProcess& service() { return service_; }

 private:
  TempFolder folder_;
  std::string pipes_;
  ScopedEnvironmentVariable pipe_dir_;
  std::string database_;
  std::string socket_;
  ServiceProcess service_;
};

// A DBV2_CLIENT_ON_START record filled as the domain import fills it:
// record type 2, the UID, entry name, domain name and parent UID, the version
// text "0.0" and the initial value -1. A text that does not fit its field
// fails the test.
tagCln_CgiOnStart DomainRecord(std::u16string_view uid, std::u16string_view entry,
                               std::u16string_view name, std::u16string_view parent);

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_DB_SERVICE_STAND_IN_H_
