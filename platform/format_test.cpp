#include "platform/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

TEST(FormatTest, WideStringsAndNarrowStringsFollowWindowsMeaning) {
  const std::u16string wide = u"CImportSkvaSettings::AddDomains";
  const std::string narrow = "ALERT.MSG";
  EXPECT_EQ(Format(u"%s - %S does not exist, errno = %d", wide, narrow, 2),
            u"CImportSkvaSettings::AddDomains - ALERT.MSG does not exist, errno = 2");
  // In a narrow format the roles swap.
  EXPECT_EQ(FormatA("%s|%S", narrow, wide), "ALERT.MSG|CImportSkvaSettings::AddDomains");
  // %hs is always narrow, %ls always wide.
  EXPECT_EQ(Format(u"%hs/%ls", "a", u"b"), u"a/b");
  EXPECT_EQ(FormatA("%hs/%ls", "a", u"b"), "a/b");
}

// Narrow arguments are in the system code page (UTF-8 on Linux, 1252 under
// Wine), as Windows' own printf family takes them.
TEST(FormatTest, NonAsciiTextCrossesBetweenWideAndNarrow) {
  const std::string narrow = ToSystemCodePage(u"café €");
  EXPECT_EQ(narrow.size(), SystemCodePageIsUtf8() ? 9u : 6u);
  EXPECT_EQ(Format(u"[%S]", narrow), u"[café €]");
  EXPECT_EQ(FormatA("[%S]", std::u16string(u"café €")), "[" + narrow + "]");
  if (SystemCodePageIsUtf8()) {
    EXPECT_EQ(FormatA("[%S]", std::u16string(u"中")), "[\xE4\xB8\xAD]");
  }
}

TEST(FormatTest, NullStringPointersPrintAsNull) {
  const char16_t* none = nullptr;
  EXPECT_EQ(Format(u"<%s>", none), u"<(null)>");
}

TEST(FormatTest, SignedConversionsReinterpretThirtyTwoBits) {
  const uint32_t all_ones = 4294967295u;
  EXPECT_EQ(Format(u"%d", all_ones), u"-1");
  EXPECT_EQ(Format(u"%u", all_ones), u"4294967295");
  EXPECT_EQ(Format(u"%lu", all_ones), u"4294967295");
  EXPECT_EQ(Format(u"%d", -2147483647 - 1), u"-2147483648");
  EXPECT_EQ(Format(u"%u", -1), u"4294967295");
  EXPECT_EQ(Format(u"%lld", int64_t{-5000000000}), u"-5000000000");
  EXPECT_EQ(Format(u"%hd", 70000), u"4464");
  EXPECT_EQ(Format(u"%d %d", true, static_cast<int16_t>(-3)), u"1 -3");
}

TEST(FormatTest, HexadecimalWithWidthAndZeroPadding) {
  EXPECT_EQ(Format(u"%x", 0x1F089), u"1f089");
  EXPECT_EQ(Format(u"%X", 0xABCu), u"ABC");
  EXPECT_EQ(Format(u"%08x", 0x1234u), u"00001234");
  EXPECT_EQ(Format(u"%02x%02x", 0xA, 0xFF), u"0aff");
  EXPECT_EQ(Format(u"%04x", 0), u"0000");
  EXPECT_EQ(Format(u"%#x", 255), u"0xff");
  EXPECT_EQ(Format(u"%x", -1), u"ffffffff");
}

TEST(FormatTest, GuidLayout) {
  EXPECT_EQ(Format(u"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", 0x1a2b3c4du, 0x5e6f, 0x7081,
                   0x92, 0xa3, 0xb4, 0xc5, 0xd6, 0xe7, 0xf8, 0x09),
            u"1a2b3c4d-5e6f-7081-92a3-b4c5d6e7f809");
}

TEST(FormatTest, PrecisionOnIntegersGivesMinimumDigits) {
  EXPECT_EQ(Format(u"%.2d%.2d", 1, 5), u"0105");
  EXPECT_EQ(Format(u"%03d", 7), u"007");
  EXPECT_EQ(Format(u"%03d", 1234), u"1234");
  EXPECT_EQ(Format(u"%.0d", 0), u"");
  EXPECT_EQ(Format(u"%5d|%-5d|%+d|% d", 42, 42, 42, 42), u"   42|42   |+42| 42");
  EXPECT_EQ(Format(u"%05d", -42), u"-0042");
  EXPECT_EQ(Format(u"%*d", 4, 7), u"   7");
}

TEST(FormatTest, FloatingPointIsLocaleIndependentAndCFormatted) {
  EXPECT_EQ(Format(u"%f", 10.5), u"10.500000");
  EXPECT_EQ(Format(u"%f", 10.6), u"10.600000");
  EXPECT_EQ(Format(u"%2f", 8.0), u"8.000000");  // width 2, default precision
  EXPECT_EQ(Format(u"%.2f", 2.345), u"2.35");
  EXPECT_EQ(Format(u"%8.3f|", -1.5), u"  -1.500|");
  EXPECT_EQ(Format(u"%e", 12345.678), u"1.234568e+04");
  EXPECT_EQ(Format(u"%g", 10.5), u"10.5");
  EXPECT_EQ(FormatA("%f %d", 10.6, 1), "10.600000 1");
}

TEST(FormatTest, PercentAndPlainText) {
  EXPECT_EQ(Format(u"100%%"), u"100%");
  EXPECT_EQ(Format(u"no conversions"), u"no conversions");
  EXPECT_EQ(Format(u""), u"");
}

TEST(FormatTest, StringWidthAndPrecision) {
  EXPECT_EQ(Format(u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef"), u"[   ab][ab   ][ab]");
}

TEST(FormatTest, AppendKeepsExistingText) {
  std::u16string out = u"x=";
  FormatAppend(out, u"%d", 3);
  EXPECT_EQ(out, u"x=3");
}

TEST(FormatTest, PointerPrintsSixteenUpperCaseDigits) {
  const void* p = reinterpret_cast<const void*>(uintptr_t{0xAB12});
  EXPECT_EQ(Format(u"%p", p), u"000000000000AB12");
}

}  // namespace
}  // namespace platform
