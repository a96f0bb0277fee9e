#include "migrate/PortelleDataMigraterV106.h"

#include <gtest/gtest.h>

#include "migrate/PortelleDataMigraterV106_SP1.h"
#include "migrate/testing/MigraterTestSupport.h"
#include "platform/text.h"

namespace migrate_testing {
namespace {

class MigraterV106Test : public MigraterTest {
 protected:
  CDataMigraterV106 v106_{InstallPath(), db_};
  CDataMigraterV106_SP1 sp1_{InstallPath(), db_};
};

Tokens Concat(std::initializer_list<Tokens> parts) {
  Tokens all;
  for (const Tokens& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The 47 tail tokens of a current-layout source, and what they become.
Tokens TailSource() {
  return Concat(
      {{u"dac", u"dacOut", u" 1", u"pol", u"blk", u"trust", u"9", u"24", u"0", u"3", u"1", u"iw",
        u"ew", u"ib", u"eb", u"1", u"1", u"16", u"17", u"exIn", u"", u"22", u"23", u"ch", u"chOut",
        u"26", u"27", u"28", u"29", u"70000", u"-1",  // T30, T31: 16-bit fields,
                                                      // copied as 32-bit numbers
        u"32", u"33"},
       Numbered(u"L", 34, 47)});
}
Tokens TailExpected() {
  return Concat(
      {{u"dac", u"dacOut", u"1",     u"pol",        u"blk", u"trust", u"9",     u"24", u"0",
        u"3",   u"1",      u"iw",    u"ew",         u"ib",  u"eb",    u"1",     u"1",  u"16",
        u"17",  u"exIn",   u"",      u"22",         u"23",  u"ch",    u"chOut", u"26", u"27",
        u"28",  u"29",     u"70000", u"4294967295", u"32",  u"33"},
       Numbered(u"L", 34, 47)});
}

Tokens FixedSource() {
  return Concat({{u" 12", u"abc", u"-1", u"99999999999"},
                 Numbered(u"", 5, 38),
                 Numbered(u"t", 39, 49),
                 {u""},
                 Numbered(u"t", 51, 62)});
}
Tokens FixedExpected() {
  return Concat({{u"12", u"0", u"4294967295", u"4294967295"},
                 Numbered(u"", 5, 38),
                 Numbered(u"t", 39, 42),
                 {u"", u"", u"", u""},
                 Numbered(u"t", 47, 49),
                 {u""},
                 Numbered(u"t", 51, 62)});
}

TEST_F(MigraterV106Test, CopiesTheCurrentLayoutWithCanonicalNumbers) {
  const Tokens source = Concat({FixedSource(), {u"2", u"+7", u"0008"}, TailSource(), {u"extra"}});
  const Tokens expected = Concat({FixedExpected(), {u"2", u"7", u"8"}, TailExpected()});
  EXPECT_EQ(Migrate(v106_, source), expected);
  EXPECT_EQ(Migrate(sp1_, source), expected);
  EXPECT_TRUE(db_.asked.empty());
}

TEST_F(MigraterV106Test, AnEmptyListIsFollowedByTheTail) {
  const Tokens source = Concat({FixedSource(), {u"0"}, TailSource()});
  EXPECT_EQ(Migrate(v106_, source), Concat({FixedExpected(), {u"0"}, TailExpected()}));
}

TEST_F(MigraterV106Test, ListsLongerThanTheDatabaseContainerAreCarriedWhole) {
  // 1,100 entries, beyond the 1,024 that the older versions' database query
  // holds; written with leading zeros, so that each is seen to be copied as a
  // number.
  const Tokens source = Concat({FixedSource(), {u"1100"}, Numbered(u"0", 1, 1100), TailSource()});
  const Tokens expected =
      Concat({FixedExpected(), {u"1100"}, Numbered(u"", 1, 1100), TailExpected()});
  EXPECT_EQ(Migrate(v106_, source), expected);
  EXPECT_EQ(Migrate(sp1_, source), expected);
  EXPECT_TRUE(db_.asked.empty());
}

TEST_F(MigraterV106Test, AListCountAboveTheTokensPresentTakesOnlyWhatIsThere) {
  // The tail of a source that ends right after the list: zeros and empty
  // texts, by kind.
  const Tokens empty_tail = Concat({{u"", u"", u"0", u"", u"", u""},
                                    Tokens(5, u"0"),
                                    Tokens(4, u""),
                                    Tokens(4, u"0"),
                                    {u"", u"", u"0", u"0", u"", u""},
                                    Tokens(8, u"0"),
                                    Tokens(14, u"")});
  ASSERT_EQ(empty_tail.size(), 47u);
  // Counts of billions cost no more than the tokens there are.
  for (const std::u16string count : {u"4294967295", u"2000000000", u"3"}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(count));
    const Tokens source = Concat({FixedSource(), {count, u"1", u"0002"}});
    EXPECT_EQ(Migrate(v106_, source), Concat({FixedExpected(), {u"2", u"1", u"2"}, empty_tail}));
  }

  // A count above the entries but within the tokens that follow: the tail's
  // first tokens are taken as entries and the rest of the tail moves up.
  const Tokens source = Concat({FixedSource(), {u"4", u"5", u"6"}, TailSource()});
  const Tokens out = Migrate(sp1_, source);
  ASSERT_EQ(out.size(), 62u + 1 + 4 + 47);
  EXPECT_EQ(Tokens(out.begin() + 62, out.begin() + 69),
            (Tokens{u"4", u"5", u"6", u"0", u"0", u" 1", u"pol"}));
}

TEST_F(MigraterV106Test, MigrateIniDataCopiesTheSections) {
  WriteMainIni(
      "[URL_FILTER_INI_SECTION]\r\nURLFilterEnable_InOffice=1\r\n"
      "[ServiceSwitch]\r\nFirewall=1\r\n[VIGIL]\r\nOn=1\r\n"
      "[DAC_APPROVED_LIST]\r\nCount=1\r\nItem0=usb\r\n"
      "[VIGIL_DACPolicy]\r\nCount=0\r\n[KSRC_SCAN_INI_SECTION]\r\nDepth=2\r\n"
      "[Global Setting]\r\nECSP=0\r\n");
  const std::string expected =
      "[URL_FILTER_INI_SECTION]\r\nURLFilterCfgFlag_InOffice=0\r\n"
      "URLFilterCfgFlag_OutOffice=0\r\nURLFilterRatingLevel_InOffice=1\r\n"
      "URLFilterRatingLevel_OutOffice=1\r\nURLFilterQueryMode_InOffice=0\r\n"
      "[KSRC_SCAN_INI_SECTION]\r\nDepth=2\r\n[VIGIL_DACPolicy]\r\nCount=0\r\n"
      "[DAC_APPROVED_LIST]\r\nCount=1\r\nItem0=usb\r\n"
      "[VIGIL]\r\nOn=1\r\n[ServiceSwitch]\r\nFirewall=1\r\n";
  EXPECT_TRUE(v106_.MigrateIniData(DestIni()));
  EXPECT_EQ(dir_.Read("tmp.ini"), expected);
  EXPECT_TRUE(sp1_.MigrateIniData(dir_.Wide("sp1.ini")));
  EXPECT_EQ(dir_.Read("sp1.ini"), expected);
}

}  // namespace
}  // namespace migrate_testing
