#include "migrate/PortelleDataMigraterV10.h"

#include <gtest/gtest.h>

#include "migrate/PortelleDataMigraterV10SP1.h"
#include "migrate/testing/MigraterTestSupport.h"

namespace migrate_testing {
namespace {

class MigraterV10Test : public MigraterTest {
 protected:
  CDataMigraterV10 v10_{InstallPath(), db_};
  CDataMigraterV10SP1 sp1_{InstallPath(), db_};
};

// A 10 configuration up to the behaviour-monitoring text (S80) with a
// source list of two entries; `more` follows it.
Tokens V10Source(const Tokens& more) {
  Tokens s = {u"1024",  // S1 0x400
              u"9",     // S2: bits 0x8 and 0x1
              u"33",    u"44",
              u"1025",                                    // S5 0x401
              u"70000",                                   // S6 in-office level, 16 bits: 4464
              u"2",                                       // S7
              u"16385", u"3",                             // S8 0x4001, S9
              u"16386", u"5",                             // S10 0x4002, S11
              u"16388", u"6",                             // S12 0x4004, S13
              u"1",     u"2",  u"30", u"1", u"15", u"2",  // S14-S19
              u"16392", u"7",                             // S20 0x4008, S21
              u"11",    u"12", u"13", u"14"};             // S22-S25
  const Tokens skipped = Numbered(u"x", 26, 37);
  s.insert(s.end(), skipped.begin(), skipped.end());
  const Tokens strings = {u"e1", u"e2", u"e3", u"e4", u"m1", u"m2", u"m3", u"m4",
                          u"x1", u"x2", u"x3", u"x4", u"n1", u"n2", u"n3", u"n4",
                          u"n5", u"n6", u"n7", u"n8", u"f1", u"f2", u"f3", u"f4"};
  s.insert(s.end(), strings.begin(), strings.end());
  const Tokens skipped2 = Numbered(u"y", 62, 72);
  s.insert(s.end(), skipped2.begin(), skipped2.end());
  const Tokens rest = {u"101",      u"102",                       // S73, S74: the list
                       u"55",       u"p2",  u"p3", u"p4", u"p5",  // passed over
                       u"dacpolicy"};                             // S80
  s.insert(s.end(), rest.begin(), rest.end());
  s.insert(s.end(), more.begin(), more.end());
  return s;
}

// Positions 3 to 62 of the V10 source above, with OleLayer 1.
Tokens V10Positions3To62() {
  return {u"33",        u"44", u"33554433",  // 3, 4; 5: 0x401 -> 0x2000001
          u"0",         u"3",                // 6; 7: the database's scan type
          u"536936449", u"3",  u"1",        u"4",  u"536887298", u"5",  u"1",  u"4",
          u"536887300", u"6",  u"1",        u"4",  u"1",         u"2",  u"30", u"1",
          u"15",        u"2",  u"1",        u"1",  u"536936456", u"7",  u"1",  u"4",
          u"11",        u"12", u"13",       u"14", u"28",        u"60", u"30", u"e1",
          u"e2",        u"e3", u"e4",       u"",   u"",          u"",   u"",   u"x1",
          u"x2",        u"x3", u"x4",       u"n1", u"n2",        u"n3", u"n4", u"n5",
          u"n6",        u"n7", u"n8",       u"f1", u"f2",        u"f3", u"f4"};
}

Tokens Concat(std::initializer_list<Tokens> parts) {
  Tokens all;
  for (const Tokens& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(MigraterV10Test, RewritesATenSource) {
  db_.dest_scan_type = 3;
  db_.list = {900, 901};  // only the count is used
  const Tokens expected =
      Concat({{u"1024", u"127113"},  // 2: 0x9 | 0x80 | 0x10000 | 0x1000 | 0xE000 = 0x1F089
              V10Positions3To62(),
              {u"2",         u"101",       u"102",  // the count, the source's entries
               u"dacpolicy", u"dacpolicy", u"1",   u"", u"", u"",  // T1-T6
               u"25",        u"8",         u"0",                   // T7 0x19, T8 0x8, T9
               u"4464",      u"2",                                 // T10, T11
               u"",          u"",                                  // T12, T13: no approved lists
               u"",          u"",          u"1",   u"1"},          // T14-T17
              TailOffFrom18()});
  EXPECT_EQ(Migrate(v10_, V10Source({u"never"})), expected);
  EXPECT_EQ(db_.asked, (Tokens{kDomainUid, kDomainUid}));
}

TEST_F(MigraterV10Test, TheDatabaseCountDecidesHowManySourceTokensAreEntries) {
  // Three entries wanted, two present: the first passed-over token becomes
  // the third entry and every later field comes one token further on.
  db_.list = {1, 2, 3};
  Tokens source = V10Source({u"after", u"never"});
  source[0] = u"16778240";  // 0x1000400: 0x1000000 moves to 0x100 of position 2
  const Tokens out = Migrate(v10_, source);
  ASSERT_EQ(out.size(), 62u + 1 + 3 + 47);
  EXPECT_EQ(out[0], u"1024");
  EXPECT_EQ(out[1], u"127369");  // 0x1F189
  EXPECT_EQ((Tokens(out.begin() + 62, out.begin() + 68)),
            (Tokens{u"3", u"101", u"102", u"55", u"after", u"after"}));
}

TEST_F(MigraterV10Test, FailedQueriesWriteZeroesAndCopyNoEntries) {
  db_.dest_ok = false;
  db_.list_ok = false;
  const Tokens out = Migrate(v10_, V10Source({}));
  ASSERT_EQ(out.size(), 110u);
  EXPECT_EQ(out[6], u"0");
  EXPECT_EQ(out[62], u"0");
  // Without entries the list tokens are passed over as the five that
  // follow; T1 is then the fourth passed-over one.
  EXPECT_EQ(out[63], u"p4");
}

TEST_F(MigraterV10Test, ServicePackFormat) {
  WriteMainIni(
      "[Global Setting]\r\nOleLayer=0\r\nECSP=0\r\n"
      "[URL_FILTER_INI_SECTION]\r\nURLFilterAWSLCount_InOffice=1\r\n"
      "URLFilterAWSL_InOffice000=" +
      std::string(kStoredA) +
      "\r\n"
      "URLFilterAWSLCount_OutOffice=2\r\n");
  db_.dest_scan_type = 3;
  db_.list = {900, 901};
  const Tokens ten = V10Positions3To62();
  const Tokens expected =
      Concat({{u"1024",  u"122889",  // 2: 0x9 | 0x10000 | 0xE000 = 0x1E009 (no 0x80, ECSP off)
               u"33",    u"44",     u"33554433", u"0",  u"3",     u"65537", u"3",
               u"0",     u"4",  // OleLayer 0: no mark, layer 0
               u"16386", u"5",      u"0",        u"4",  u"16388", u"6",     u"0",
               u"4",     u"1",      u"2",        u"30", u"1",     u"15",    u"2",
               u"1",     u"1",      u"65544",    u"7",  u"0",     u"4",     u"11",
               u"12",    u"13",     u"14",       u"28", u"60",    u"30"},
              Tokens(ten.begin() + 36, ten.end()),  // positions 39 to 62
              {u"2", u"101", u"102", u"dacpolicy", u"dacpolicy", u"0", u"pol", u"blk",
               u"trust",  // T1-T6
               u"25", u"8", u"0", u"4464", u"2",
               // The out-of-office count of 2 finds no entry: the list is empty.
               u"a.example|", u"", u"", u"", u"1", u"1"},
              TailOffFrom18()});
  EXPECT_EQ(Migrate(sp1_, V10Source({u"0", u"pol", u"blk", u"trust", u"never"})), expected);
}

TEST_F(MigraterV10Test, MigrateIniData) {
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\nURLFilterEnable_OutOffice=1\r\n"
      "URLFilterAWSLCount_InOffice=1\r\nURLFilterAWSL_InOffice000=a\r\n"
      "[INI_NOTIFICATION_SECTION]\r\nMail=on\r\n"
      "[KSRC_SCAN_INI_SECTION]\r\nDepth=2\r\n"
      "[VIGIL_DACPolicy]\r\nCount=1\r\nPolicyId0=p\r\nAction0=3\r\n"
      "[Global Setting]\r\nECSP=0\r\nSP_EnableProcessProtection=0\r\n"
      "[VIGIL]\r\nOn=1\r\n[VIGIL_BMPolicy]\r\nP=1\r\n[VIGIL_Exception]\r\nE=1\r\n");
  const std::string v10_expected =
      "[URL_FILTER_INI_SECTION]\r\nURLFilterCfgFlag_InOffice=8\r\n"
      "URLFilterCfgFlag_OutOffice=9\r\nURLFilterRatingLevel_InOffice=1\r\n"
      "URLFilterRatingLevel_OutOffice=1\r\nURLFilterQueryMode_InOffice=0\r\n"
      "URLFilterAWSLCount_InOffice=1\r\nURLFilterAWSL_InOffice000=a\r\n"
      "[INI_NOTIFICATION_SECTION]\r\nMail=on\r\n"
      "[KSRC_SCAN_INI_SECTION]\r\nDepth=2\r\n"
      "[VIGIL_DACPolicy]\r\nCount=1\r\nCountOut=1\r\nEnable=1\r\nEnableOut=1\r\n"
      "PopAlert=1\r\nPopAlertOut=1\r\nPolicyId0=p\r\nPolicyIdOut0=p\r\n"
      "Action0=3\r\nActionOut0=3\r\nEnable0=\r\nEnableOut0=\r\n"
      "[DAC_EXECUTABLE_LIST]\r\nCount=0\r\nCountOut=0\r\n"
      "[DAC_APPROVED_LIST]\r\nCount=0\r\nCountOut=0\r\n"
      "[INI_CLIENT_SECTION]\r\nSP_EnableFileProtection=1\r\n"
      "SP_EnableRegistryKeyProtection=1\r\nSP_EnableProcessProtection=0\r\nECSP=0\r\n";
  EXPECT_TRUE(v10_.MigrateIniData(DestIni()));
  EXPECT_EQ(dir_.Read("tmp.ini"), v10_expected);

  EXPECT_TRUE(sp1_.MigrateIniData(dir_.Wide("sp1.ini")));
  EXPECT_EQ(
      dir_.Read("sp1.ini"),
      v10_expected + "[VIGIL]\r\nOn=1\r\n[VIGIL_BMPolicy]\r\nP=1\r\n[VIGIL_Exception]\r\nE=1\r\n");
  EXPECT_FALSE(v10_.NeedMigrateWatchDogSettings());
  EXPECT_FALSE(sp1_.NeedMigrateWatchDogSettings());
}

}  // namespace
}  // namespace migrate_testing
