#include "platform/registry_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/utf16le.h"

namespace platform {
namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00\n\n";
constexpr char16_t kKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test";

RegistryFile ParseBody(const std::string& body) { return RegistryFile::Parse(kHeader + body); }

// The value `name` of kKey, or nullptr.
const RegistryValue* Find(const RegistryFile& file, std::u16string_view name) {
  const RegistryValues* values = file.FindKey(kKey);
  if (values == nullptr) return nullptr;
  const auto it = values->find(std::u16string(name));
  return it == values->end() ? nullptr : &it->second;
}

std::u16string Text(const RegistryFile& file, std::u16string_view name) {
  const RegistryValue* v = Find(file, name);
  return v != nullptr && v->type == RegistryValue::Type::kString ? v->text : u"<none>";
}

TEST(RegistryFileTest, ReadsStringsNumbersAndTheDefaultValue) {
  const RegistryFile file = ParseBody(
      "; exported for a test\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n"
      "\"Local_Path\"=\"C:\\\\Program Files\\\\Bastionel\\\\\"\n"
      "\"Quoted\"=\"say \\\"hi\\\"\"\n"
      "\"Plain\"=\"C:\\Temp\"\n"
      "\"Empty\"=\"\"\n"
      "\"Number\"=dword:0000000a\n"
      "\"Short\"=DWORD:fF\n"
      "\"Max\"=dword:ffffffff\n"
      "@=\"default\"\n"
      "  \"Spaced\" = \"x\"   ; trailing comment\n");
  EXPECT_EQ(Text(file, u"local_path"), u"C:\\Program Files\\Bastionel\\");
  EXPECT_EQ(Text(file, u"quoted"), u"say \"hi\"");
  EXPECT_EQ(Text(file, u"plain"), u"C:\\Temp");  // a lone backslash stands for itself
  EXPECT_EQ(Text(file, u"empty"), u"");
  EXPECT_EQ(Text(file, u""), u"default");
  EXPECT_EQ(Text(file, u"spaced"), u"x");
  ASSERT_NE(Find(file, u"number"), nullptr);
  EXPECT_EQ(Find(file, u"number")->type, RegistryValue::Type::kDword);
  EXPECT_EQ(Find(file, u"number")->dword, 10u);
  EXPECT_EQ(Find(file, u"short")->dword, 0xFFu);
  EXPECT_EQ(Find(file, u"max")->dword, 0xFFFFFFFFu);
}

TEST(RegistryFileTest, KeyNamesCompareIgnoringCaseAndImplyTheirParents) {
  const RegistryFile file =
      ParseBody("[hkey_local_machine\\software\\KORVANE\\test]\n\"A\"=\"1\"\n");
  EXPECT_EQ(Text(file, u"a"), u"1");
  EXPECT_NE(file.FindKey(u"HKEY_LOCAL_MACHINE\\Software"), nullptr);
  EXPECT_EQ(file.FindKey(u"HKEY_LOCAL_MACHINE\\Software\\Korvane\\Tes"), nullptr);
  EXPECT_EQ(file.FindKey(u"HKEY_LOCAL_MACHINE\\Software\\Korvane\\Test\\Sub"), nullptr);
}

TEST(RegistryFileTest, HexValuesAndTheirContinuationLinesAreKeptUndecoded) {
  const RegistryFile file = ParseBody(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n"
      "\"Binary\"=hex:00,01,02,\\\n"
      "  03,04,\\  \n"
      "  \"Injected\"=\"x\"\n"
      "\"Expand\"=hex(2):25,00,50,00,00,00\n"
      "\"After\"=\"still read\"\n");
  ASSERT_NE(Find(file, u"binary"), nullptr);
  EXPECT_EQ(Find(file, u"binary")->type, RegistryValue::Type::kOther);
  EXPECT_EQ(Find(file, u"expand")->type, RegistryValue::Type::kOther);
  EXPECT_EQ(Text(file, u"after"), u"still read");
  EXPECT_EQ(file.FindKey(kKey)->size(), 3u);
}

TEST(RegistryFileTest, MalformedLinesAreSkipped) {
  const RegistryFile file = ParseBody(
      "\"BeforeAnyKey\"=\"x\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n"
      "\"Unterminated\"=\"abc\n"
      "\"BadName=\"abc\"\n"
      "\"NoEquals\" \"abc\"\n"
      "\"Junk\"=\"abc\" junk\n"
      "\"NineDigits\"=dword:000000001\n"
      "\"NotHex\"=dword:0000000g\n"
      "\"NoDigits\"=dword:\n"
      "\"Unknown\"=qword:1\n"
      "@junk=\"x\"\n"
      "garbage line\n"
      "\"Good\"=\"yes\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test\n"
      "\"AfterBrokenKey\"=\"x\"\n");
  const RegistryValues* values = file.FindKey(kKey);
  ASSERT_NE(values, nullptr);
  ASSERT_EQ(values->size(), 1u);
  EXPECT_EQ(Text(file, u"good"), u"yes");
}

TEST(RegistryFileTest, LaterLinesOverrideAndDelete) {
  const RegistryFile file = ParseBody(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n"
      "\"Kept\"=\"old\"\n"
      "\"Removed\"=\"x\"\n"
      "\"Retyped\"=\"text\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Other]\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Other 2]\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Other\\Child]\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n"
      "\"KEPT\"=\"new\"\n"
      "\"Removed\"=-\n"
      "\"Retyped\"=dword:00000001\n"
      "[-hkey_local_machine\\software\\korvane\\other]\n");
  EXPECT_EQ(Text(file, u"kept"), u"new");
  EXPECT_EQ(Find(file, u"removed"), nullptr);
  EXPECT_EQ(Find(file, u"retyped")->type, RegistryValue::Type::kDword);
  EXPECT_EQ(file.FindKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Other"), nullptr);
  EXPECT_EQ(file.FindKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Other\\Child"), nullptr);
  EXPECT_NE(file.FindKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Other 2"), nullptr);
}

TEST(RegistryFileTest, RequiresTheHeader) {
  const std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n\"A\"=\"1\"\n";
  EXPECT_EQ(RegistryFile::Parse(body).FindKey(kKey), nullptr);
  EXPECT_EQ(RegistryFile::Parse("REGEDIT 4\n" + body).FindKey(kKey), nullptr);
  EXPECT_EQ(RegistryFile::Parse("").FindKey(kKey), nullptr);
  EXPECT_EQ(Text(RegistryFile::Parse("\n  REGEDIT4  \n" + body), u"a"), u"1");
}

TEST(RegistryFileTest, DecodesUtf8WithOrWithoutMarkAndUtf16WithMark) {
  const std::string body =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\r\n"
      "\"Path\"=\"/opt/b\xC3\xA4stion/\"\r\n";
  EXPECT_EQ(Text(RegistryFile::Parse(body), u"path"), u"/opt/b\u00E4stion/");
  EXPECT_EQ(Text(RegistryFile::Parse("\xEF\xBB\xBF" + body), u"path"), u"/opt/b\u00E4stion/");

  // The same text in UTF-16LE, with an odd stray byte at the end.
  std::string utf16 = testing_support::Utf16LeWithBom(
      u"Windows Registry Editor Version 5.00\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\r\n"
      u"\"Path\"=\"/opt/b\u00E4stion/\u4E2D\"\r\n");
  utf16.push_back('\x41');
  EXPECT_EQ(Text(RegistryFile::Parse(utf16), u"path"), u"/opt/b\u00E4stion/\u4E2D");
}

TEST(RegistryFileTest, LongLinesAreReadWhole) {
  const std::string long_text(100000, 'x');
  const RegistryFile file =
      ParseBody("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n\"Long\"=\"" + long_text + "\"\n");
  EXPECT_EQ(Text(file, u"long").size(), long_text.size());
}

}  // namespace
}  // namespace platform
