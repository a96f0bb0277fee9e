#include "platform/system.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/text.h"

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

TEST(SystemTest, ThreadIdsDifferBetweenThreads) {
  EXPECT_NE(GetCurrentProcessId(), 0u);
  EXPECT_TRUE(IsProcessAlive(GetCurrentProcessId()));
  EXPECT_FALSE(IsProcessAlive(0));
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
  std::u16string folder;
  ASSERT_TRUE(GetProgramFolder(&folder).ok());
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(folder.back() == u'/' || folder.back() == u'\\') << Utf16ToUtf8(folder);
  // The program's file name, with ".exe" on Windows.
  ASSERT_TRUE(path.starts_with(folder)) << Utf16ToUtf8(path);
  const std::u16string file = path.substr(folder.size());
  EXPECT_TRUE(file == u"platform_test" || file == u"platform_test.exe") << Utf16ToUtf8(path);
}

TEST(SystemTest, FolderOfPathKeepsTheLastSeparator) {
  EXPECT_EQ(FolderOfPath(u"/opt/bin/portelle"), u"/opt/bin/");
  EXPECT_EQ(FolderOfPath(u"C:\\Program Files\\Portelle.exe"), u"C:\\Program Files\\");
  EXPECT_EQ(FolderOfPath(u"/opt/bin/"), u"/opt/bin/");
  EXPECT_EQ(FolderOfPath(u"portelle"), u"");
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
