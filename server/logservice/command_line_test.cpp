#include "server/logservice/command_line.h"

#include <gtest/gtest.h>

namespace logservice {
namespace {

TEST(CommandLineTest, OptionsAndTheLogFile) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({"--pid-file", "/run/l.pid", "--idle-timeout", "250",
                                "/var/log/bastionel.log"},
                               &c, &error))
      << error;
  EXPECT_EQ(c.log_file, "/var/log/bastionel.log");
  EXPECT_EQ(c.host.pid_file, "/run/l.pid");
  EXPECT_FALSE(c.host.background);
  EXPECT_EQ(c.idle_timeout_ms, 250);
  EXPECT_FALSE(c.help);

  ASSERT_TRUE(ParseCommandLine({"log.txt"}, &c, &error));
  EXPECT_FALSE(c.host.background);
  EXPECT_TRUE(c.host.pid_file.empty());
  EXPECT_EQ(c.idle_timeout_ms, CLogService::kDefaultIdleTimeoutMs);

  ASSERT_TRUE(ParseCommandLine({"--help"}, &c, &error));  // needs no log file
  EXPECT_TRUE(c.help);
}

// Linux services fork into the background; Windows has no fork, and the
// option is refused there rather than ignored.
TEST(CommandLineTest, BackgroundWhereTheSystemAllowsIt) {
  CommandLine c;
  std::string error;
  const bool parsed = ParseCommandLine({"--background", "--pid-file", "l.pid", "l.log"}, &c, &error);
  if (stand_in::kCanRunInBackground) {
    ASSERT_TRUE(parsed) << error;
    EXPECT_TRUE(c.host.background);
  } else {
    EXPECT_FALSE(parsed);
    EXPECT_EQ(error,
              "--background is not available on this system: start the service in the "
              "background yourself (start /b)");
  }
}

TEST(CommandLineTest, MistakesAreRefusedWithAReason) {
  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{}, "no log file given"},
      {{"a.log", "b.log"}, "more than one log file: a.log and b.log"},
      {{"--verbose", "a.log"}, "unknown option --verbose"},
      {{"a.log", "--pid-file"}, "--pid-file needs a value"},
      {{"--pid-file", "", "a.log"}, "--pid-file needs a value"},
      {{"--idle-timeout", "0", "a.log"},
       "--idle-timeout needs a positive number of milliseconds, not '0'"},
      {{"--idle-timeout", "10s", "a.log"},
       "--idle-timeout needs a positive number of milliseconds, not '10s'"},
  };
  for (const auto& c : cases) {
    CommandLine command_line;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(c.arguments, &command_line, &error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace logservice
