// The system code page on Windows: the "ANSI" code page, 1252 in Western
// installations and under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/text.h"

namespace platform {
namespace {

TEST(TextWinTest, SystemCodePageIsTheAnsiCodePage) {
  EXPECT_EQ(SystemCodePageIsUtf8(), ::GetACP() == CP_UTF8);
  if (::GetACP() != 1252) GTEST_SKIP() << "code page " << ::GetACP() << ", not 1252";
  EXPECT_EQ(ToSystemCodePage(u"Donn\u00e9es \u20ac"),
            "Donn\xE9"
            "es \x80");
  EXPECT_EQ(FromSystemCodePage("Donn\xE9"
                               "es \x80"),
            u"Donn\u00e9es \u20ac");
  // What the code page cannot hold becomes '?'.
  EXPECT_EQ(ToSystemCodePage(u"\u0416.ini"), "?.ini");
  EXPECT_EQ(ToSystemCodePage(u""), "");
  EXPECT_EQ(FromSystemCodePage(""), u"");
}

}  // namespace
}  // namespace platform
