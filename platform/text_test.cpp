#include "platform/text.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextTest, RoundTripsNonAsciiText) {
  const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD \xF0\x9F\x98\x80";
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  EXPECT_EQ(utf16, u"café € 中 😀");
  EXPECT_EQ(utf16.size(), 11u);  // the emoji is a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}

TEST(TextTest, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\x80"
                        "b"),
            u"a\uFFFDb");                                         // stray continuation
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD");                  // truncated at the end
  EXPECT_EQ(Utf8ToUtf16("\xF5\x80"), u"\uFFFD\uFFFD");
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));
  EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9"));
  EXPECT_TRUE(IsValidUtf8(""));
}

TEST(TextTest, UnpairedSurrogatesBecomeReplacementCharacters) {
  std::u16string lone = u"a";
  lone.push_back(0xD800);
  lone.push_back(u'b');
  lone.push_back(0xDC00);
  EXPECT_EQ(Utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(TextTest, Windows1252RoundTripsEveryByte) {
  EXPECT_EQ(Windows1252ToUtf16("caf\xE9 \x80"), u"café €");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf16ToWindows1252(Windows1252ToUtf16(all)), all);
  EXPECT_EQ(Utf16ToWindows1252(u"中 é"), "? \xE9");
}

TEST(TextTest, FoldsCaseBeyondAscii) {
  EXPECT_TRUE(EqualsIgnoreCase(u"Global Setting", u"GLOBAL setting"));
  EXPECT_TRUE(EqualsIgnoreCase(u"ÉCOLE", u"école"));
  EXPECT_TRUE(EqualsIgnoreCase(u"ŁÓDŹ", u"łódź"));
  EXPECT_TRUE(EqualsIgnoreCase(u"ΣΟΦΙΑ", u"σοφια"));
  EXPECT_TRUE(EqualsIgnoreCase(u"МОСКВА Ёж", u"москва ёж"));
  EXPECT_FALSE(EqualsIgnoreCase(u"a b", u"a  b"));
  EXPECT_FALSE(EqualsIgnoreCase(u"×", u"÷"));  // not a letter pair
  EXPECT_TRUE(EqualsIgnoreCase(std::string("Private"), std::string("PRIVATE")));
}

TEST(TextTest, Utf16LeBytesLowByteFirstWithoutAlignment) {
  // "Aé€" and a surrogate pair, written out by hand, low byte first.
  const std::string bytes("\x41\x00\xE9\x00\xAC\x20\x3D\xD8\x00\xDE", 10);
  const std::u16string text = u"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(TextToUtf16Le(text), bytes);
  EXPECT_EQ(Utf16LeToText(bytes), text);
  // Read from an odd address; the odd last byte is no unit; NULs are text.
  const std::string shifted = "x" + bytes + "\x7F";
  EXPECT_EQ(Utf16LeToText(std::string_view(shifted).substr(1)), text);
  EXPECT_EQ(Utf16LeToText(std::string("\x00\x00\x42", 3)), std::u16string(1, u'\0'));
  EXPECT_EQ(Utf16LeToText(""), u"");
}

}  // namespace
}  // namespace platform
