#include "server/dbservice/fixture.h"

#include <gtest/gtest.h>

namespace dbservice {
namespace {

TEST(FixtureTest, DomainsTakeTheirFieldsOrTheDefaults) {
  Fixture f;
  std::string error;
  ASSERT_TRUE(ParseFixture(R"({
    "comment": "two domains",
    "domains": [
      {"uid": "b", "parent": "a", "entry": "PC-1", "config": "x\ty"},
      {"uid": "a", "entry": "Sales", "name": "root\\Sales", "third": "3",
       "config": ["1", "", "C:\\Q"], "status": -5, "spyware": [7, -2147483648],
       "uninstall_password": "u", "unload_password": "l", "dest_scan_type": 4294967295,
       "service_switch": [4294967295, -1, 2147483647], "comment": "the parent"}
    ]})",
                           &f, &error))
      << error;
  ASSERT_EQ(f.domains.size(), 2u);
  const Domain& b = f.domains[0];
  EXPECT_EQ(b.uid, "b");
  EXPECT_EQ(b.parent, "a");
  EXPECT_EQ(b.name, "PC-1");  // the entry name when none is given
  EXPECT_EQ(b.third, "");
  EXPECT_EQ(b.config, std::string("x\0\t\0y\0", 6));  // raw text, UTF-16LE
  EXPECT_EQ(b.status, 0);
  EXPECT_TRUE(b.spyware.empty());
  const Domain& a = f.domains[1];
  EXPECT_EQ(a.parent, kRootUid);
  EXPECT_EQ(a.name, "root\\Sales");
  EXPECT_EQ(a.third, "3");
  EXPECT_EQ(a.config, std::string("1\0\t\0\t\0C\0:\0\\\0Q\0", 14));  // tokens joined with TABs
  EXPECT_EQ(a.status, -5);
  EXPECT_EQ(a.spyware, (std::vector<int32_t>{7, INT32_MIN}));
  EXPECT_EQ(a.uninstall_password, "u");
  EXPECT_EQ(a.unload_password, "l");
  EXPECT_EQ(a.dest_scan_type, 4294967295u);
  EXPECT_EQ(a.switch_first, 4294967295u);
  EXPECT_EQ(a.switch_second, -1);
  EXPECT_EQ(a.switch_third, INT32_MAX);
  EXPECT_TRUE(f.faults.empty());
}

TEST(FixtureTest, FaultRules) {
  Fixture f;
  std::string error;
  ASSERT_TRUE(ParseFixture(R"({"faults": [
    {"command": "DBV2_CLIENT_ON_START", "match": "PC-7", "status": -1},
    {"command": "DB_GET_DOMAIN", "delay_ms": 30, "pieces": 3, "pause_ms": 5, "drop_reply": false},
    {"command": "DB_GET_STATUS", "reply": "ab"},
    {"command": "DB_EXPORT", "reply_hex": "00fF7a", "drop_reply": true},
    {"command": "DB_EXPORT", "reply_bytes": 1099511627776}]})",
                           &f, &error))
      << error;
  ASSERT_EQ(f.faults.size(), 5u);
  EXPECT_EQ(f.faults[0].command, "DBV2_CLIENT_ON_START");
  EXPECT_EQ(f.faults[0].match, "PC-7");
  EXPECT_EQ(f.faults[0].status, -1);
  EXPECT_EQ(f.faults[1].match, std::nullopt);
  EXPECT_EQ(f.faults[1].delay_ms, 30);
  EXPECT_EQ(f.faults[1].pieces, 3);
  EXPECT_EQ(f.faults[1].pause_ms, 5);
  EXPECT_FALSE(f.faults[1].drop_reply);
  EXPECT_EQ(f.faults[1].reply, std::nullopt);
  EXPECT_EQ(f.faults[2].reply, std::string("a\0b\0", 4));
  EXPECT_EQ(f.faults[3].reply, std::string("\x00\xff\x7a", 3));
  EXPECT_TRUE(f.faults[3].drop_reply);
  EXPECT_EQ(f.faults[3].reply_bytes, std::nullopt);
  EXPECT_EQ(f.faults[4].reply_bytes, int64_t{1} << 40);
  EXPECT_EQ(f.faults[4].reply, std::nullopt);
}

TEST(FixtureTest, MistakesAreRefusedWithTheirPlace) {
  const struct {
    const char* json;
    const char* error;
  } cases[] = {
      {R"({"domains": [{"uid": "a", "entry": "A", "parent": "b"},
                       {"uid": "b", "entry": "B", "parent": "c"},
                       {"uid": "c", "entry": "C", "parent": "a"}]})",
       "the parents of the domains form a loop: 'a' -> 'b' -> 'c' -> 'a'"},
      {R"({"domains": [{"uid": "a", "entry": "A", "parent": "a"}]})",
       "the parents of the domains form a loop: 'a' -> 'a'"},
      {R"({"domains": [{"uid": "a", "entry": "A"}, {"uid": "b", "entry": "B", "parent": "x"}]})",
       "domain 'b' (B) has the parent 'x', which is neither the root nor a domain of the "
       "fixture"},
      {R"({"domains": [{"uid": "a", "entry": "A"}, {"uid": "a", "entry": "B"}]})",
       "domains[1].uid: 'a' is held twice"},
      {R"({"domains": [{"uid": "00000000-0000-0000-0000-000000000000", "entry": "R"}]})",
       "domains[0].uid: the root is not a domain of the fixture"},
      {R"({"domains": [{"uid": "a"}]})", "domains[0]: no entry"},
      {R"({"domains": [{"uid": "a", "entry": "A", "parnet": "b"}]})",
       "domains[0]: unknown key 'parnet'"},
      {R"({"domain": []})", "the fixture: unknown key 'domain'"},
      {R"({"domains": [{"uid": "a", "entry": "A\tB"}]})",
       "domains[0].entry: must not hold a TAB, a line feed or a NUL"},
      {R"({"domains": [{"uid": "a", "entry": "A", "config": ["x", "y\tz"]}]})",
       "domains[0].config[1]: must not hold a TAB"},
      {R"({"domains": [{"uid": "a", "entry": "A", "status": 2147483648}]})",
       "domains[0].status: expected a whole number from -2147483648 to 2147483647"},
      {R"({"domains": [{"uid": "a", "entry": "A", "dest_scan_type": -1}]})",
       "domains[0].dest_scan_type: expected a whole number from 0 to 4294967295"},
      {R"({"domains": [{"uid": "a", "entry": "A", "service_switch": [1, 2]}]})",
       "domains[0].service_switch: expected a list of three numbers"},
      {R"({"faults": [{"command": "DB_EXPROT"}]})",
       "faults[0].command: no command of the service is called 'DB_EXPROT'"},
      {R"({"faults": [{"command": "DB_EXPORT", "status": 5}]})",
       "faults[0].status: applies to DBV2_CLIENT_ON_START only"},
      {R"({"faults": [{"command": "DB_EXPORT", "pieces": 0}]})",
       "faults[0].pieces: expected a whole number from 1 to 1000"},
      {R"({"faults": [{"command": "DB_EXPORT", "reply": "a", "reply_hex": "00"}]})",
       "faults[0]: reply, reply_hex and reply_bytes exclude each other"},
      {R"({"faults": [{"command": "DB_EXPORT", "reply_hex": "00", "reply_bytes": 2}]})",
       "faults[0]: reply, reply_hex and reply_bytes exclude each other"},
      {R"({"faults": [{"command": "DB_EXPORT", "reply_bytes": -1}]})",
       "faults[0].reply_bytes: expected a whole number from 0 to 1099511627776"},
      {R"({"faults": [{"command": "DB_EXPORT", "reply_hex": "0g"}]})",
       "faults[0].reply_hex: expected a string of hexadecimal digits"},
  };
  for (const auto& c : cases) {
    Fixture f;
    std::string error;
    EXPECT_FALSE(ParseFixture(c.json, &f, &error)) << c.json;
    EXPECT_EQ(error, c.error) << c.json;
  }
  Fixture f;
  std::string error;
  EXPECT_FALSE(ParseFixture("{\"domains\": [", &f, &error));
  EXPECT_NE(error.find("parse error"), std::string::npos) << error;
}

}  // namespace
}  // namespace dbservice
