#include "platform/ini_document.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

using namespace std::string_literals;

std::u16string Value(const IniDocument& document, std::u16string_view section,
                     std::u16string_view key) {
  std::u16string_view value;
  return document.FindValue(section, key, &value) ? std::u16string(value) : u"<none>";
}

TEST(IniDocumentTest, AnUneditedFileSerialisesToItsOwnBytes) {
  std::string all_bytes;
  for (int b = 1; b < 256; ++b) all_bytes.push_back(static_cast<char>(b));
  const std::string files[] = {
      "",
      "\r\n",
      "no line end",
      "a\r\r\n\n\rb\n\n",
      "; c\r\n[s]\r\n  k = v \t\r\n\x1A\r\n",
      all_bytes,                               // Windows-1252
      "\xEF\xBB\xBF[s]\r\nk=caf\xC3\xA9\r\n",  // UTF-8 with its mark
      "\xEF\xBB\xBF[s]\r\nk=caf\xE9\r\n",      // the mark, then Windows-1252
      "\xFF\xFE"s,                             // UTF-16LE, empty
      "\xFF\xFE[\0s\0]\0\r\0\x00\xD8\n\0"s,    // UTF-16LE with an unpaired surrogate
  };
  for (const std::string& bytes : files) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(IniDocument(bytes).Serialize(), bytes);
  }
}

TEST(IniDocumentTest, EditsRewriteOnlyTheirOwnLines) {
  IniDocument document("; c\r\n[s]\rk = v \n\r\n\n\r  x\r\n[t]\n");
  EXPECT_EQ(document.SetValue(u"s", u"K", u"w"), IniEdit::kChanged);
  EXPECT_EQ(document.Serialize(), "; c\r\n[s]\rk=w\n\r\n\n\r  x\r\n[t]\n");
  // The new line follows the last non-blank line and takes the file's first
  // line end.
  EXPECT_EQ(document.SetValue(u"s", u"n", u"1"), IniEdit::kChanged);
  EXPECT_EQ(document.Serialize(), "; c\r\n[s]\rk=w\n\r\n\n\r  x\r\nn=1\r\n[t]\n");
  EXPECT_EQ(document.SetValue(u"s", u"k", u"w"), IniEdit::kUnchanged);
}

TEST(IniDocumentTest, EditsKeepTheEncoding) {
  IniDocument utf8_bom("\xEF\xBB\xBF[s]\r\n");
  utf8_bom.SetValue(u"s", u"k", u"é");
  EXPECT_EQ(utf8_bom.Serialize(), "\xEF\xBB\xBF[s]\r\nk=\xC3\xA9\r\n");

  IniDocument bom_then_ansi("\xEF\xBB\xBF[s]\r\na=\xE9\r\n");
  bom_then_ansi.SetValue(u"s", u"k", u"é");
  EXPECT_EQ(bom_then_ansi.Serialize(), "\xEF\xBB\xBF[s]\r\na=\xE9\r\nk=\xE9\r\n");

  // UTF-8 cannot hold an unpaired surrogate.
  IniDocument utf8("[s]\n");
  utf8.SetValue(u"s", u"k",
                u"a\xD800"
                u"b");
  EXPECT_EQ(utf8.Serialize(), "[s]\nk=a?b\n");

  // An odd last byte of a UTF-16 file belongs to no character and is dropped.
  IniDocument odd("\xFF\xFE[\0s\0]\0\r\0\n\0X"s);
  EXPECT_EQ(odd.SetValue(u"s", u"k", u"v"), IniEdit::kChanged);
  EXPECT_EQ(odd.Serialize(), "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s);
}

TEST(IniDocumentTest, DuplicatesGiveWayWhenTheFirstIsDeleted) {
  IniDocument document("[d]\r\nk=1\r\nk=2\r\n[D]\r\nx=3\r\n");
  EXPECT_EQ(Value(document, u"d", u"k"), u"1");
  EXPECT_EQ(Value(document, u"d", u"x"), u"<none>");
  EXPECT_EQ(document.SectionNames(), u"d\0D\0"s);
  EXPECT_EQ(document.DeleteKey(u"d", u"K"), IniEdit::kChanged);
  EXPECT_EQ(Value(document, u"d", u"k"), u"2");
  EXPECT_EQ(document.DeleteSection(u"D"), IniEdit::kChanged);
  EXPECT_EQ(Value(document, u"d", u"x"), u"3");
  EXPECT_EQ(document.Serialize(), "[D]\r\nx=3\r\n");
}

TEST(IniDocumentTest, NameListsLeaveOutEmptyNames) {
  // An empty name would end a NUL-separated list early.
  const IniDocument document("[]\r\n=v\r\nk=1\r\n[s]\r\n=x\r\na=1\r\n");
  EXPECT_EQ(document.SectionNames(), u"s\0"s);
  EXPECT_EQ(document.KeyNames(u""), u"k\0"s);
  EXPECT_EQ(document.KeyNames(u"s"), u"a\0"s);
  EXPECT_EQ(document.SectionLines(u"s"), u"=x\0a=1\0"s);
}

TEST(IniDocumentTest, TheIndexFollowsEdits) {
  IniDocument document("[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n");
  EXPECT_EQ(document.ReplaceSection(u"A", {u"p=1", u"q=2"}), IniEdit::kChanged);
  EXPECT_EQ(Value(document, u"a", u"x"), u"<none>");
  EXPECT_EQ(Value(document, u"a", u"q"), u"2");
  EXPECT_EQ(Value(document, u"b", u"y"), u"2");
  document.SetValue(u"c", u"z", u"3");
  document.SetValue(u"c", u"w", u"4");
  EXPECT_EQ(document.KeyNames(u"c"), u"z\0w\0"s);
  EXPECT_EQ(document.DeleteSection(u"a"), IniEdit::kChanged);
  document.SetValue(u"a", u"r", u"5");
  EXPECT_EQ(document.Serialize(), "\r\n[b]\r\ny=2\r\n[c]\r\nz=3\r\nw=4\r\n[a]\r\nr=5\r\n");
  EXPECT_EQ(document.DeleteKey(u"c", u"nokey"), IniEdit::kUnchanged);
  EXPECT_EQ(document.DeleteSection(u"nosuch"), IniEdit::kUnchanged);
}

TEST(IniDocumentTest, RefusedEditsLeaveTheDocumentAlone) {
  const std::string bytes = "[s]\r\n[k=1\r\n";
  IniDocument document(bytes);
  EXPECT_EQ(document.SetValue(u"s", u"[k", u"]"), IniEdit::kInvalid);
  EXPECT_EQ(document.SetValue(u"s", u"k", u"a\rb"), IniEdit::kInvalid);
  EXPECT_EQ(document.ReplaceSection(u"s", {u"a=1", u"[x]=2"}), IniEdit::kInvalid);
  EXPECT_EQ(document.Serialize(), bytes);
  EXPECT_EQ(Value(document, u"s", u"[k"), u"1");
  // A comment-like entry of a replaced section is written as given.
  EXPECT_EQ(document.ReplaceSection(u"s", {u";note=1"}), IniEdit::kChanged);
  EXPECT_EQ(document.Serialize(), "[s]\r\n;note=1\r\n");
}

}  // namespace
}  // namespace platform
