#include "tests/support/db_service_stand_in.h"

#include <gtest/gtest.h>

namespace testing_support {

DbServiceStandIn::DbServiceStandIn()
    : pipes_(folder_.path() + "pipes"),
      pipe_dir_("BASTIONEL_PIPE_DIR", pipes_),
      database_(folder_.path() + "state.db"),
      socket_(pipes_ + "/DbServerNamePipe") {}

std::string DbServiceStandIn::Program() { return ProgramInBinFolder("bastionel-dbservice"); }

std::vector<std::string> DbServiceStandIn::Environment() const {
  return {"BASTIONEL_PIPE_DIR=" + pipes_};
}

bool DbServiceStandIn::Start(ServiceProcess* service, const std::string& fixture,
                             const std::vector<std::string>& options) {
  std::vector<std::string> arguments{"--db", database_};
  if (!fixture.empty()) {
    folder_.Write("fixture.json", fixture);
    arguments.insert(arguments.end(), {"--fixture", folder_.path() + "fixture.json"});
  }
  arguments.insert(arguments.end(), options.begin(), options.end());
  return service->Start(Program(), arguments, Environment());
}

bool DbServiceStandIn::Start(const std::string& fixture, const std::vector<std::string>& options) {
  return Start(&service_, fixture, options);
}

nlohmann::json DbServiceStandIn::Dump() const {
  ServiceProcess dump;
  if (!dump.Spawn(Program(), {"--db", database_, "--dump"}, Environment())) {
    ADD_FAILURE() << dump.standard_error();
    return nullptr;
  }
  if (dump.Wait() != 0) {
    ADD_FAILURE() << "--dump failed: " << dump.standard_error();
    return nullptr;
  }
  nlohmann::json parsed = nlohmann::json::parse(dump.standard_output(), nullptr, false);
  if (parsed.is_discarded()) {
    ADD_FAILURE() << "--dump printed no JSON: " << dump.standard_output();
    return nullptr;
  }
  return parsed;
}

tagCln_CgiOnStart DomainRecord(std::u16string_view uid, std::u16string_view entry,
                               std::u16string_view name, std::u16string_view parent) {
  tagCln_CgiOnStart record;
  record.SetRecordType(2);
  EXPECT_TRUE(record.SetDomainUid(uid) && record.SetEntryName(entry) &&
              record.SetDomainName(name) && record.SetVersionText(u"0.0") &&
              record.SetParentUid(parent));
  record.SetInitialValue(-1);
  return record;
}

}  // namespace testing_support
