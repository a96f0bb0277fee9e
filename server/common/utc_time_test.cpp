#include "server/common/utc_time.h"

#include <gtest/gtest.h>

#include <regex>

namespace stand_in {
namespace {

TEST(UtcTimeTest, CalendarFromSecondsOnEitherSideOf1970AndAtTheLimits) {
  EXPECT_EQ(UtcTimeText(0), "1970-01-01 00:00:00");
  EXPECT_EQ(UtcTimeText(-1), "1969-12-31 23:59:59");
  EXPECT_EQ(UtcTimeText(1700000000), "2023-11-14 22:13:20");
  EXPECT_EQ(UtcTimeText(951782400), "2000-02-29 00:00:00");  // leap day of a century year
  EXPECT_EQ(UtcTimeText(4107542399), "2100-02-28 23:59:59");  // and none in 2100
  EXPECT_EQ(UtcTimeText(4107542400), "2100-03-01 00:00:00");
  EXPECT_EQ(UtcTimeText(-62135596800), "0001-01-01 00:00:00");
  EXPECT_EQ(UtcTimeText(253402300799), "9999-12-31 23:59:59");
  EXPECT_EQ(UtcTimeText(-62135596801), "@-62135596801");
  EXPECT_EQ(UtcTimeText(253402300800), "@253402300800");
  EXPECT_EQ(UtcTimeText(INT64_MIN), "@-9223372036854775808");
}

TEST(UtcTimeTest, NowHasMillisecondsAndTheZoneLetter) {
  EXPECT_TRUE(std::regex_match(UtcNowText(),
                               std::regex(R"(20\d\d-\d\d-\d\dT\d\d:\d\d:\d\d\.\d\d\dZ)")))
      << UtcNowText();
}

}  // namespace
}  // namespace stand_in
