#include "migrate/PortelleDataMigrater.h"

#include <gtest/gtest.h>

#include <typeinfo>

#include "migrate/PortelleDataMigraterV10.h"
#include "migrate/PortelleDataMigraterV105.h"
#include "migrate/PortelleDataMigraterV105_P1.h"
#include "migrate/PortelleDataMigraterV106.h"
#include "migrate/PortelleDataMigraterV106_SP1.h"
#include "migrate/PortelleDataMigraterV10SP1.h"
#include "migrate/PortelleDataMigraterV8.h"
#include "migrate/testing/MigraterTestSupport.h"

namespace migrate_testing {
namespace {

class MigraterSelectionTest : public MigraterTest {};

TEST_F(MigraterSelectionTest, VersionServicePackAndPatchChooseTheClass) {
  struct Case {
    double version;
    int32_t service_pack;
    int32_t patch;
    const std::type_info& type;
  };
  const Case cases[] = {
      {8.0, 0, 0, typeid(CDataMigraterV8)},        {9.98, 3, 1, typeid(CDataMigraterV8)},
      {9.99, 0, 0, typeid(CDataMigraterV10)},      {10.0, 0, 5, typeid(CDataMigraterV10)},
      {10.0, 1, 0, typeid(CDataMigraterV10SP1)},   {10.49, 0, 0, typeid(CDataMigraterV105)},
      {10.5, 1, 0, typeid(CDataMigraterV105)},  // the patch decides here
      {10.5, 0, 1, typeid(CDataMigraterV105_P1)},  {10.59, 0, 0, typeid(CDataMigraterV106)},
      {10.6, 0, 3, typeid(CDataMigraterV106)},     {10.6, 1, 0, typeid(CDataMigraterV106_SP1)},
      {10.6, 2, 0, typeid(CDataMigraterV106_SP1)}, {11.0, -1, 0, typeid(CDataMigraterV106_SP1)},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<CDataMigrater> migrater =
        CreateDataMigrater(c.version, c.service_pack, c.patch, InstallPath(), db_);
    ASSERT_NE(migrater, nullptr);
    EXPECT_EQ(typeid(*migrater), c.type) << c.version << " SP" << c.service_pack << " P" << c.patch;
    EXPECT_TRUE(migrater->NeedExportClientPwd());
    EXPECT_EQ(migrater->NeedMigrateWatchDogSettings(), c.type == typeid(CDataMigraterV8));
  }
}

// Every class, for the checks that hold for all of them.
class EveryMigraterTest : public MigraterTest, public ::testing::WithParamInterface<double> {
 protected:
  std::unique_ptr<CDataMigrater> Create() {
    const double version = GetParam();
    // 10.01 and 10.51 stand for the service-pack and patch formats.
    const int32_t service_pack = version == 10.01 || version == 10.61 ? 1 : 0;
    const int32_t patch = version == 10.51 ? 1 : 0;
    return CreateDataMigrater(version, service_pack, patch, InstallPath(), db_);
  }
  bool ListFromSource() const { return GetParam() >= 10.59; }
};

TEST_P(EveryMigraterTest, AnEmptySourceGivesACompleteLayout) {
  db_.list = {4, 5, 6};
  const std::unique_ptr<CDataMigrater> migrater = Create();
  const std::u16string text = MigrateText(*migrater, u"");
  const Tokens tokens = Split(text);
  const size_t entries = ListFromSource() ? 0 : 3;
  ASSERT_EQ(tokens.size(), 62 + 1 + entries + 47);
  EXPECT_EQ(tokens[62], ListFromSource() ? u"0" : u"3");
  // T34 to T47 are empty: the text ends in fourteen TABs after T33.
  ASSERT_GT(text.size(), 15u);
  EXPECT_EQ(text.substr(text.size() - 15), u"0" + std::u16string(14, u'\t'));
}

TEST_P(EveryMigraterTest, BadSourcesStillGiveACompleteLayout) {
  db_.list = {1, 2};
  const std::unique_ptr<CDataMigrater> migrater = Create();
  const std::u16string huge_count = Join(Tokens(62, u"7")) + u"\t4294967295\t1\t2";
  const std::u16string sources[] = {
      u"1\t2\t3\t4\t5",                  // short
      Join(Tokens(2000, u"1")),          // long
      Join(Tokens(200, u"abc")),         // nothing numeric
      Join(Tokens(200, u"")),            // only empty tokens
      huge_count,                        // a list count far beyond the tokens
      Join(Tokens(62, u"1")) + u"\t-5",  // a negative count
  };
  for (const std::u16string& source : sources) {
    const Tokens tokens = Split(MigrateText(*migrater, source));
    ASSERT_GT(tokens.size(), 62u);
    const std::u16string& count = tokens[62];
    ASSERT_FALSE(count.empty());
    const unsigned long n = std::stoul(std::string(count.begin(), count.end()));
    EXPECT_LE(n, 1024u);
    EXPECT_EQ(tokens.size(), 62 + 1 + n + 47);
  }
}

TEST_P(EveryMigraterTest, AnOddByteLengthDropsTheLastByte) {
  const std::unique_ptr<CDataMigrater> migrater = Create();
  std::string odd = ToBytes(u"12");
  std::string even = odd;
  odd += '\x33';
  std::string from_odd;
  std::string from_even;
  migrater->MigrateDBData(odd, &from_odd, kDomainUid);
  migrater->MigrateDBData(even, &from_even, kDomainUid);
  EXPECT_EQ(from_odd, from_even);
}

TEST_P(EveryMigraterTest, TheDatabaseListNeverExceedsItsCapacity) {
  // A database that hands over more than was asked for, or reports more than
  // it gave.
  db_.list.assign(3000, 9);
  db_.reported_count = 5000;
  const std::unique_ptr<CDataMigrater> migrater = Create();
  const Tokens tokens = Split(MigrateText(*migrater, u""));
  const size_t entries = ListFromSource() ? 0 : 1024;
  ASSERT_EQ(tokens.size(), 62 + 1 + entries + 47);

  db_.list = {1, 2};
  db_.reported_count = 7;
  EXPECT_EQ(Split(MigrateText(*migrater, u"")).size(), 62u + 1 + (ListFromSource() ? 0 : 2) + 47);
}

std::string VersionName(const ::testing::TestParamInfo<double>& param) {
  static const char* const kNames[] = {"V8",      "V10",  "V10SP1",  "V105",
                                       "V105_P1", "V106", "V106_SP1"};
  return kNames[param.index];
}

INSTANTIATE_TEST_SUITE_P(Versions, EveryMigraterTest,
                         ::testing::Values(8.0, 10.0, 10.01, 10.5, 10.51, 10.6, 10.61),
                         VersionName);

}  // namespace
}  // namespace migrate_testing
