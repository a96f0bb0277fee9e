#include "migrate/PortelleDataMigraterV8.h"

#include <gtest/gtest.h>

#include "migrate/StoredValueCipher.h"
#include "migrate/testing/MigraterTestSupport.h"

namespace migrate_testing {
namespace {

class MigraterV8Test : public MigraterTest {
 protected:
  CDataMigraterV8 migrater_{InstallPath(), db_};
};

// An 8.x configuration: S1 to S67, then tokens that must not be read.
Tokens V8Source() {
  Tokens s = {u"16778240",                                   // S1 0x1000400
              u"777",                                        // S2, dropped
              u"16385",                                      // S3 0x4001, manual flags
              u"3",                                          // S4
              u"16386",                                      // S5 0x4002, real-time flags
              u"5",                                          // S6
              u"16388",                                      // S7 0x4004, scheduled flags
              u"6",                                          // S8
              u"1",        u"2",  u"30", u"1", u"15", u"2",  // S9-S14 schedule
              u"16392",                                      // S15 0x4008, scan-now flags
              u"7",                                          // S16
              u"11",       u"12", u"13", u"14"};             // S17-S20
  const Tokens skipped = Numbered(u"x", 21, 32);
  s.insert(s.end(), skipped.begin(), skipped.end());
  const Tokens strings = {u"*.exe",   u"*.dll",   u"*.com",   u"*.bat",    // S33-S36
                          u"C:\\mv1", u"C:\\mv2", u"C:\\mv3", u"C:\\mv4",  // S37-S40
                          u"ex1",     u"ex2",     u"ex3",     u"ex4",      // S41-S44
                          u"ee1",     u"ee2",     u"ee3",     u"ee4",     u"ee5", u"ee6", u"ee7",
                          u"ee8",     u"ef1",     u"ef2",     u"ef3",     u"ef4"};  // S53-S56
  s.insert(s.end(), strings.begin(), strings.end());
  const Tokens tail = Numbered(u"y", 57, 67);
  s.insert(s.end(), tail.begin(), tail.end());
  s.push_back(u"99");
  s.push_back(u"never");
  return s;
}

TEST_F(MigraterV8Test, RewritesAnEightSourceTokenByToken) {
  WriteMainIni(
      "[INI_PROGRAM_VERSION_SECTION]\r\nServicePack_Version=0\r\n"
      "[Global Setting]\r\nOleLayer=1\r\nWatchDogOnOff=0\r\n"
      "[URL_FILTER_INI_SECTION]\r\n"
      "URLFilterEnable_InOffice=1\r\nURLFilterLogEnable_InOffice=0\r\n"
      "URLFilterRatingLevel_InOffice=3\r\n"
      "URLFilterEnable_OutOffice=0\r\nURLFilterLogEnable_OutOffice=1\r\n"
      "URLFilterAWSLCount_InOffice=2\r\n"
      "URLFilterAWSL_InOffice000=" +
      std::string(kStoredA) +
      "\r\n"
      "URLFilterAWSL_InOffice001=" +
      std::string(kStoredB) +
      "\r\n"
      "URLFilterAWSLCount_OutOffice=2\r\n"
      "URLFilterAWSL_OutOffice000=plain.example\r\n"
      "URLFilterAWSL_OutOffice001=other.example\r\n");
  db_.status = 0x401;
  db_.list = {5, -7};

  Tokens expected = {u"0",      // 1: 0x1000400 without 0x400 (service pack 0), 0x1000000 moved
                     u"65936",  // 2: 0x10190, no watchdog
                     u"0",
                     u"0",         // 3, 4
                     u"33554433",  // 5: status 0x401 with 0x400 moved to 0x2000000
                     u"0",
                     u"0",          // 6, 7
                     u"536936449",  // 8: 0x4001 -> 0x10001, OLE mark
                     u"3",
                     u"1",
                     u"4",
                     u"536887298",  // 12: 0x4002 with the OLE mark only
                     u"5",
                     u"1",
                     u"4",
                     u"536887300",  // 16: 0x4004 with the OLE mark only
                     u"6",
                     u"1",
                     u"4",
                     u"1",
                     u"2",
                     u"30",
                     u"1",
                     u"15",
                     u"2",  // 20-25
                     u"1",
                     u"1",          // 26, 27
                     u"536936456",  // 28: 0x4008 -> 0x10008, OLE mark
                     u"7",
                     u"1",
                     u"4",
                     u"11",
                     u"12",
                     u"13",
                     u"14",  // 32-35
                     u"28",
                     u"60",
                     u"30",  // 36-38
                     u"*.exe",
                     u"*.dll",
                     u"*.com",
                     u"*.bat",
                     u"",
                     u"",
                     u"",
                     u"",  // move directories dropped
                     u"ex1",
                     u"ex2",
                     u"ex3",
                     u"ex4",
                     u"ee1",
                     u"ee2",
                     u"ee3",
                     u"ee4",
                     u"ee5",
                     u"ee6",
                     u"ee7",
                     u"ee8",
                     u"ef1",
                     u"ef2",
                     u"ef3",
                     u"ef4",
                     u"2",
                     u"5",
                     u"-7",  // the database's list
                     u"",
                     u"",
                     u"0",
                     u"",
                     u"",
                     u"",    // T1-T6
                     u"9",   // T7: enabled | 0x8
                     u"24",  // T8: logging | 0x8
                     u"0",
                     u"3",
                     u"1",                     // T9-T11
                     u"a.example|b.example|",  // T12: deciphered entries
                     u"||",                    // T13: unmarked entries count as empty
                     u"",
                     u"",  // T14, T15
                     u"0",
                     u"0",
                     u"0",
                     u"0"};  // T16-T19
  const Tokens rest = TailOffFrom18();
  expected.insert(expected.end(), rest.begin() + 2, rest.end());

  EXPECT_EQ(Migrate(migrater_, V8Source()), expected);
  EXPECT_EQ(db_.last_list_maximum, 1024);
  EXPECT_EQ(db_.asked, (Tokens{kDomainUid, kDomainUid}));
}

TEST_F(MigraterV8Test, ServicePackOleLayerAndWatchdogDefaults) {
  // Service pack 2 keeps 0x400 in the first word; OleLayer 0 writes zero
  // layers and no mark; a missing WatchDogOnOff counts as on.
  WriteMainIni(
      "[INI_PROGRAM_VERSION_SECTION]\r\nServicePack_Version=2\r\n"
      "[Global Setting]\r\nOleLayer=0\r\n");
  Tokens source = V8Source();
  source[0] = u"1024";
  const Tokens out = Migrate(migrater_, source);
  ASSERT_EQ(out.size(), 110u);
  EXPECT_EQ(out[0], u"1024");
  EXPECT_EQ(out[1], u"127120");  // 0x1F090
  EXPECT_EQ(out[7], u"65537");   // 0x10001
  EXPECT_EQ(out[11], u"16386");
  EXPECT_EQ(out[15], u"16388");
  EXPECT_EQ(out[27], u"65544");  // 0x10008
  for (const size_t ole_position : {10, 14, 18, 30}) EXPECT_EQ(out[ole_position - 1], u"0");
}

TEST_F(MigraterV8Test, FailedQueriesWriteZeroStatusAndAnEmptyList) {
  db_.status_ok = false;
  db_.list_ok = false;
  const Tokens out = Migrate(migrater_, V8Source());
  ASSERT_EQ(out.size(), 110u);
  EXPECT_EQ(out[4], u"0");
  EXPECT_EQ(out[62], u"0");
  EXPECT_EQ(out[63], u"");  // T1 follows the count at once
}

TEST_F(MigraterV8Test, MissingIniGivesTheDefaults) {
  const Tokens out = Migrate(migrater_, {});
  ASSERT_EQ(out.size(), 110u);
  EXPECT_EQ(out[1], u"127120");  // 0x10090 | 0xF000
  const size_t t7 = 63 + 7 - 1;
  EXPECT_EQ((Tokens(out.begin() + t7, out.begin() + t7 + 7)),
            (Tokens{u"8", u"8", u"0", u"1", u"1", u"", u""}));
}

class BWListTest : public MigraterV8Test {};

TEST_F(BWListTest, EntriesAreJoinedAfterTheTextGiven) {
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\n"
      "URLFilterAWSLCount_InOffice=3\r\n"
      "URLFilterAWSL_InOffice000=" +
      std::string(kStoredA) +
      "\r\n"
      "URLFilterAWSL_InOffice001=plain\r\n"
      "URLFilterAWSL_InOffice002=" +
      std::string(kStoredB) +
      "\r\n"
      "URLFilterAWSLCount_OutOffice=0\r\n"
      "URLFilterAWSL_OutOffice000=" +
      std::string(kStoredA) + "\r\n");
  std::u16string text = u"kept:";
  migrater_.GetBWListAsString(BWListKind::kInOffice, &text);
  EXPECT_EQ(text, u"kept:a.example||b.example|");
  std::u16string out;
  migrater_.GetBWListAsString(BWListKind::kOutOffice, &out);
  EXPECT_EQ(out, u"");
}

TEST_F(BWListTest, UndecipherableCutAndTabbedEntriesCountAsEmpty) {
  // A stored form longer than the 1,534-character value buffer arrives cut
  // and no longer deciphers; a plain text with a TAB would split its token.
  const std::string long_stored = stored_value::EncipherStoredValue(std::string(760, 'x'));
  ASSERT_GT(long_stored.size(), 1534u);
  const std::string fits = stored_value::EncipherStoredValue(std::string(700, 'y'));
  ASSERT_LT(fits.size(), 1535u);
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\n"
      "URLFilterAWSLCount_OutOffice=5\r\n"
      "URLFilterAWSL_OutOffice000=" +
      long_stored +
      "\r\n"
      "URLFilterAWSL_OutOffice001=" +
      stored_value::EncipherStoredValue("a\tb") +
      "\r\n"
      "URLFilterAWSL_OutOffice002=!CRYPT!00zz\r\n"
      "URLFilterAWSL_OutOffice003=" +
      fits + "\r\n");
  std::u16string text;
  migrater_.GetBWListAsString(BWListKind::kOutOffice, &text);
  // The count of 5 is above the four entries the section holds: only these
  // are joined.
  EXPECT_EQ(text, u"|||" + std::u16string(700, u'y') + u"|");
}

TEST_F(BWListTest, ACountOfBillionsJoinsTheEntriesThatAreThere) {
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\n"
      "URLFilterAWSLCount_InOffice=2000000000\r\n"
      "URLFilterAWSL_InOffice000=" +
      std::string(kStoredA) +
      "\r\n"
      "URLFilterAWSL_InOffice002=" +
      std::string(kStoredB) +
      "\r\n"
      "URLFilterAWSL_OutOffice007=" +
      std::string(kStoredA) + "\r\n");
  std::u16string text;
  migrater_.GetBWListAsString(BWListKind::kInOffice, &text);
  EXPECT_EQ(text, u"a.example||b.example|");
}

TEST_F(MigraterV8Test, MigrateIniDataCopiesUpdateSourceWebThreatAndNotification) {
  dir_.Write("private/bsnserver.ini",
             "[INI_UPDATE_SETTING]\r\nUpdateSourceType=2\r\nAUServerUNCPath=\\\\srv\\au\r\n"
             "DefaultAUServer=http://au.example\r\nUpdateSource=http://au.example\r\n");
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\nURLFilterEnable_InOffice=1\r\n"
      "URLFilterLogEnable_OutOffice=1\r\nURLFilterRatingLevel_OutOffice=4\r\n"
      "[INI_NOTIFICATION_SECTION]\r\nMail=on\r\n");
  migrater_.MigrateIniData(DestIni());
  // The update source equals the default server and stays behind; a missing
  // TOTAL_OUS counts as 1 and brings an empty ServerOUS0.
  EXPECT_EQ(dir_.Read("tmp.ini"),
            "[INI_UPDATE_SETTING]\r\nUpdateSourceType=2\r\nAUServerUNCPath=\\\\srv\\au\r\n"
            "UseServerOus=\r\nTOTAL_OUS=1\r\nServerOUS0=\r\n"
            "[URL_FILTER_INI_SECTION]\r\nURLFilterCfgFlag_InOffice=9\r\n"
            "URLFilterCfgFlag_OutOffice=24\r\nURLFilterRatingLevel_InOffice=1\r\n"
            "URLFilterRatingLevel_OutOffice=4\r\nURLFilterQueryMode_InOffice=0\r\n"
            "[INI_NOTIFICATION_SECTION]\r\nMail=on\r\n");
  EXPECT_TRUE(migrater_.NeedMigrateWatchDogSettings());
  EXPECT_TRUE(migrater_.NeedExportClientPwd());
}

TEST_F(MigraterV8Test, UpdateSourceAndServerList) {
  dir_.Write("src.ini",
             "[INI_UPDATE_SETTING]\r\nUpdateSource=http://mine.example\r\n"
             "UseServerOus=1\r\nTOTAL_OUS=3\r\nServerOUS0=a\r\nServerOUS2=c\r\n");
  EXPECT_TRUE(migrater_.MigrateServerUpdateSourceFrom8(dir_.Wide("src.ini"), DestIni()));
  EXPECT_EQ(dir_.Read("tmp.ini"),
            "[INI_UPDATE_SETTING]\r\nUpdateSourceType=\r\nAUServerUNCPath=\r\n"
            "UpdateSource=http://mine.example\r\nUseServerOus=1\r\nTOTAL_OUS=3\r\n"
            "ServerOUS0=a\r\nServerOUS1=\r\nServerOUS2=c\r\n");

  // A count of billions copies the servers up to the highest one there.
  dir_.Write("many.ini",
             "[INI_UPDATE_SETTING]\r\nTOTAL_OUS=2000000000\r\n"
             "ServerOUS0=a\r\nserverous3=d\r\n");
  EXPECT_TRUE(migrater_.MigrateServerUpdateSourceFrom8(dir_.Wide("many.ini"), dir_.Wide("m.ini")));
  EXPECT_EQ(dir_.Read("m.ini"),
            "[INI_UPDATE_SETTING]\r\nUpdateSourceType=\r\nAUServerUNCPath=\r\nUseServerOus=\r\n"
            "TOTAL_OUS=4\r\nServerOUS0=a\r\nServerOUS1=\r\nServerOUS2=\r\nServerOUS3=d\r\n");
  // Without any server it is the one server of a source without the count.
  dir_.Write("bare.ini", "[INI_UPDATE_SETTING]\r\nTOTAL_OUS=2000000000\r\n");
  EXPECT_TRUE(migrater_.MigrateServerUpdateSourceFrom8(dir_.Wide("bare.ini"), dir_.Wide("b.ini")));
  EXPECT_EQ(dir_.Read("b.ini"),
            "[INI_UPDATE_SETTING]\r\nUpdateSourceType=\r\nAUServerUNCPath=\r\nUseServerOus=\r\n"
            "TOTAL_OUS=1\r\nServerOUS0=\r\n");

  // A count of 0 or less writes neither the count nor any server.
  dir_.Write("none.ini", "[INI_UPDATE_SETTING]\r\nTOTAL_OUS=0\r\nServerOUS0=a\r\n");
  EXPECT_TRUE(migrater_.MigrateServerUpdateSourceFrom8(dir_.Wide("none.ini"), dir_.Wide("n.ini")));
  EXPECT_EQ(dir_.Read("n.ini"),
            "[INI_UPDATE_SETTING]\r\nUpdateSourceType=\r\nAUServerUNCPath=\r\nUseServerOus=\r\n");
}

}  // namespace
}  // namespace migrate_testing
