#include "platform/program_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::u16string>;

TEST(SplitProgramCommandLineTest, SplitsAsTheSystemBuildsAProgramsArguments) {
  EXPECT_EQ(platform::SplitProgramCommandLine(
                u"\"C:\\Program Files\\Portelle\\portelle.exe\" /c /t \"D:\\Sauvegarde été\\"
                u"\u65e5\u672c.zip\""),
            (Tokens{u"C:\\Program Files\\Portelle\\portelle.exe", u"/c", u"/t",
                    u"D:\\Sauvegarde été\\\u65e5\u672c.zip"}));
  // Characters beyond the basic plane travel as their two units.
  EXPECT_EQ(platform::SplitProgramCommandLine(u"p.exe a\U0001F512b"),
            (Tokens{u"p.exe", u"a\U0001F512b"}));
  // Runs of blanks separate; 2n backslashes before a quote give n, 2n + 1
  // give n and a literal quote; other backslashes stay.
  EXPECT_EQ(platform::SplitProgramCommandLine(u"p.exe \t \"C:\\a b\\\\\"  x\\\"y C:\\d\\e"),
            (Tokens{u"p.exe", u"C:\\a b\\", u"x\"y", u"C:\\d\\e"}));
  EXPECT_EQ(platform::SplitProgramCommandLine(u"p.exe \"\""), (Tokens{u"p.exe", u""}));
}

TEST(SplitProgramCommandLineTest, ABlankLineHasNoTokens) {
  EXPECT_EQ(platform::SplitProgramCommandLine(u""), Tokens{});
  EXPECT_EQ(platform::SplitProgramCommandLine(u" \t "), Tokens{});
}

}  // namespace
