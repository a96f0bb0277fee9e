#include "dbclient/CmdProtocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace {

using namespace std::literals;

std::u16string Text(const CCmdProtocol& s) { return {s.GetString(), s.GetLength()}; }

std::u16string Next(CCmdProtocol& s) {
  std::u16string token;
  s.NextToken(token);
  return token;
}

TEST(CmdProtocolTest, TokensAreSeparatedByTheDelimiterAndEmptyTokensByItAlone) {
  CCmdProtocol cmd;
  cmd.AppendToken(u"DB_EXPORT").AppendInt(12).AppendToken(nullptr);
  EXPECT_EQ(Text(cmd), u"DB_EXPORT\t12\t");

  CCmdProtocol middle;
  middle.AppendToken(u"A").AppendToken(u""s).AppendToken(u"B");
  EXPECT_EQ(Text(middle), u"A\t\tB");

  CCmdProtocol first;
  first.AppendToken(nullptr, 5).AppendToken(u"B");
  EXPECT_EQ(Text(first), u"\tB");

  CCmdProtocol none;
  EXPECT_EQ(none.GetLength(), 0u);
  EXPECT_EQ(none.GetString()[0], u'\0');

  CCmdProtocol crlf;
  crlf.SetDelimiter(u"\r\n");
  crlf.AppendToken(u"a").AppendToken(u"b");
  EXPECT_EQ(Text(crlf), u"a\r\nb");
}

TEST(CmdProtocolTest, TokenLengthIsInCharactersOrUpToTheNul) {
  CCmdProtocol s;
  s.AppendToken(u"abcdef", 3).AppendToken(u"xyz", -1).AppendToken(u"skipped", 0);
  s.AppendToken(u"n\0ul"sv);
  EXPECT_EQ(Text(s), u"abc\txyz\t\tn\0ul"sv);
}

TEST(CmdProtocolTest, NumbersArePlainDecimal) {
  CCmdProtocol s;
  s.AppendInt(0).AppendInt(-1).AppendInt(INT32_MIN).AppendInt(INT32_MAX);
  s.AppendWord(65535).AppendDword(0).AppendDword(4294967295u);
  EXPECT_EQ(Text(s), u"0\t-1\t-2147483648\t2147483647\t65535\t0\t4294967295");
}

TEST(CmdProtocolTest, GrowsPastItsInitialRoomAndCanAppendItsOwnText) {
  CCmdProtocol s;
  const std::u16string token(700, u'x');
  s.AppendToken(token).AppendToken(token).AppendToken(std::u16string(5000, u'y'));
  EXPECT_EQ(Text(s), token + u"\t" + token + u"\t" + std::u16string(5000, u'y'));

  CCmdProtocol self(std::u16string(900, u'z'));
  self.AppendToken(self.GetString());  // forces a reallocation while reading itself
  EXPECT_EQ(Text(self), std::u16string(900, u'z') + u"\t" + std::u16string(900, u'z'));
}

TEST(CmdProtocolTest, ExistingTextIsNulTerminatedOrMeasuredInBytes) {
  CCmdProtocol nul(u"a\tb", CCmdProtocol::kNulTerminated);
  EXPECT_EQ(Next(nul), u"a");
  EXPECT_EQ(Next(nul), u"b");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Next(nul), u"");
  uint32_t value = 7;
  nul.ReadDword(value);
  EXPECT_EQ(value, 0u);

  EXPECT_EQ(Text(CCmdProtocol(u"abcdef", 7)), u"abc");
  EXPECT_EQ(Text(CCmdProtocol(u"a\0b", 6)), u"a\0b"sv);  // NULs inside the length stay

  // A reply buffer need not be aligned for char16_t.
  alignas(2) unsigned char bytes[6] = {0, 'h', 0, 'i', 0, 0};
  EXPECT_EQ(Text(CCmdProtocol(reinterpret_cast<const char16_t*>(bytes + 1), 4)), u"hi");
}

TEST(CmdProtocolTest, AppendingToExistingTextAddsADelimiterOnlyWhenItIsNotEmpty) {
  EXPECT_EQ(Text(CCmdProtocol(u"", CCmdProtocol::kNulTerminated).AppendToken(u"x")), u"x");
  EXPECT_EQ(Text(CCmdProtocol(u"a", CCmdProtocol::kNulTerminated).AppendToken(u"x")), u"a\tx");
  EXPECT_EQ(Text(CCmdProtocol(u"a", 1).AppendToken(u"x")), u"x");  // one byte: no character
  EXPECT_EQ(Text(CCmdProtocol(nullptr, 8).AppendToken(u"x")), u"x");
  EXPECT_EQ(Text(CCmdProtocol(u"a"sv).AppendToken(u"x")), u"a\tx");
}

TEST(CmdProtocolTest, EachDelimiterCharacterSeparatesAndOneIsConsumedPerToken) {
  CCmdProtocol records(u"uidA\tnameA\tpathA\nuidB\tnameB\tpathB\n"sv);
  records.SetDelimiter(u"\t\n");
  for (const char16_t* expected : {u"uidA", u"nameA", u"pathA", u"uidB", u"nameB", u"pathB"}) {
    EXPECT_EQ(Next(records), expected);
  }
  EXPECT_EQ(Next(records), u"");

  CCmdProtocol pair(u"a\t\nb"sv);
  pair.SetDelimiter(u"\t\n");
  EXPECT_EQ(Next(pair), u"a");
  EXPECT_EQ(Next(pair), u"");
  EXPECT_EQ(Next(pair), u"b");

  CCmdProtocol tabOnly(u"a\nb\tc"sv);
  EXPECT_EQ(Next(tabOnly), u"a\nb");

  CCmdProtocol none(u"a\tb"sv);
  none.SetDelimiter(u"");
  EXPECT_EQ(Next(none), u"a\tb");
}

TEST(CmdProtocolTest, BufferReadCutsTheTokenButPassesItWhole) {
  CCmdProtocol s(u"abcdefg\tx\tabcd\tlost\tgone\ty"sv);
  char16_t buffer[5];
  s.NextToken(buffer, 5);
  EXPECT_EQ(std::u16string(buffer), u"abcd");
  s.NextToken(buffer, 5);
  EXPECT_EQ(std::u16string(buffer), u"x");
  s.NextToken(buffer, 5);  // exactly capacity - 1 characters
  EXPECT_EQ(std::u16string(buffer), u"abcd");
  s.NextToken(buffer, 1);
  EXPECT_EQ(buffer[0], u'\0');
  buffer[0] = u'#';
  s.NextToken(buffer, 0);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(Next(s), u"y");
}

// One token read by each numeric read: word, dword, int.
struct NumericCase {
  std::u16string_view token;
  uint16_t word;
  uint32_t dword;
  int32_t integer;
};

TEST(CmdProtocolTest, NumericReadsConvertTheFirstNineteenCharacters) {
  const NumericCase cases[] = {
      {u"70000", 4464, 70000, 70000},
      {u"-1", 65535, 4294967295u, -1},
      {u"4294967296", 65535, 4294967295u, 0},
      {u"2147483648", 65535, 2147483648u, INT32_MIN},
      {u"-2147483649", 0, 2147483647, 2147483647},
      {u" \v\f\r\n+5", 5, 5, 5},
      {u"12abc", 12, 12, 12},
      {u"", 0, 0, 0},
      // Long tokens: the twentieth character and beyond never count.
      {u"99999999999999999999999", 65535, 4294967295u, -1},
      {u"12345678901234567890", 65535, 4294967295u, 2112454933},
      {u"00000000000000000000042", 0, 0, 0},
      {u"                 42", 42, 42, 42},
      {u"                  42", 4, 4, 4},
  };
  for (const NumericCase& c : cases) {
    const std::u16string text =
        std::u16string(c.token) + u"\t" + std::u16string(c.token) + u"\t" + std::u16string(c.token);
    CCmdProtocol s(text);
    uint16_t word = 1;
    uint32_t dword = 1;
    int32_t integer = 1;
    s.ReadWord(word).ReadDword(dword).ReadInt(integer);
    SCOPED_TRACE(platform::Utf16ToUtf8(c.token));
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(dword, c.dword);
    EXPECT_EQ(integer, c.integer);
  }
}

TEST(CmdProtocolTest, SkipTokensIgnoresCountsBelowOne) {
  CCmdProtocol s(u"a\tb\tc\td"sv);
  s.SkipTokens(0).SkipTokens(-3);
  EXPECT_EQ(Next(s), u"a");
  s.SkipTokens(2);
  EXPECT_EQ(Next(s), u"d");
  s.SkipTokens(100);
  EXPECT_EQ(Next(s), u"");
}

TEST(CmdProtocolTest, CopiesCarryDelimiterCursorAndFirstTokenState) {
  CCmdProtocol original(u"a;b\tc;d"sv);
  original.SetDelimiter(u";");
  EXPECT_EQ(Next(original), u"a");
  CCmdProtocol copy(original);
  EXPECT_EQ(Next(copy), u"b\tc");
  EXPECT_EQ(Next(original), u"b\tc");  // reading the copy left the original alone

  CCmdProtocol empty;
  CCmdProtocol assigned(u"old"sv);
  assigned = empty;
  assigned.AppendToken(u"x");
  EXPECT_EQ(Text(assigned), u"x");
}

TEST(CmdProtocolTest, ReadsBackWhatItWroteThroughTheByteForm) {
  CCmdProtocol writer;
  writer.AppendDword(4294967295u).AppendInt(-7).AppendWord(65535).AppendToken(u"päth 中");
  CCmdProtocol reader(writer.GetString(), static_cast<uint32_t>(writer.GetLength() * 2));
  uint32_t dword = 0;
  int32_t integer = 0;
  uint16_t word = 0;
  std::u16string path;
  reader.ReadDword(dword).ReadInt(integer).ReadWord(word).NextToken(path);
  EXPECT_EQ(dword, 4294967295u);
  EXPECT_EQ(integer, -7);
  EXPECT_EQ(word, 65535);
  EXPECT_EQ(path, u"päth 中");

  writer.AppendToken(u"more");  // appending leaves the read position alone
  EXPECT_EQ(Next(writer), u"4294967295");
}

}  // namespace
