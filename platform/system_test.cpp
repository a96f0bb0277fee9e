#include "platform/system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/named_pipe.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"

namespace platform {
namespace {

TEST(SystemTest, GuidsAreRandomVersion4) {
  Guid a;
  Guid b;
  ASSERT_TRUE(CreateGuid(&a));
  ASSERT_TRUE(CreateGuid(&b));
  EXPECT_EQ(a.data3 >> 12, 4);
  EXPECT_EQ(a.data4[0] & 0xC0, 0x80);
  EXPECT_EQ(b.data3 >> 12, 4);
  EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(SystemTest, ThreadIdsAreKernelIds) {
  // The first thread's kernel id is the process id.
  EXPECT_EQ(GetCurrentThreadId(), GetCurrentProcessId());
  EXPECT_EQ(GetCurrentProcessId(), static_cast<uint32_t>(::getpid()));
  uint32_t other = 0;
  std::thread([&other] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, GetCurrentThreadId());
}

TEST(SystemTest, TickCountDoesNotGoBack) {
  const uint32_t first = GetTickCount();
  const uint32_t second = GetTickCount();
  EXPECT_LE(static_cast<uint32_t>(second - first), 1000u);
}

TEST(SystemTest, ProgramPathAndFolder) {
  std::u16string path;
  ASSERT_TRUE(GetProgramPath(&path).ok());
  EXPECT_EQ(path.front(), u'/');
  EXPECT_TRUE(path.ends_with(u"/platform_test")) << std::string(path.begin(), path.end());
  std::u16string folder;
  ASSERT_TRUE(GetProgramFolder(&folder).ok());
  EXPECT_EQ(folder + u"platform_test", path);
}

TEST(SystemTest, FolderOfPathKeepsTheLastSeparator) {
  EXPECT_EQ(FolderOfPath(u"/opt/bin/portelle"), u"/opt/bin/");
  EXPECT_EQ(FolderOfPath(u"C:\\Program Files\\Portelle.exe"), u"C:\\Program Files\\");
  EXPECT_EQ(FolderOfPath(u"/opt/bin/"), u"/opt/bin/");
  EXPECT_EQ(FolderOfPath(u"portelle"), u"");
}

TEST(SystemTest, EnvironmentUsageNamesTheVariablesWithTheDefaultsInUse) {
  const std::string usage = Utf16ToUtf8(EnvironmentUsage());
  EXPECT_NE(usage.find("BASTIONEL_REGISTRY"), std::string::npos);
  EXPECT_NE(usage.find("(default /etc/bastionel/registry.reg)"), std::string::npos);
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", "");
  const std::string socket = PipeSystemPath(u"X");
  const std::string folder = socket.substr(0, socket.size() - 2);
  EXPECT_NE(
      usage.find("BASTIONEL_PIPE_DIR  the folder of the server's pipes (default " + folder + ")"),
      std::string::npos);
  EXPECT_EQ(usage.back(), '\n');
}

TEST(SystemTest, ServerCoreCanBeSubstitutedForATest) {
  EXPECT_FALSE(IsServerCore());
  {
    ScopedServerCoreForTesting core(true);
    EXPECT_TRUE(IsServerCore());
    {
      ScopedServerCoreForTesting desktop(false);
      EXPECT_FALSE(IsServerCore());
    }
    EXPECT_TRUE(IsServerCore());
  }
  EXPECT_FALSE(IsServerCore());
}

}  // namespace
}  // namespace platform
