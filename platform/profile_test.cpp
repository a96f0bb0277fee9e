#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_faults.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/status.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using namespace std::string_literals;
using testing_support::TempFolder;

const std::string kFileA =
    "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";
const std::string kFileB =
    "[section1]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n[section2]\r\n[section3]\r\n"
    "=val5\r\n";
const std::string kApps = "[App1]\r\nkey1=string1\r\nkey2=string2\r\n[App2]\r\nkey4=string4\r\n";

constexpr uint32_t kGuard = 4;  // units after the buffer that must stay untouched

// The buffer the reads get: `size` units and a guard, all '~' before the call.
std::u16string FreshBuffer(uint32_t size) { return std::u16string(size + kGuard, u'~'); }

// What the whole buffer must hold afterwards: `written`, then untouched units.
std::u16string Expected(std::u16string written, uint32_t size) {
  written.resize(size + kGuard, u'~');
  return written;
}

class ProfileTest : public ::testing::Test {
 protected:
  // The file `content` is written to (none for null), by its wide name.
  std::u16string Given(const std::string* content, std::string_view name = "test.ini") {
    if (content != nullptr) dir_.Write(name, *content);
    return dir_.Wide(name);
  }

  std::u16string ReadValue(const std::u16string& file, const char16_t* section, const char16_t* key,
                           const char16_t* default_value = u"DEF") {
    char16_t buffer[1024];
    const uint32_t n =
        GetPrivateProfileStringW(section, key, default_value, buffer, 1024, file.c_str());
    return std::u16string(buffer, n);
  }

  TempFolder dir_;
};

struct StringCase {
  const char* name;
  const std::string* file;  // null: no such file
  const char16_t* section;
  const char16_t* key;
  const char16_t* default_value;
  uint32_t size;
  uint32_t count;
  std::u16string written;  // the buffer's first units; the rest untouched
};

TEST_F(ProfileTest, StringReadsFollowTheCountRules) {
  const StringCase cases[] = {
      {"value", &kFileA, u"section1", u"name1", u"default", 260, 4, u"val1\0"s},
      {"exact fit", &kFileA, u"section1", u"name1", u"default", 5, 4, u"val1\0"s},
      {"cut", &kFileA, u"section1", u"name1", u"default", 4, 3, u"val\0"s},
      {"size 0", &kFileA, u"section1", u"name1", u"default", 0, 0, u""},
      {"size 1", &kFileA, u"section1", u"name4", u"default", 1, 0, u"\0"s},
      {"quotes", &kFileA, u"section1", u"name2", u"default", 260, 4, u"val2\0"s},
      {"no key", &kFileA, u"section1", u"notakey", u"default", 260, 7, u"default\0"s},
      {"no =", &kFileA, u"section1", u"name3", u"default", 260, 7, u"default\0"s},
      {"default blanks", &kFileA, u"section1", u"nokey", u"default  ", 260, 7, u"default\0"s},
      {"default leading blanks", &kFileA, u"section1", u"nokey", u"  d \t", 260, 3, u"  d\0"s},
      {"null default", &kFileA, u"section1", u"nokey", nullptr, 260, 0, u"\0"s},
      {"default cut", &kFileA, u"section1", u"nokey", u"default", 4, 3, u"def\0"s},
      {"key list", &kFileA, u"section1", nullptr, u"default", 260, 18, u"name1\0name2\0name4\0\0"s},
      {"key list cut", &kFileA, u"section1", nullptr, u"default", 16, 14, u"name1\0name2\0na\0\0"s},
      {"key list L+1", &kFileA, u"section1", nullptr, u"default", 19, 17,
       u"name1\0name2\0name4\0\0"s},
      {"key list L+2", &kFileA, u"section1", nullptr, u"default", 20, 18,
       u"name1\0name2\0name4\0\0"s},
      {"key list size 2", &kFileA, u"section1", nullptr, u"default", 2, 0, u"\0\0"s},
      {"key list size 1", &kFileA, u"section1", nullptr, u"default", 1, 0, u"\0"s},
      {"key list size 0", &kFileA, u"section1", nullptr, u"default", 0, 0, u""},
      {"empty section keys", &kFileA, u"section2", nullptr, u"default", 100, 0, u"\0\0"s},
      {"missing section keys", &kFileA, u"nosuch", nullptr, u"default", 100, 0, u"\0\0"s},
      {"section list", &kFileA, nullptr, u"x", u"default", 260, 18, u"section1\0section2\0\0"s},
      {"section list cut", &kFileA, nullptr, nullptr, u"default", 16, 14, u"section1\0secti\0\0"s},
      {"missing file", nullptr, u"section1", u"name1", u"default", 260, 7, u"default\0"s},
      {"missing file keys", nullptr, u"section1", nullptr, u"default", 260, 0, u"\0\0"s},
      {"missing file sections", nullptr, nullptr, nullptr, u"default", 260, 0, u"\0"s},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    if (c.file != nullptr) dir.Write("a.ini", *c.file);
    std::u16string buffer = FreshBuffer(c.size);
    EXPECT_EQ(GetPrivateProfileStringW(c.section, c.key, c.default_value, buffer.data(), c.size,
                                       dir.Wide("a.ini").c_str()),
              c.count);
    EXPECT_EQ(buffer, Expected(c.written, c.size));
  }
}

struct SectionCase {
  const char* name;
  std::string file;
  const char16_t* section;
  uint32_t size;
  uint32_t count;
  std::u16string written;
};

TEST_F(ProfileTest, SectionReadsListTheNormalisedLines) {
  const std::u16string all = u"name1=val1\0name2=\0name3\0name4=val4\0\0"s;
  const SectionCase cases[] = {
      {"whole section", kFileB, u"section1", 100, 35, all},
      {"cut", kFileB, u"section1", 24, 22, u"name1=val1\0name2=\0name\0\0"s},
      {"L+1", kFileB, u"section1", 36, 34, all},
      {"empty", kFileB, u"section2", 100, 0, u"\0\0"s},
      {"missing", kFileB, u"nosuch", 100, 0, u"\0\0"s},
      {"empty key", kFileB, u"section3", 100, 6, u"=val5\0\0"s},
      {"normalised", "[s]\r\n ; c\r\n  a  =  b  \r\nq=\"quoted\"\r\n\r\n  plain  \r\n", u"s", 200,
       21, u"a=b\0q=\"quoted\"\0plain\0\0"s},
      {"size 2", kFileB, u"section1", 2, 0, u"\0\0"s},
  };
  for (const SectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string file = Given(&c.file);
    std::u16string buffer = FreshBuffer(c.size);
    EXPECT_EQ(GetPrivateProfileSectionW(c.section, buffer.data(), c.size, file.c_str()), c.count);
    EXPECT_EQ(buffer, Expected(c.written, c.size));
  }
  // The section copy's 32,767-unit buffer: a section that does not fit gives 32,765.
  const std::string big = "[big]\r\n" + std::string(40000, 'k') + "=v\r\n";
  std::u16string buffer(32767, u'~');
  EXPECT_EQ(GetPrivateProfileSectionW(u"big", buffer.data(), 32767, Given(&big).c_str()), 32765u);
  EXPECT_EQ(buffer.substr(32764), u"k\0\0"s);
}

struct ParseCase {
  std::string file;
  const char16_t* section;
  const char16_t* key;
  std::u16string value;  // DEF: not found
};

TEST_F(ProfileTest, LinesParseByTheReadingRules) {
  const ParseCase cases[] = {
      {"  [  Sec One  ]  \r\n   Key One   =   Value with  inner   \t \r\n", u"Sec One", u"Key One",
       u"Value with  inner"},
      {"[s]\rk=cr\r", u"s", u"k", u"cr"},
      {"[s]\r\r\n\n\rk=runs", u"s", u"k", u"runs"},
      {"[s]\r\nk=last", u"s", u"k", u"last"},
      {"[s]\r\nk=\v\f\x1A v \x1A", u"s", u"k", u"v"},
      {"[s]\r\na=b=c\r\n", u"s", u"a", u"b=c"},
      {"[s]\r\nk=\"\"x\"\"\r\n", u"s", u"k", u"\"x\""},
      {"[s]\r\nk=\"  pad  \"\r\n", u"s", u"k", u"  pad  "},
      {"[s]\r\nk='single'\r\n", u"s", u"k", u"single"},
      {"[s]\r\nk=\"unbal\r\n", u"s", u"k", u"\"unbal"},
      {"[s]\r\nk='mixed\"\r\n", u"s", u"k", u"'mixed\""},
      {"[s]\r\nk=a\"b\"c\r\n", u"s", u"k", u"a\"b\"c"},
      {"[s]\r\nk=\"\r\n", u"s", u"k", u"\""},
      {"[s]\r\nk=v ; c\r\n", u"s", u"k", u"v ; c"},
      {"[s]\r\n;k=v\r\n", u"s", u"k", u"DEF"},
      {"[s]\r\n  ;k=v\r\n", u"s", u"k", u"DEF"},
      {"[s]\r\n#k=v\r\n", u"s", u"#k", u"v"},
      {"[c]d]\r\nk=v\r\n", u"c]d", u"k", u"v"},
      {"[a] x\r\nk=v\r\n", u"a", u"k", u"v"},
      {"[s]\r\n[b\r\nk=v\r\n", u"s", u"k", u"v"},
      {"[]\r\nk=v\r\n", u"", u"k", u"v"},
      {"k=top\r\n[s]\r\n", u"", u"k", u"DEF"},
      {"[s]\r\n=v\r\n", u"s", u"", u"v"},
      {"[s]\r\nk=\r\n", u"s", u"k", u""},
      {"[d]\r\nk1=1\r\n[D]\r\nk2=2\r\n", u"d", u"k1", u"1"},
      {"[d]\r\nk1=1\r\n[D]\r\nk2=2\r\n", u"D", u"k2", u"DEF"},
      {"[s]\r\nk=first\r\nk=second\r\n", u"s", u"k", u"first"},
      {"[SeCtIoN]\r\nKeY=v\r\n", u"section", u"KEY", u"v"},
      {"[Привет]\r\nÉTÉ=v\r\n", u"привет", u"été", u"v"},
      {"[s]\r\nk=v\r\n", u"  s \t", u" k ", u"v"},
      {"[a  b]\r\nk=v\r\n", u"a b", u"k", u"DEF"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(ReadValue(Given(&c.file), c.section, c.key), c.value);
  }
}

TEST_F(ProfileTest, IntegersAreDecimalModulo2To32) {
  const struct {
    std::string value;
    uint32_t expected;
  } cases[] = {
      {"42", 42},          {"  42", 42},      {"42abc", 42},
      {"abc", 0},          {"", 99},          {"\"\"", 99},
      {"-1", 4294967295u}, {"4294967297", 1}, {"-4294967297", 4294967295u},
      {"\"7\"", 7},        {"\"  7\"", 7},    {"0x1A", 0},
      {"+5", 5},           {"- 5", 0},        {"2147483648", 2147483648u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string content = "[s]\r\nk=" + c.value + "\r\nnoequal\r\n";
    EXPECT_EQ(GetPrivateProfileIntW(u"s", u"k", 99, Given(&content).c_str()), c.expected);
  }
  const std::string content = "[s]\r\nnoequal\r\n";
  const std::u16string file = Given(&content);
  EXPECT_EQ(GetPrivateProfileIntW(u"s", u"noequal", -5, file.c_str()), 4294967291u);
  EXPECT_EQ(GetPrivateProfileIntW(u"s", u"nokey", 7, file.c_str()), 7u);
  EXPECT_EQ(GetPrivateProfileIntW(u"t", u"k", 7, file.c_str()), 7u);
  EXPECT_EQ(GetPrivateProfileIntW(u"s", u"k", 8, dir_.Wide("none.ini").c_str()), 8u);
}

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file
  const char16_t* section;
  const char16_t* key;
  const char16_t* value;
  bool ok;
  std::optional<std::string> after;  // nullopt: no file
};

TEST_F(ProfileTest, WritesChangeOnlyWhatTheyMust) {
  const std::string app3 = "[App3]\r\nkey5=string5\r\n";
  const WriteCase cases[] = {
      {"new file", std::nullopt, u"App", u"key", u"string", true, "[App]\r\nkey=string\r\n"},
      {"new file, empty value", std::nullopt, u"App", u"key", u"", true, "[App]\r\nkey=\r\n"},
      {"value as given", std::nullopt, u"App", u"key", u"  as \"given\"  ", true,
       "[App]\r\nkey=  as \"given\"  \r\n"},
      {"null section", std::nullopt, nullptr, u"key", u"string", false, std::nullopt},
      {"new section", kApps, u"App3", u"key5", u"string5", true, kApps + app3},
      {"delete key", kApps, u"App1", u"key2", nullptr, true,
       "[App1]\r\nkey1=string1\r\n[App2]\r\nkey4=string4\r\n"},
      {"delete section", kApps, u"App1", nullptr, u"ignored", true, "[App2]\r\nkey4=string4\r\n"},
      {"delete last key", app3, u"App3", u"key5", nullptr, true, "[App3]\r\n"},
      {"delete missing key", app3, u"App3", u"nokey", nullptr, true, app3},
      {"delete missing section", app3, u"nosuch", nullptr, nullptr, true, app3},
      {"delete on missing file", std::nullopt, u"App", u"key", nullptr, true, std::nullopt},
      {"delete section on missing file", std::nullopt, u"App", nullptr, nullptr, true,
       std::nullopt},
      {"before blank lines", "[App]\r\nk1=v1\r\n\r\n[Other]\r\nx=y\r\n", u"App", u"k2", u"v2", true,
       "[App]\r\nk1=v1\r\nk2=v2\r\n\r\n[Other]\r\nx=y\r\n"},
      {"file spelling kept", "; top\r\n[App]\r\n  k1  =  old  \r\n;c\r\nK2 = v2\r\n", u"app", u"K1",
       u"new", true, "; top\r\n[App]\r\nk1=new\r\n;c\r\nK2 = v2\r\n"},
      {"LF file", "[s]\nk=v\n[t]\nx=y\n", u"s", u"k2", u"v2", true, "[s]\nk=v\nk2=v2\n[t]\nx=y\n"},
      {"CR file", "[s]\rk=v\r", u"s", u"k2", u"v2", true, "[s]\rk=v\rk2=v2\r"},
      {"no final line end", "[s]\r\nk=v", u"s", u"k2", u"v2", true, "[s]\r\nk=v\r\nk2=v2\r\n"},
      {"no final LF, new section", "[s]\nk=v", u"t", u"a", u"b", true, "[s]\nk=v\n[t]\na=b\n"},
      {"header only", "[s]", u"s", u"k", u"v", true, "[s]\r\nk=v\r\n"},
      {"after a trailing comment", "[s]\r\nk=v\r\n;end\r\n\r\n[t]\r\n", u"s", u"n", u"1", true,
       "[s]\r\nk=v\r\n;end\r\nn=1\r\n\r\n[t]\r\n"},
      {"section with comments and blanks", "[a]\r\nx=1\r\n;c\r\n\r\ny=2\r\n\r\n\r\n[b]\r\nz=3\r\n",
       u"a", nullptr, nullptr, true, "\r\n\r\n[b]\r\nz=3\r\n"},
      {"first duplicate written", "[d]\r\nk=1\r\n[D]\r\nk=2\r\nk=3\r\n", u"D", u"K", u"9", true,
       "[d]\r\nk=9\r\n[D]\r\nk=2\r\nk=3\r\n"},
      {"key holding '='", app3, u"App3", u"a=b", u"v", false, app3},
      {"key starting with ';'", app3, u"App3", u";k", u"v", false, app3},
      {"key making a header", app3, u"App3", u"[k", u"v]", false, app3},
      {"line break in value", app3, u"App3", u"k", u"x\r\n[evil]", false, app3},
      {"line break in section", app3, u"a\nb", u"k", u"v", false, app3},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    if (c.before) dir.Write("w.ini", *c.before);
    EXPECT_EQ(WritePrivateProfileStringW(c.section, c.key, c.value, dir.Wide("w.ini").c_str()),
              c.ok);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
    }
    ASSERT_EQ(dir.Exists("w.ini"), c.after.has_value());
    if (c.after) {
      EXPECT_EQ(dir.Read("w.ini"), *c.after);
    }
  }
}

struct ReplaceCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file
  const char16_t* section;
  std::optional<std::u16string> data;  // NUL-ended entries and the final NUL; nullopt: null
  bool ok;
  std::string after;
};

TEST_F(ProfileTest, SectionReplacementKeepsTheHeaderAndTheBlankLinesAfter) {
  const std::string one = "[s]\r\na=1\r\n";
  const std::string two = "[s]\r\na=1\r\n[t]\r\nx=1\r\n";
  const ReplaceCase cases[] = {
      {"replace", "[s]\r\n;comment\r\na=1\r\nb=2\r\n\r\n[t]\r\nx=1\r\n", u"S", u"c=3\0a=9\0\0"s,
       true, "[s]\r\nc=3\r\na=9\r\n\r\n[t]\r\nx=1\r\n"},
      {"append", one, u"new", u"k=v\0k2=v2\0\0"s, true, one + "[new]\r\nk=v\r\nk2=v2\r\n"},
      {"empty data", two, u"s", u"\0"s, true, "[s]\r\n[t]\r\nx=1\r\n"},
      {"entries normalised", one, u"s", u"noequal\0 sp = b \0k=1\0k=2\0=nokey\0\0"s, true,
       "[s]\r\nsp =b \r\nk=1\r\nk=2\r\n=nokey\r\n"},
      {"new file", std::nullopt, u"s", u"a=1\0\0"s, true, "[s]\r\na=1\r\n"},
      {"null data deletes", two, u"s", std::nullopt, true, "[t]\r\nx=1\r\n"},
      {"entry making a header", one, u"s", u"[x]=1\0\0"s, false, one},
      {"line break in entry", one, u"s", u"a=1\r\n[x]\0\0"s, false, one},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    if (c.before) dir.Write("w.ini", *c.before);
    EXPECT_EQ(WritePrivateProfileSectionW(c.section, c.data ? c.data->c_str() : nullptr,
                                          dir.Wide("w.ini").c_str()),
              c.ok);
    EXPECT_EQ(dir.Read("w.ini"), c.after);
  }
  EXPECT_FALSE(WritePrivateProfileSectionW(nullptr, u"a=1\0"s.c_str(), dir_.Wide("x").c_str()));
  EXPECT_FALSE(dir_.Exists("x"));
}

TEST_F(ProfileTest, TextSurvivesInEachEncoding) {
  // A file of a Windows server in its ANSI code page.
  const std::string ansi = "[s]\r\nk=caf\xE9\r\n";
  const std::u16string ansi_file = Given(&ansi, "ansi.ini");
  EXPECT_EQ(ReadValue(ansi_file, u"s", u"k"), u"café");
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k2", u"é€中", ansi_file.c_str()));
  EXPECT_EQ(dir_.Read("ansi.ini"), ansi + "k2=\xE9\x80?\r\n");

  const std::string utf16 = "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s;
  const std::u16string utf16_file = Given(&utf16, "utf16.ini");
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k2", u"中", utf16_file.c_str()));
  EXPECT_EQ(dir_.Read("utf16.ini"), utf16 +
                                        "k\0"
                                        "2\0=\0\x2D\x4E\r\0\n\0"s);
  EXPECT_EQ(ReadValue(utf16_file, u"S", u"K2"), u"中");

  const std::u16string created = dir_.Wide("new.ini");
  ASSERT_TRUE(WritePrivateProfileStringW(u"Sec", u"k", u"café € 中", created.c_str()));
  EXPECT_EQ(dir_.Read("new.ini"), "[Sec]\r\nk=caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD\r\n");
  EXPECT_EQ(ReadValue(created, u"sec", u"K"), u"café € 中");
}

TEST_F(ProfileTest, NamesResolveLikeWindowsPaths) {
  dir_.Write("Private/BsnServer.ini", "[s]\r\nk=v\r\n");
  const std::u16string name = dir_.wpath() + u"private\\bsnserver.INI";
  EXPECT_EQ(ReadValue(name, u"s", u"k"), u"v");
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"w", name.c_str()));
  EXPECT_EQ(dir_.Read("Private/BsnServer.ini"), "[s]\r\nk=w\r\n");

  // A relative name follows the current folder.
  std::u16string saved;
  ASSERT_TRUE(GetCurrentFolder(&saved).ok());
  dir_.Write("one/x.ini", "[s]\r\nk=one\r\n");
  dir_.Write("two/x.ini", "[s]\r\nk=two\r\n");
  ASSERT_TRUE(SetCurrentFolder(dir_.Wide("one")).ok());
  EXPECT_EQ(ReadValue(u"X.INI", u"s", u"k"), u"one");
  ASSERT_TRUE(SetCurrentFolder(dir_.Wide("two")).ok());
  EXPECT_EQ(ReadValue(u"X.INI", u"s", u"k"), u"two");
  ASSERT_TRUE(SetCurrentFolder(saved).ok());
}

TEST_F(ProfileTest, ChangesByAnotherWriterAreSeen) {
  const std::u16string file = dir_.Wide("f.ini");
  dir_.Write("f.ini", "[s]\r\nk=first\r\n");
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"first");
  dir_.Write("f.ini", "[s]\r\nk=longer\r\n");  // in place, new size
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"longer");

  // An atomic replace with the same size and modification time: only the
  // inode tells the versions apart.
  FileInfo before;
  ASSERT_TRUE(GetFileInfo(file, &before).ok());
  ASSERT_TRUE(WriteFileAtomically(file, "[s]\r\nk=second\r\n").ok());
  ASSERT_TRUE(SetFileTimes(file, before.modified_ns, before.modified_ns).ok());
  FileInfo after;
  ASSERT_TRUE(GetFileInfo(file, &after).ok());
  ASSERT_EQ(after.size, before.size);
  ASSERT_EQ(after.modified_ns, before.modified_ns);
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"second");

  // Our own write is read back from the cache and merged with the latest
  // content, not with a stale one.
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k2", u"mine", file.c_str()));
  EXPECT_EQ(dir_.Read("f.ini"), "[s]\r\nk=second\r\nk2=mine\r\n");

  ASSERT_TRUE(DeleteFile(file).ok());
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"DEF");
  EXPECT_EQ(ReadValue(file, u"s", nullptr), u"");
}

TEST_F(ProfileTest, AnUnchangedStatServesTheParsedFile) {
  const std::u16string file = dir_.Wide("f.ini");
  dir_.Write("f.ini", "[s]\r\nk=aaaa\r\n");
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"aaaa");
  FileInfo before;
  ASSERT_TRUE(GetFileInfo(file, &before).ok());
  dir_.Write("f.ini", "[s]\r\nk=bbbb\r\n");  // same inode and size
  ASSERT_TRUE(SetFileTimes(file, before.modified_ns, before.modified_ns).ok());
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"aaaa");
}

TEST_F(ProfileTest, AReadBatchLooksAtEachFileOnce) {
  const std::u16string file = dir_.Wide("f.ini");
  dir_.Write("f.ini", "[s]\r\nk=first\r\n");
  {
    const ProfileReadBatch batch;
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"first");
    dir_.Write("f.ini", "[s]\r\nk=changed by another\r\n");
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"first");
    {
      const ProfileReadBatch nested;
      EXPECT_EQ(ReadValue(file, u"s", u"k"), u"first");
    }
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"first");
    // Our own write goes to the latest content and is seen at once.
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k2", u"mine", file.c_str()));
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"changed by another");
    EXPECT_EQ(ReadValue(file, u"s", u"k2"), u"mine");
    dir_.Write("f.ini", "[s]\r\nk=again\r\n");
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"changed by another");
  }
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"again");
  {
    // A new batch checks the file again.
    const ProfileReadBatch batch;
    dir_.Write("f.ini", "[s]\r\nk=last\r\n");
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"last");
  }
}

// A file of random lines with everything the writers must keep byte for
// byte: its line-end style, a missing last line end, blank lines, comments,
// lines without '=', odd spacing, names in other letter cases, a duplicate
// section, lines before the first header; UTF-16LE or UTF-8 with a mark.
std::string RandomIniFile(std::mt19937& rng) {
  const char* const breaks[] = {"\r\n", "\n", "\r"};
  const std::string line_break = breaks[rng() % 3];
  std::string text = rng() % 4 == 0 ? "; top\r\nstray=line" + line_break : "";
  const int sections = 1 + static_cast<int>(rng() % 5);
  for (int s = 0; s < sections; ++s) {
    const int name = static_cast<int>(rng() % 4);
    text += rng() % 2 ? FormatA("[Sec%d]", name) : FormatA("  [ sEC%d ] ", name);
    text += line_break;
    const int lines = static_cast<int>(rng() % 8);
    for (int l = 0; l < lines; ++l) {
      switch (rng() % 6) {
        case 0:
          text += "; comment";
          break;
        case 1:
          text += "no equals here";
          break;
        case 2:
          text += FormatA("  KEY%d  =  spaced  ", static_cast<int>(rng() % 6));
          break;
        default:
          text += FormatA("key%d=v%d", static_cast<int>(rng() % 6), l);
      }
      text += line_break;
    }
    for (int blanks = static_cast<int>(rng() % 3); blanks > 0; --blanks) text += line_break;
  }
  if (rng() % 3 == 0) text += "last=no line end";
  switch (rng() % 4) {
    case 0: {
      std::string utf16 = "\xFF\xFE";
      for (char c : text) utf16 += std::string{c, '\0'};
      return utf16;
    }
    case 1:
      return "\xEF\xBB\xBF" + text;
    default:
      return text;
  }
}

// Applies one random write to `file`; the same `seed` gives the same write.
bool RandomWrite(uint32_t seed, const std::u16string& file) {
  std::mt19937 rng(seed);
  const auto pick = [&rng](int choices) { return static_cast<int>(rng() % choices); };
  const std::u16string section = pick(2) ? Format(u"Sec%d", pick(6)) : Format(u"SEC%d", pick(6));
  const std::u16string key = pick(2) ? Format(u"key%d", pick(8)) : Format(u"Key%d", pick(8));
  const std::u16string value = Format(u"value %d", pick(100));
  switch (pick(20)) {
    case 0:
      return WritePrivateProfileStringW(section.c_str(), key.c_str(), nullptr, file.c_str());
    case 1:
      return WritePrivateProfileStringW(section.c_str(), nullptr, nullptr, file.c_str());
    case 2: {
      const std::u16string data = key + u"=" + value + u'\0' + u" b = 2" + u'\0' + u'\0';
      return WritePrivateProfileSectionW(section.c_str(), data.c_str(), file.c_str());
    }
    case 3:  // refused: it would not read back
      return WritePrivateProfileStringW(section.c_str(), key.c_str(), u"two\r\nlines",
                                        file.c_str());
    default:
      return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
  }
}

TEST_F(ProfileTest, AWriteBatchLeavesTheBytesOfWritesOneByOne) {
  for (uint32_t round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    std::mt19937 rng(round);
    const bool missing = round % 10 == 0;
    const std::string before = missing ? "" : RandomIniFile(rng);
    const std::u16string single = dir_.Wide(FormatA("single%u.ini", round));
    const std::u16string batched = dir_.Wide(FormatA("batched%u.ini", round));
    if (!missing) {
      dir_.Write(FormatA("single%u.ini", round), before);
      dir_.Write(FormatA("batched%u.ini", round), before);
    }
    const int writes = 1 + static_cast<int>(rng() % 40);
    std::vector<uint32_t> seeds(writes);
    for (uint32_t& seed : seeds) seed = static_cast<uint32_t>(rng());

    FileFaults counted;
    counted.only_paths_containing = FormatA("batched%u.ini", round);
    const ScopedFileFaults counting(&counted);
    {
      ProfileWriteBatch batch(batched);
      for (uint32_t seed : seeds) {
        EXPECT_EQ(RandomWrite(seed, batched), RandomWrite(seed, single));
      }
      // This process reads what the writes left; the file is as it was.
      for (const char16_t* section : {u"sec0", u"sec1", u"sec4", u"sec5"}) {
        EXPECT_EQ(ReadValue(batched, section, u"key2"), ReadValue(single, section, u"key2"));
        EXPECT_EQ(ReadValue(batched, section, nullptr), ReadValue(single, section, nullptr));
      }
      EXPECT_EQ(dir_.Exists(FormatA("batched%u.ini", round)), !missing);
      if (!missing) {
        EXPECT_EQ(dir_.Read(FormatA("batched%u.ini", round)), before);
      }
      EXPECT_EQ(counted.renames, 0u);
      EXPECT_TRUE(batch.Commit().ok());
    }
    ASSERT_EQ(dir_.Exists(FormatA("batched%u.ini", round)),
              dir_.Exists(FormatA("single%u.ini", round)));
    if (dir_.Exists(FormatA("single%u.ini", round))) {
      EXPECT_EQ(dir_.Read(FormatA("batched%u.ini", round)),
                dir_.Read(FormatA("single%u.ini", round)));
      EXPECT_EQ(counted.renames, dir_.Read(FormatA("single%u.ini", round)) == before ? 0u : 1u);
    }
  }
}

TEST_F(ProfileTest, NestedWriteBatchesWriteOnceAtTheOutermostEnd) {
  const std::u16string file = dir_.Wide("n.ini");
  {
    ProfileWriteBatch outer(file);
    {
      ProfileWriteBatch inner(file);
      ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"v", file.c_str()));
      EXPECT_TRUE(inner.Commit().ok());
    }
    EXPECT_FALSE(dir_.Exists("n.ini"));
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"v");
    // A change by another process does not undo the batch's edits.
    dir_.Write("n.ini", "[other]\r\n");
    EXPECT_EQ(ReadValue(file, u"s", u"k"), u"v");
  }
  EXPECT_EQ(dir_.Read("n.ini"), "[s]\r\nk=v\r\n");
  // Once written, the file is watched for changes again.
  dir_.Write("n.ini", "[s]\r\nk=theirs\r\n");
  EXPECT_EQ(ReadValue(file, u"s", u"k"), u"theirs");

  // A batch that changes nothing writes nothing and creates no file.
  {
    ProfileWriteBatch batch(dir_.Wide("none.ini"));
    EXPECT_TRUE(WritePrivateProfileStringW(u"s", u"k", nullptr, dir_.Wide("none.ini").c_str()));
  }
  EXPECT_FALSE(dir_.Exists("none.ini"));
}

TEST_F(ProfileTest, AWriteBatchKeepsMoreFilesThanTheCacheHolds) {
  std::vector<std::unique_ptr<ProfileWriteBatch>> batches;
  for (int i = 0; i < 40; ++i) {
    const std::u16string file = dir_.Wide(FormatA("f%d.ini", i));
    batches.push_back(std::make_unique<ProfileWriteBatch>(file));
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", Format(u"%d", i).c_str(), file.c_str()));
  }
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(ReadValue(dir_.Wide(FormatA("f%d.ini", i)), u"s", u"k"), Format(u"%d", i));
  }
  batches.clear();
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(dir_.Read(FormatA("f%d.ini", i)), FormatA("[s]\r\nk=%d\r\n", i));
}

TEST_F(ProfileTest, AWriteBatchReportsFailuresLikeSingleWrites) {
  // A missing folder fails at the write itself.
  const std::u16string nowhere = dir_.Wide("no/f.ini");
  {
    ProfileWriteBatch batch(nowhere);
    EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", nowhere.c_str()));
    EXPECT_TRUE(IsNotFound(GetLastError()));
    EXPECT_TRUE(batch.Commit().ok());
  }
  EXPECT_FALSE(dir_.Exists("no"));

  // A write of the file that fails shows in the commit; the file stays, and
  // the edits that did not reach it are not read either.
  dir_.Write("full.ini", "[s]\r\nk=old\r\n");
  const std::u16string full = dir_.Wide("full.ini");
  FileFaults faults;
  faults.fail_write_at = 1;
  faults.disk_full = true;
  {
    const ScopedFileFaults installed(&faults);
    ProfileWriteBatch batch(full);
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"new", full.c_str()));
    const Status status = batch.Commit();
    EXPECT_EQ(status.code(), DiskFullError());
    EXPECT_TRUE(batch.Commit().ok());  // ended already
  }
  EXPECT_EQ(dir_.Read("full.ini"), "[s]\r\nk=old\r\n");
  EXPECT_EQ(ReadValue(full, u"s", u"k"), u"old");
}

TEST_F(ProfileTest, FailedWritesReportTheReasonAndKeepTheFile) {
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", dir_.Wide("no/f.ini").c_str()));
  EXPECT_TRUE(IsNotFound(GetLastError()));
  EXPECT_FALSE(dir_.Exists("no"));
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", nullptr, dir_.Wide("no/f.ini").c_str()));
  EXPECT_TRUE(IsNotFound(GetLastError()));
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", u""));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", nullptr));
  EXPECT_FALSE(WritePrivateProfileSectionW(u"s", u"a=1\0"s.c_str(), u""));

  dir_.MakeFolder("folder.ini");
  const std::u16string folder = dir_.Wide("folder.ini");
  EXPECT_EQ(ReadValue(folder, u"s", u"k"), u"DEF");
  EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", folder.c_str()));
  EXPECT_EQ(GetLastError(), kErrorIsFolder);

  // A flush request changes nothing.
  EXPECT_FALSE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, dir_.Wide("f.ini").c_str()));
  EXPECT_FALSE(dir_.Exists("f.ini"));
}

TEST_F(ProfileTest, BadContentGivesClearResults) {
  // One line of a megabyte.
  const std::string huge = "[s]\r\nbig=" + std::string(1 << 20, 'x') + "\r\n";
  const std::u16string huge_file = Given(&huge, "huge.ini");
  char16_t buffer[1024];
  EXPECT_EQ(GetPrivateProfileStringW(u"s", u"big", u"", buffer, 1024, huge_file.c_str()), 1023u);
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"v", huge_file.c_str()));
  EXPECT_EQ(dir_.Read("huge.ini"), huge + "k=v\r\n");

  // Binary garbage is read as Windows-1252 text and kept byte for byte.
  std::mt19937 random(1234);
  std::string garbage(64 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  garbage[0] = 'x';
  const std::u16string garbage_file = Given(&garbage, "garbage.ini");
  std::u16string names(32767, u'~');
  GetPrivateProfileStringW(nullptr, nullptr, nullptr, names.data(), 32767, garbage_file.c_str());
  EXPECT_EQ(ReadValue(garbage_file, u"portelle", u"k"), u"DEF");
  ASSERT_TRUE(WritePrivateProfileStringW(u"portelle", u"k", u"v", garbage_file.c_str()));
  const std::string rewritten = dir_.Read("garbage.ini");
  EXPECT_EQ(rewritten.substr(0, garbage.size()), garbage);
  EXPECT_EQ(ReadValue(garbage_file, u"portelle", u"k"), u"v");

  // UTF-16 without a byte-order mark reads as narrow text and finds nothing.
  const std::string no_bom = "[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s;
  EXPECT_EQ(ReadValue(Given(&no_bom, "nobom.ini"), u"s", u"k"), u"DEF");

  // A null buffer receives nothing.
  EXPECT_EQ(GetPrivateProfileStringW(u"s", u"k", u"d", nullptr, 10, huge_file.c_str()), 0u);
  EXPECT_EQ(GetPrivateProfileSectionW(u"s", nullptr, 10, huge_file.c_str()), 0u);
}

TEST_F(ProfileTest, ConcurrentWritersLoseNothing) {
  const std::u16string file = dir_.Wide("c.ini");
  const auto writer = [&file](const char16_t* section) {
    for (int i = 0; i < 50; ++i) {
      const std::u16string key = Format(u"key%d", i);
      WritePrivateProfileStringW(section, key.c_str(), u"v", file.c_str());
    }
  };
  std::thread first(writer, u"one");
  std::thread second(writer, u"two");
  first.join();
  second.join();
  std::u16string keys(4096, u'~');
  EXPECT_EQ(GetPrivateProfileStringW(u"one", nullptr, nullptr, keys.data(), 4096, file.c_str()),
            50u * 6 - 10);
  EXPECT_EQ(GetPrivateProfileStringW(u"two", nullptr, nullptr, keys.data(), 4096, file.c_str()),
            50u * 6 - 10);
}

}  // namespace
}  // namespace platform
