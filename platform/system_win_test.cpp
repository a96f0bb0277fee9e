#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"
#include "platform/text.h"

namespace platform {
namespace {

TEST(SystemTest, ProgramPathIsAWindowsPath) {
  std::u16string path;
  ASSERT_TRUE(GetProgramPath(&path).ok());
  // A drive letter and a backslash, as GetModuleFileNameW gives it.
  ASSERT_GE(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), u":\\") << Utf16ToUtf8(path);
  EXPECT_TRUE(path.ends_with(u"\\platform_test.exe")) << Utf16ToUtf8(path);
}

TEST(SystemTest, TheServerIsFoundWithoutEnvironmentVariables) {
  EXPECT_TRUE(EnvironmentUsage().empty());
}

TEST(SystemTest, ADesktopOrWorkstationSystemIsNotServerCore) {
  // Wine reports a workstation; the test seam is not in use.
  EXPECT_FALSE(IsServerCore());
}

}  // namespace
}  // namespace platform
