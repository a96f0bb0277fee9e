#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/named_pipe.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"

namespace platform {
namespace {

TEST(SystemTest, ThreadIdsAreKernelIds) {
  // The first thread's kernel id is the process id.
  EXPECT_EQ(GetCurrentThreadId(), GetCurrentProcessId());
  EXPECT_EQ(GetCurrentProcessId(), static_cast<uint32_t>(::getpid()));
}

TEST(SystemTest, ProgramPathIsAbsolute) {
  std::u16string path;
  ASSERT_TRUE(GetProgramPath(&path).ok());
  EXPECT_EQ(path.front(), u'/');
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

}  // namespace
}  // namespace platform
