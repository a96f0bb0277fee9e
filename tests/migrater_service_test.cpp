// Each version migrater rewrites a configuration with the answers of the
// real bastionel-dbservice, asked through the production database adapter
// over the real sockets. The expected streams are written out by hand; the
// service's journal shows which questions each version asked.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dbclient/dbcl_Command.h"
#include "dbclient/pipe_Server.h"
#include "migrate/DbMigraterDatabase.h"
#include "migrate/PortelleDataMigraterV10.h"
#include "migrate/PortelleDataMigraterV105.h"
#include "migrate/PortelleDataMigraterV105_P1.h"
#include "migrate/PortelleDataMigraterV106.h"
#include "migrate/PortelleDataMigraterV106_SP1.h"
#include "migrate/PortelleDataMigraterV10SP1.h"
#include "migrate/PortelleDataMigraterV8.h"
#include "migrate/testing/MigraterTestSupport.h"
#include "platform/text.h"
#include "tests/support/db_service_stand_in.h"

namespace migrate_testing {
namespace {

Tokens operator+(Tokens left, const Tokens& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

Tokens Empty(size_t count) { return Tokens(count, u""); }

// Numbers "first" .. "last".
Tokens Count(int first, int last) { return Numbered(u"", first, last); }

const Tokens kCacheDays = {u"28", u"60", u"30"};

// The domain's answers: the status word 0x80000401 (as the signed value the
// service keeps), a list of three entries, a scan type and a first service
// switch value beyond the signed range. No bsnscan.ini is written: every
// INI value is its default. A second domain has a list longer than the
// migraters take.
const std::string kUid = platform::Utf16ToUtf8(kDomainUid);
constexpr char16_t kLongListUid[] = u"1c2d3e4f-0000-4000-8000-000000000001";

std::string Fixture() {
  nlohmann::json long_list = nlohmann::json::array();
  for (int i = 1; i <= 1030; ++i) long_list.push_back(i);
  return nlohmann::json{
      {"domains",
       {{{"uid", kUid},
         {"entry", "Sales"},
         {"status", -2147482623},
         {"spyware", {5, -7, 40}},
         {"dest_scan_type", 3000000000u},
         {"service_switch", {4294967295u, -2, 8}}},
        {{"uid", platform::Utf16ToUtf8(kLongListUid)}, {"entry", "Long"}, {"spyware", long_list}}}}}
      .dump();
}

// The database's list at position 63, as the versions that write it do.
const Tokens kDatabaseList = {u"3", u"5", u"-7", u"40"};

class MigraterServiceTest : public MigraterTest {
 protected:
  MigraterServiceTest() { SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds(10)); }
  ~MigraterServiceTest() override { SetDbReplyTimeoutUnitForTesting(CPipeServer::kSecond); }

  void SetUp() override {
    ASSERT_TRUE(stand_in_.Start(Fixture())) << stand_in_.service().standard_error();
  }

  // The requests the service received, without their transaction numbers.
  std::vector<std::string> Queries() const {
    std::vector<std::string> queries;
    const nlohmann::json journal = stand_in_.Dump()["journal"];
    for (const nlohmann::json& entry : journal) {
      std::string text = entry["command"];
      const nlohmann::json& arguments = entry["arguments"];
      for (size_t i = 1; i < arguments.size(); ++i) text += "\t" + arguments[i].get<std::string>();
      queries.push_back(text);
    }
    return queries;
  }

  // Made after the base's pipe folder, whose place it takes: the migraters
  // reach the stand-in.
  testing_support::DbServiceStandIn stand_in_;
  CDbMigraterDatabase database_;
};

// ---- 8.x ----

TEST_F(MigraterServiceTest, V8PutsTheStatusAtPosition5AndTheDatabaseList) {
  CDataMigraterV8 migrater(InstallPath(), database_);
  const Tokens source = Count(1, 20) + Numbered(u"x", 21, 32) + Numbered(u"t", 33, 56) +
                        Numbered(u"y", 57, 67) + Tokens{u"never"};
  const Tokens expected =
      Tokens{u"1",          u"127120",    u"0",  u"0",
             u"2181038081",        // 5: 0x80000401 with 0x400 moved to 0x2000000
             u"0",          u"0",  // 6, 7: not asked
             u"536870915",  u"4",         u"1",  u"4",  u"536870917", u"6",  u"1",
             u"4",          u"536870919", u"8",  u"1",  u"4",         u"9",  u"10",
             u"11",         u"12",        u"13", u"14", u"1",         u"1",  u"536870927",
             u"16",         u"1",         u"4",  u"17", u"18",        u"19", u"20"} +
      kCacheDays + Numbered(u"t", 33, 36) + Empty(4) + Numbered(u"t", 41, 56) + kDatabaseList +
      Tokens{u"",  u"",  u"0", u"", u"", u"", u"8", u"8", u"0",
             u"1", u"1", u"",  u"", u"", u"", u"0", u"0"} +
      TailOffFrom18();
  EXPECT_EQ(Migrate(migrater, source), expected);
  EXPECT_EQ(Queries(), (std::vector<std::string>{"DB_GET_STATUS\t" + kUid + "\t0",
                                                 "DB_GET_SPYWARE_WHITE_LIST\t" + kUid}));
}

// ---- 10 and 10 SP1 ----

// S1 to S72, three list entries, the five tokens passed over, then the
// behaviour-monitoring fields.
Tokens V10Source() {
  return Count(1, 25) + Numbered(u"x", 26, 37) + Numbered(u"t", 38, 61) + Numbered(u"y", 62, 72) +
         Tokens{u"101", u"102", u"103"} + Numbered(u"p", 1, 5) +
         Tokens{u"dac", u"7", u"pol", u"blk", u"tru", u"never"};
}

// Positions 3 to 62 of V10Source() under both classes.
Tokens V10Positions3To62() {
  return Tokens{u"3",          u"4",         u"5",  u"0",
                u"3000000000",  // 7: the database's scan type
                u"536870920",  u"9",         u"1",  u"4",  u"536870922", u"11", u"1",
                u"4",          u"536870924", u"13", u"1",  u"4",         u"14", u"15",
                u"16",         u"17",        u"18", u"19", u"1",         u"1",  u"536870932",
                u"21",         u"1",         u"4",  u"22", u"23",        u"24", u"25"} +
         kCacheDays + Numbered(u"t", 38, 41) + Empty(4) + Numbered(u"t", 46, 61);
}

// N from the database, the entries from the source.
const Tokens kV10List = {u"3", u"101", u"102", u"103"};

TEST_F(MigraterServiceTest, V10TakesTheScanTypeAndTheListCountFromTheDatabase) {
  CDataMigraterV10 migrater(InstallPath(), database_);
  const Tokens expected = Tokens{u"1", u"127106"} + V10Positions3To62() + kV10List +
                          Tokens{u"dac", u"dac", u"1", u"", u"", u"", u"8", u"24", u"0",
                                 u"6",   u"7",   u"",  u"", u"", u"", u"1", u"1"} +
                          TailOffFrom18();
  EXPECT_EQ(Migrate(migrater, V10Source()), expected);
  EXPECT_EQ(Queries(), (std::vector<std::string>{"DB_GET_KSRC_DEST_SCAN_TYPE\t" + kUid,
                                                 "DB_GET_SPYWARE_WHITE_LIST\t" + kUid}));
}

TEST_F(MigraterServiceTest, V10SP1TakesTheScanTypeAndTheListCountFromTheDatabase) {
  CDataMigraterV10SP1 migrater(InstallPath(), database_);
  const Tokens expected = Tokens{u"1", u"126978"} + V10Positions3To62() + kV10List +
                          Tokens{u"dac", u"dac", u"7", u"pol", u"blk", u"tru", u"8", u"24", u"0",
                                 u"6",   u"7",   u"",  u"",    u"",    u"",    u"1", u"1"} +
                          TailOffFrom18();
  EXPECT_EQ(Migrate(migrater, V10Source()), expected);
  EXPECT_EQ(Queries(), (std::vector<std::string>{"DB_GET_KSRC_DEST_SCAN_TYPE\t" + kUid,
                                                 "DB_GET_SPYWARE_WHITE_LIST\t" + kUid}));
}

// ---- 10.5 and 10.5 P1 ----

// A source whose tokens from S24 on lie `d` tokens further on: d = 0 for
// 10.5, 2 for 10.5 P1, which carries positions 26 and 27 as S24 and S25.
Tokens V105Source(int d) {
  return Count(1, 31 + d) + Numbered(u"t", 32 + d, 55 + d) +
         Tokens{u"dac", u"7", u"pol", u"blk", u"tru"} + Count(61 + d, 65 + d) +
         Numbered(u"w", 66 + d, 69 + d) + Tokens{u"never"};
}

const Tokens kV105Head = {u"1",          u"126978", u"3", u"4", u"5",
                          u"4294967295",   // 6: the first service switch value
                          u"3000000000"};  // 7: the scan type
const std::vector<std::string> kV105Queries = {"DB_GET_SERVICE_SWITCH\t" + kUid,
                                               "DB_GET_KSRC_DEST_SCAN_TYPE\t" + kUid,
                                               "DB_GET_SPYWARE_WHITE_LIST\t" + kUid};

TEST_F(MigraterServiceTest, V105TakesServiceSwitchScanTypeAndListFromTheDatabase) {
  CDataMigraterV105 migrater(InstallPath(), database_);
  const Tokens expected = kV105Head + Count(6, 23) + Tokens{u"1", u"1"} + Count(24, 31) +
                          kCacheDays + Numbered(u"t", 32, 35) + Empty(4) + Numbered(u"t", 40, 55) +
                          kDatabaseList + Tokens{u"dac", u"dac", u"7", u"pol", u"blk", u"tru"} +
                          Count(61, 65) + Numbered(u"w", 66, 69) + Tokens{u"1", u"1"} +
                          TailOffFrom18();
  EXPECT_EQ(Migrate(migrater, V105Source(0)), expected);
  EXPECT_EQ(Queries(), kV105Queries);
}

TEST_F(MigraterServiceTest, V105P1TakesServiceSwitchScanTypeAndListFromTheDatabase) {
  CDataMigraterV105_P1 migrater(InstallPath(), database_);
  const Tokens expected = kV105Head + Count(6, 23) + Tokens{u"24", u"25"} + Count(26, 33) +
                          kCacheDays + Numbered(u"t", 34, 37) + Empty(4) + Numbered(u"t", 42, 57) +
                          kDatabaseList + Tokens{u"dac", u"dac", u"7", u"pol", u"blk", u"tru"} +
                          Count(63, 67) + Numbered(u"w", 68, 71) + Tokens{u"1", u"1"} +
                          TailOffFrom18();
  EXPECT_EQ(Migrate(migrater, V105Source(2)), expected);
  EXPECT_EQ(Queries(), kV105Queries);
}

// ---- 10.6 and 10.6 SP1 ----

// Tail positions T1 to T47 of a 10.6 source, in canonical form.
const Tokens kV106Tail =
    Tokens{u"dac", u"dac-out", u"1",       u"pol", u"blk", u"tru",     u"25",      u"24", u"0",
           u"3",   u"2",       u"iw",      u"ew",  u"ib",  u"eb",      u"1",       u"1",  u"6",
           u"7",   u"usb-in",  u"usb-out", u"2",   u"3",   u"mail-in", u"mail-out"} +
    Count(26, 33) + Numbered(u"l", 34, 47);

// The source has the current layout, with its own service switch (6), scan
// type (7) and list of two: none of them is asked of the database.
const Tokens kV106Source =
    Count(1, 38) + Numbered(u"t", 39, 62) + Tokens{u"2", u"101", u"102"} + kV106Tail;
const Tokens kV106Expected = Count(1, 38) + Numbered(u"t", 39, 42) + Empty(4) +
                             Numbered(u"t", 47, 62) + Tokens{u"2", u"101", u"102"} + kV106Tail;

TEST_F(MigraterServiceTest, V106AsksTheDatabaseNothing) {
  CDataMigraterV106 migrater(InstallPath(), database_);
  EXPECT_EQ(Migrate(migrater, kV106Source), kV106Expected);
  EXPECT_TRUE(Queries().empty());
}

TEST_F(MigraterServiceTest, V106SP1AsksTheDatabaseNothing) {
  CDataMigraterV106_SP1 migrater(InstallPath(), database_);
  EXPECT_EQ(Migrate(migrater, kV106Source), kV106Expected);
  EXPECT_TRUE(Queries().empty());
}

// ---- Answers that are not the usual ones ----

TEST_F(MigraterServiceTest, AListLongerThanTheContainerIsCut) {
  CDataMigraterV8 migrater(InstallPath(), database_);
  std::string result;
  migrater.MigrateDBData("", &result, kLongListUid);
  const Tokens out = Split(FromBytes(result));
  ASSERT_EQ(out.size(), 62u + 1 + 1024 + 47);
  EXPECT_EQ(out[62], u"1024");
  EXPECT_EQ(out[63 + 1023], u"1024");  // the last entry taken
  EXPECT_EQ(out[63 + 1024], u"");      // T1
}

TEST_F(MigraterServiceTest, ADomainTheServiceLacksReadsAsZerosAndNoList) {
  // The service answers every query about it with the empty reply.
  const std::u16string unknown = u"0a1b2c3d-0000-4000-8000-00000000000e";
  CDataMigraterV10 v10(InstallPath(), database_);
  std::string result;
  v10.MigrateDBData(ToBytes(Join(V10Source())), &result, unknown);
  Tokens out = Split(FromBytes(result));
  ASSERT_EQ(out.size(), 62u + 1 + 47);
  EXPECT_EQ(out[6], u"0");    // 7: scan type
  EXPECT_EQ(out[62], u"0");   // N = 0: no source token is an entry
  EXPECT_EQ(out[63], u"p3");  // so the five passed over end two tokens early
  CDataMigraterV105 v105(InstallPath(), database_);
  v105.MigrateDBData(ToBytes(Join(V105Source(0))), &result, unknown);
  out = Split(FromBytes(result));
  ASSERT_EQ(out.size(), 62u + 1 + 47);
  EXPECT_EQ((Tokens{out[5], out[6], out[62], out[63]}), (Tokens{u"0", u"0", u"0", u"dac"}));
}

}  // namespace
}  // namespace migrate_testing
