#include "dbclient/DecimalText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string_view>

#include "platform/text.h"

namespace dbclient {
namespace {

using std::u16string_view;
using namespace std::literals;

template <typename T>
struct Case {
  u16string_view text;
  T expected;
};

TEST(DecimalTextTest, SignedThirtyTwoBitsSaturate) {
  const Case<int32_t> cases[] = {
      {u"0", 0},
      {u"+5", 5},
      {u"-5", -5},
      {u" \t\n\v\f\r7", 7},  // every C white-space character is skipped
      {u"12abc", 12},
      {u"", 0},
      {u"abc", 0},
      {u"-", 0},
      {u"+-5", 0},
      {u"- 5", 0},      // no blank between sign and digits
      {u"\u00A05", 0},  // no-break space is not white space
      {u"\uFF15", 0},   // neither is a full-width digit a digit
      {u"1\0"
       "2"sv,
       1},  // a NUL ends the number
      {u"2147483647", 2147483647},
      {u"2147483648", std::numeric_limits<int32_t>::max()},
      {u"-2147483648", std::numeric_limits<int32_t>::min()},
      {u"-2147483649", std::numeric_limits<int32_t>::min()},
      {u"99999999999999999999999", std::numeric_limits<int32_t>::max()},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecimalToInt32(c.text), c.expected) << platform::Utf16ToUtf8(c.text);
}

TEST(DecimalTextTest, UnsignedThirtyTwoBitsNegateModuloAndSaturate) {
  const Case<uint32_t> cases[] = {
      {u"4294967295", 4294967295u}, {u"4294967296", 4294967295u},  {u"-1", 4294967295u}, {u"-0", 0},
      {u"-4294967295", 1},          {u"-4294967296", 4294967295u},  // the magnitude overflows
                                                                    // whatever the sign
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecimalToUInt32(c.text), c.expected) << platform::Utf16ToUtf8(c.text);
}

TEST(DecimalTextTest, SignedSixtyFourBitsSaturate) {
  const Case<int64_t> cases[] = {
      {u"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {u"9223372036854775808", std::numeric_limits<int64_t>::max()},
      {u"-9223372036854775808", std::numeric_limits<int64_t>::min()},
      {u"-9223372036854775809", std::numeric_limits<int64_t>::min()},
      {u"18446744073709551616", std::numeric_limits<int64_t>::max()},  // beyond 64 bits
      {u"-18446744073709551616", std::numeric_limits<int64_t>::min()},
      {u"-4294967296", -4294967296},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecimalToInt64(c.text), c.expected) << platform::Utf16ToUtf8(c.text);
}

}  // namespace
}  // namespace dbclient
