#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLineTest, FollowsTheWindowsRules) {
  struct Case {
    std::string_view line;
    Words words;
  };
  const Case cases[] = {
      {R"(SvcCfgRunner.exe -migrateDlpTemplate "Private\DlpClc.ori.xml" "Private\DlpClc.xml" )"
       R"(10.500000 0)",
       {"SvcCfgRunner.exe", "-migrateDlpTemplate", R"(Private\DlpClc.ori.xml)",
        R"(Private\DlpClc.xml)", "10.500000", "0"}},
      // The program name: quotes group, backslashes are plain, even before a quote.
      {R"("C:\Program Files\x.exe" a)", {R"(C:\Program Files\x.exe)", "a"}},
      {R"(C:\a\"b c" d)", {R"(C:\a\b c)", "d"}},
      // The C runtime's own examples.
      {R"(p "abc" d e)", {"p", "abc", "d", "e"}},
      {R"(p a\\\b d"e f"g h)", {"p", R"(a\\\b)", "de fg", "h"}},
      {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
      {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
      {R"(p "ab\"c" "\\" d)", {"p", R"(ab"c)", R"(\)", "d"}},
      // Two double quotes inside quotes are one literal quote.
      {R"(p "a""b" c)", {"p", R"(a"b)", "c"}},
      {R"(p "" x)", {"p", "", "x"}},
      {"p\t a \t\tb  ", {"p", "a", "b"}},
      {R"(p "open to the end)", {"p", "open to the end"}},
      {"", {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
}

}  // namespace
}  // namespace platform
