#include "migrate/PortelleDataMigraterV105.h"

#include <gtest/gtest.h>

#include "migrate/PortelleDataMigraterV105_P1.h"
#include "migrate/testing/MigraterTestSupport.h"

namespace migrate_testing {
namespace {

class MigraterV105Test : public MigraterTest {
 protected:
  MigraterV105Test() {
    db_.switch_first = 7;
    db_.switch_second = 8;
    db_.switch_third = 9;
    db_.dest_scan_type = 3;
    db_.list = {5, 6};
  }

  CDataMigraterV105 v105_{InstallPath(), db_};
  CDataMigraterV105_P1 p1_{InstallPath(), db_};
};

// A 10.5 configuration; with `patch` it carries positions 26 and 27 (126,
// 127) after S23. Numbers stand for the position they go to (108 for 8).
Tokens V105Source(bool patch) {
  Tokens s = {u"16778240", u"0", u"3", u"4", u"1025"};  // S1 0x1000400, S2 0, S5 0x401
  {
    const Tokens fields = Numbered(u"", 108, 125);
    s.insert(s.end(), fields.begin(), fields.end());
  }
  if (patch) {
    s.push_back(u"126");
    s.push_back(u"127");
  }
  const Tokens sn = Numbered(u"", 128, 135);
  s.insert(s.end(), sn.begin(), sn.end());
  const Tokens strings = Numbered(u"s", 39, 62);
  s.insert(s.end(), strings.begin(), strings.end());
  const Tokens tail = {u"dac",  u"1",  u"pol", u"blk", u"trust",  // T1/T2, T3-T6
                       u"9",    u"24", u"0",   u"3",   u"1",      // T7-T11
                       u"iw",   u"ew", u"ib",  u"eb",             // T12-T15
                       u"never"};
  s.insert(s.end(), tail.begin(), tail.end());
  return s;
}

Tokens ExpectedV105(const Tokens& positions_26_27) {
  Tokens out = {u"16778240",  // 1: unchanged
                u"126976",    // 2: 0 | 0x10000 | 0xF000
                u"3",        u"4", u"1025",
                u"7",   // 6: the first service-switch value
                u"3"};  // 7
  const Tokens fields = Numbered(u"", 108, 125);
  out.insert(out.end(), fields.begin(), fields.end());
  out.insert(out.end(), positions_26_27.begin(), positions_26_27.end());
  const Tokens sn = Numbered(u"", 128, 135);
  out.insert(out.end(), sn.begin(), sn.end());
  const Tokens rest = {u"28",  u"60",  u"30",  u"s39",   u"s40", u"s41", u"s42", u"",
                       u"",    u"",    u"",    u"s47",   u"s48", u"s49", u"s50", u"s51",
                       u"s52", u"s53", u"s54", u"s55",   u"s56", u"s57", u"s58", u"s59",
                       u"s60", u"s61", u"s62", u"2",     u"5",   u"6",   u"dac", u"dac",
                       u"1",   u"pol", u"blk", u"trust", u"9",   u"24",  u"0",   u"3",
                       u"1",   u"iw",  u"ew",  u"ib",    u"eb",  u"1",   u"1"};  // T16, T17
  out.insert(out.end(), rest.begin(), rest.end());
  const Tokens off = TailOffFrom18();
  out.insert(out.end(), off.begin(), off.end());
  return out;
}

TEST_F(MigraterV105Test, RewritesBothFormats) {
  EXPECT_EQ(Migrate(v105_, V105Source(false)), ExpectedV105({u"1", u"1"}));
  EXPECT_EQ(Migrate(p1_, V105Source(true)), ExpectedV105({u"126", u"127"}));
}

TEST_F(MigraterV105Test, ThePatchFormatReadsTwoTokensFurtherOn) {
  const Tokens out = Migrate(p1_, V105Source(false));
  ASSERT_EQ(out.size(), 62u + 1 + 2 + 47);
  EXPECT_EQ((Tokens(out.begin() + 25, out.begin() + 29)), (Tokens{u"128", u"129", u"130", u"131"}));
  EXPECT_EQ(out[33], u"0");  // 34 takes the text s39
  EXPECT_EQ(out[38], u"s41");
  EXPECT_EQ(out[61], u"1");    // 62 takes the source's T3
  EXPECT_EQ(out[65], u"pol");  // T1 and T2 take its T4
  EXPECT_EQ(out[66], u"pol");
}

TEST_F(MigraterV105Test, FailedQueriesWriteZeroes) {
  db_.switch_ok = false;
  db_.dest_ok = false;
  db_.list_ok = false;
  const Tokens out = Migrate(v105_, V105Source(false));
  ASSERT_EQ(out.size(), 110u);
  EXPECT_EQ(out[5], u"0");
  EXPECT_EQ(out[6], u"0");
  EXPECT_EQ(out[62], u"0");
  EXPECT_EQ(out[63], u"dac");
}

TEST_F(MigraterV105Test, MigrateIniDataKeepsTheFlagWordsAsTheyAre) {
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\nURLFilterEnable_InOffice=1\r\nURLFilterCfgFlag_InOffice=25\r\n"
      "[INI_NOTIFICATION_SECTION]\r\nMail=on\r\n"
      "[DAC_APPROVED_LIST]\r\nCount=1\r\nItem0=usb\r\n"
      "[ServiceSwitch]\r\nFirewall=1\r\n[VIGIL_Exception]\r\nE=1\r\n"
      "[Global Setting]\r\nSP_EnableFileProtection=0\r\n");
  const std::string expected =
      "[URL_FILTER_INI_SECTION]\r\nURLFilterCfgFlag_InOffice=25\r\n"
      "URLFilterCfgFlag_OutOffice=0\r\nURLFilterRatingLevel_InOffice=1\r\n"
      "URLFilterRatingLevel_OutOffice=1\r\nURLFilterQueryMode_InOffice=0\r\n"
      "[INI_NOTIFICATION_SECTION]\r\nMail=on\r\n"
      "[VIGIL_DACPolicy]\r\nCount=0\r\nCountOut=0\r\nEnable=1\r\nEnableOut=1\r\n"
      "PopAlert=1\r\nPopAlertOut=1\r\n"
      "[DAC_EXECUTABLE_LIST]\r\nCount=0\r\nCountOut=0\r\n"
      "[DAC_APPROVED_LIST]\r\nCount=1\r\nCountOut=1\r\nItem0=usb\r\nItemOut0=usb\r\n"
      "[VIGIL_Exception]\r\nE=1\r\n[ServiceSwitch]\r\nFirewall=1\r\n"
      "[INI_CLIENT_SECTION]\r\nSP_EnableFileProtection=0\r\n"
      "SP_EnableRegistryKeyProtection=1\r\nSP_EnableProcessProtection=1\r\nECSP=1\r\n";
  EXPECT_TRUE(v105_.MigrateIniData(DestIni()));
  EXPECT_EQ(dir_.Read("tmp.ini"), expected);
  EXPECT_TRUE(p1_.MigrateIniData(dir_.Wide("p1.ini")));
  EXPECT_EQ(dir_.Read("p1.ini"), expected);
}

}  // namespace
}  // namespace migrate_testing
