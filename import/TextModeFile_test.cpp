#include "import/TextModeFile.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

const std::string kBom = "\xFF\xFE";

TEST(TextModeFileTest, EveryLineFeedGoesOutAfterACarriageReturn) {
  EXPECT_EQ(text_mode::NarrowBytes("a\nb\r\n\n"), "a\r\nb\r\r\n\r\n");
  EXPECT_EQ(text_mode::NarrowBytes(""), "");
  EXPECT_EQ(text_mode::UnicodeBytes(u"a\n\u010A"), std::string("a\0\r\0\n\0\x0A\x01", 8));
}

TEST(TextModeFileTest, UnicodeFilesStartWithOneByteOrderMark) {
  testing_support::TempFolder dir;
  const std::u16string name = dir.Wide("list.txt");
  ASSERT_TRUE(text_mode::AppendUnicodeText(name, u"a\n").ok());
  ASSERT_TRUE(text_mode::AppendUnicodeText(name, u"b\n").ok());
  EXPECT_EQ(dir.Read("list.txt"), kBom + std::string("a\0\r\0\n\0b\0\r\0\n\0", 12));

  ASSERT_TRUE(text_mode::CreateUnicodeFile(name).ok());
  EXPECT_EQ(dir.Read("list.txt"), kBom);
  ASSERT_TRUE(text_mode::AppendUnicodeText(name, u"c").ok());
  EXPECT_EQ(dir.Read("list.txt"), kBom + std::string("c\0", 2));

  dir.Write("empty.txt", "");
  ASSERT_TRUE(text_mode::AppendUnicodeText(dir.Wide("empty.txt"), u"d").ok());
  EXPECT_EQ(dir.Read("empty.txt"), kBom + std::string("d\0", 2));

  EXPECT_FALSE(text_mode::CreateUnicodeFile(dir.Wide("missing/list.txt")).ok());
  EXPECT_FALSE(text_mode::AppendUnicodeText(dir.Wide("missing/list.txt"), u"x").ok());
}

}  // namespace
