#include "platform/dos_time.h"

#include <gtest/gtest.h>

#include "tests/support/scoped_environment.h"

namespace platform {
namespace {

constexpr int64_t kSecond = 1000000000;

// Five hours behind UTC all year, so that local and UTC dates differ.
class DosTimeTest : public ::testing::Test {
 protected:
  testing_support::ScopedEnvironmentVariable tz_{"TZ", "EST5"};
};

TEST_F(DosTimeTest, FileTimeBecomesLocalDosFields) {
  uint16_t date = 0;
  uint16_t time = 0;
  // 2021-03-04 05:06:09 UTC is 00:06:09 local; the odd second is dropped.
  ASSERT_TRUE(FileTimeToDosDateTime(1614834369 * kSecond + 999, &date, &time));
  EXPECT_EQ(date, 0x5264);  // (41 << 9) | (3 << 5) | 4
  EXPECT_EQ(time, 0x00C4);  // (0 << 11) | (6 << 5) | 4
  // 04:00 UTC is still the previous day locally.
  ASSERT_TRUE(FileTimeToDosDateTime(1614830400 * kSecond, &date, &time));
  EXPECT_EQ(date, 0x5263);
  EXPECT_EQ(time, 0xB800);  // 23:00:00
}

TEST_F(DosTimeTest, DosFieldsBecomeUtcFileTime) {
  int64_t file_time = 0;
  ASSERT_TRUE(DosDateTimeToFileTime(0x5264, 0x00C4, &file_time));
  EXPECT_EQ(file_time, 1614834368 * kSecond);
  ASSERT_TRUE(DosDateTimeToFileTime(0x0021, 0x0000, &file_time));  // 1980-01-01 00:00
  EXPECT_EQ(file_time, 315550800 * kSecond);
}

TEST_F(DosTimeTest, YearsOutsideTheFormatAreRefused) {
  uint16_t date = 0;
  uint16_t time = 0;
  EXPECT_FALSE(FileTimeToDosDateTime(315550799 * kSecond, &date, &time));  // 1979 locally
  EXPECT_FALSE(FileTimeToDosDateTime(-5 * kSecond, &date, &time));
  ASSERT_TRUE(FileTimeToDosDateTime(4354819198 * kSecond, &date, &time));  // 2107-12-31 18:59
  EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
  EXPECT_FALSE(FileTimeToDosDateTime(4354837200 * kSecond, &date, &time));  // 2108 locally
}

TEST_F(DosTimeTest, InvalidFieldsAreRefused) {
  int64_t file_time = 0;
  EXPECT_FALSE(DosDateTimeToFileTime(0x0000, 0x0000, &file_time));    // month 0, day 0
  EXPECT_FALSE(DosDateTimeToFileTime(0x0020, 0x0000, &file_time));    // day 0
  EXPECT_FALSE(DosDateTimeToFileTime(0x01A1, 0x0000, &file_time));    // month 13
  EXPECT_FALSE(DosDateTimeToFileTime(0x525E, 0x0000, &file_time));    // 2021-02-30
  EXPECT_FALSE(DosDateTimeToFileTime(0x5264, 24 << 11, &file_time));  // hour 24
  EXPECT_FALSE(DosDateTimeToFileTime(0x5264, 60 << 5, &file_time));   // minute 60
  EXPECT_FALSE(DosDateTimeToFileTime(0x5264, 30, &file_time));        // second 60
  EXPECT_FALSE(DosDateTimeToFileTime(0x525D, 0x0000, &file_time));    // 2021-02-29
  EXPECT_TRUE(DosDateTimeToFileTime(0x505D, (23 << 11) | (59 << 5) | 29, &file_time));  // 2020
}

TEST_F(DosTimeTest, PackedFormHasTheDateInTheHighHalf) {
  EXPECT_EQ(PackedDosDateTime(1614834369 * kSecond), 0x526400C4u);
  EXPECT_EQ(PackedDosDateTime(0), 0x00210000u);  // 1969 locally: the earliest DOS time
}

TEST(CurrentFileTimeTest, IsAfterTheFormatsStart) {
  EXPECT_GT(CurrentFileTime(), 315550800 * kSecond);
}

}  // namespace
}  // namespace platform
