// The debug-log client against the real bastionel-logservice process, over
// the real socket.
#include "server/logservice/log_service.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "dbclient/pipe_Client.h"
#include "log/DebugLog.h"
#include "platform/format.h"
#include "platform/named_pipe.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char16_t kLogSource[] = u"LogServiceTest";

uint32_t g_ticks = 0;
uint32_t FakeTicks() { return g_ticks; }

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the last line has no line feed";
  return lines;
}

// Seconds since 1970 of a line's leading "YYYY-MM-DD HH:MM:SS" in UTC.
time_t LineTime(const std::string& line) {
  std::tm utc{};
  if (::strptime(line.c_str(), "%Y-%m-%d %H:%M:%S", &utc) != line.c_str() + 19) return -1;
  return ::timegm(&utc);
}

class LogServiceTest : public ::testing::Test {
 protected:
  LogServiceTest()
      : pipes_(dir_.path() + "pipes"),
        pipe_dir_("BASTIONEL_PIPE_DIR", pipes_),
        log_file_(dir_.path() + "service.log"),
        socket_(pipes_ + "/Log_ServerNamePipe") {
    debug_log::ProcessGate() = CLogGate(&FakeTicks);
    g_ticks = 100000;
  }

  // Starts the service with `options` before the log file.
  bool Start(testing_support::ServiceProcess* service, std::vector<std::string> options = {}) {
    options.push_back(log_file_);
    return service->Start(testing_support::ProgramInBinFolder("bastionel-logservice"), options,
                          {"BASTIONEL_PIPE_DIR=" + pipes_});
  }

  // Stops the service (which first writes what is queued) and returns the
  // lines of the log file.
  std::vector<std::string> StopAndReadLog() {
    EXPECT_EQ(service_.Stop(), 0) << service_.standard_error();
    return SplitLines(dir_.Read("service.log"));
  }

  // The part of a record's line after its time.
  static std::string After(int level, std::string_view source, int line, std::string_view text) {
    return platform::FormatA(" pid=%u tid=%u level=%d %s:%d [][logservice_test]%s",
                             platform::GetCurrentProcessId(), platform::GetCurrentThreadId(), level,
                             source, line, text);
  }

  testing_support::TempFolder dir_;
  const std::string pipes_;
  testing_support::ScopedEnvironmentVariable pipe_dir_;
  const std::string log_file_;
  const std::string socket_;
  testing_support::ServiceProcess service_;
};

TEST_F(LogServiceTest, RecordsArriveWholeAndInOrder) {
  ASSERT_TRUE(Start(&service_)) << service_.standard_error();
  EXPECT_EQ(service_.socket_path(), socket_);
  const time_t before = std::time(nullptr);
  constexpr int kLines = 300;
  for (int i = 0; i < kLines; ++i)
    DebugLog(68, kLogSource, 1000 + i, u"%s - line %d", u"CTest::Run", i);
  DebugLog(69, kLogSource, 7, u"%s", std::u16string(5000, u'm'));
  DebugLog(8, kLogSource, 8, u"Z\u00FCrich \u2013 \u6771\u4EAC %s", u"\U0001F600");
  DebugLogA(5, "Zip", 9, "[CZipAU::Open] %s failed[%d]",
            "Gr\xC3\xBC\xC3\x9F"
            "e.zip",
            -3);
  DebugLogShort(2, u"size error (m_dwCurPos[%d])", 16);
  EXPECT_TRUE(debug_log::ProcessGate().reachable());
  const time_t after = std::time(nullptr);

  const std::vector<std::string> lines = StopAndReadLog();
  ASSERT_EQ(lines.size(), kLines + 4u);
  for (const std::string& line : lines) {
    const time_t t = LineTime(line);
    EXPECT_GE(t, before) << line;
    EXPECT_LE(t, after) << line;
  }
  for (int i = 0; i < kLines; ++i) {
    EXPECT_EQ(lines[i].substr(19),
              After(68, "LogServiceTest", 1000 + i, platform::FormatA("CTest::Run - line %d", i)));
  }
  // The whole text "[][logservice_test]mmm..." is cut to 4095 characters.
  EXPECT_EQ(lines[kLines].substr(19), After(69, "LogServiceTest", 7, std::string(4095 - 19, 'm')));
  EXPECT_EQ(lines[kLines + 1].substr(19),
            After(8, "LogServiceTest", 8,
                  "Z\xC3\xBCrich \xE2\x80\x93 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80"));
  EXPECT_EQ(lines[kLines + 2].substr(19), After(5, "Zip", 9,
                                                "[CZipAU::Open] Gr\xC3\xBC\xC3\x9F"
                                                "e.zip failed[-3]"));
  EXPECT_EQ(lines[kLines + 3].substr(19), After(2, "", 1, "size error (m_dwCurPos[16])"));
}

TEST_F(LogServiceTest, AnAbsentServiceIsTriedOnceInElevenLinesAndNotWithinFiveSeconds) {
  DEBUG_LOG(68, u"first line: tried, nobody listens");
  EXPECT_FALSE(debug_log::ProcessGate().reachable());
  // From here on the service runs, so every line tried reaches it.
  ASSERT_TRUE(Start(&service_)) << service_.standard_error();
  for (int i = 0; i < 10; ++i) DEBUG_LOG(68, u"skipped %d", i);
  g_ticks += 5000;  // the eleventh line, but not more than 5000 ms later
  DEBUG_LOG(68, u"dropped: within five seconds");
  for (int i = 0; i < 10; ++i) DEBUG_LOG(68, u"skipped again %d", i);
  g_ticks += 1;
  DEBUG_LOG(68, u"tried after the back-off");
  EXPECT_TRUE(debug_log::ProcessGate().reachable());
  DEBUG_LOG(68, u"and every line after it");

  const std::vector<std::string> lines = StopAndReadLog();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].ends_with("]tried after the back-off")) << lines[0];
  EXPECT_TRUE(lines[1].ends_with("]and every line after it")) << lines[1];
}

TEST_F(LogServiceTest, AServiceThatDoesNotReadCostsTheCallerNothing) {
  ASSERT_TRUE(Start(&service_)) << service_.standard_error();
  // A stopped service accepts and reads nothing; the records wait in the
  // queue of its socket and every call returns at once.
  ASSERT_EQ(::kill(service_.pid(), SIGSTOP), 0);
  const uint32_t start = platform::GetTickCount();
  for (int i = 0; i < 5; ++i) DEBUG_LOG(68, u"%s", std::u16string(4000, u'a' + i));
  EXPECT_LT(platform::GetTickCount() - start, static_cast<uint32_t>(platform::kPipeBusyWaitMs));
  EXPECT_TRUE(debug_log::ProcessGate().reachable());
  ASSERT_EQ(::kill(service_.pid(), SIGCONT), 0);
  const std::vector<std::string> lines = StopAndReadLog();
  ASSERT_EQ(lines.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(lines[i].ends_with(std::string(4000 - 19, 'a' + i)));
}

TEST_F(LogServiceTest, AServiceThatDiedMakesLinesFailAndBackOff) {
  ASSERT_TRUE(Start(&service_)) << service_.standard_error();
  ASSERT_EQ(::kill(service_.pid(), SIGKILL), 0);
  EXPECT_EQ(service_.Wait(), 128 + SIGKILL);
  ASSERT_TRUE(FileExists(socket_));  // a killed service leaves its socket behind
  DEBUG_LOG(68, u"lost: the socket is stale");
  EXPECT_FALSE(debug_log::ProcessGate().reachable());
  // A new service takes the stale socket over; lines reach it after the back-off.
  ASSERT_TRUE(Start(&service_)) << service_.standard_error();
  for (int i = 0; i < 10; ++i) DEBUG_LOG(68, u"skipped %d", i);
  g_ticks += 5001;
  DEBUG_LOG(68, u"delivered again");
  const std::vector<std::string> lines = StopAndReadLog();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("]delivered again"));
}

TEST(PipeClientPeerTest, APeerThatClosedEarlyIsAFailedWriteNotASignal) {
  testing_support::TempFolder dir;
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "p");
  platform::PipeListener listener;
  ASSERT_TRUE(listener.Listen(debug_log::kLogPipeName).ok());
  CPipeClient client;
  ASSERT_TRUE(client.Open(debug_log::kLogPipeName));
  platform::PipeStream accepted;
  ASSERT_TRUE(listener.Accept(&accepted, 5000).ok());
  accepted.Close();
  // A socket whose peer has closed refuses every write, and with EPIPE: a
  // SIGPIPE would end this test program.
  const std::string record(3000, 'r');
  uint32_t count = static_cast<uint32_t>(record.size());
  EXPECT_FALSE(client.Write(record.data(), &count));
  EXPECT_EQ(platform::GetLastError(), EPIPE);
  EXPECT_LT(count, record.size());
}

// Clients that go wrong: each leaves one line saying so, except one that
// sent nothing, and the service goes on serving.
TEST_F(LogServiceTest, MisbehavingClientsLeaveMarkedLinesAndDoNotStopTheService) {
  ASSERT_TRUE(Start(&service_, {"--idle-timeout", "200"})) << service_.standard_error();
  const std::u16string record = debug_log::BuildRecord(1700000000, 1, 2, 68, u"Src", 3, u"whole");
  const auto send = [](std::string_view bytes, bool close) {
    platform::PipeStream stream;
    EXPECT_TRUE(stream.Connect(debug_log::kLogPipeName).ok());
    EXPECT_TRUE(stream.Write(bytes.data(), bytes.size()).ok());
    if (close) stream.Close();
    return stream;
  };
  const std::string whole(reinterpret_cast<const char*>(record.c_str()), (record.size() + 1) * 2);
  send("", true);                                     // connects and leaves
  send(std::string_view(whole).substr(0, 21), true);  // leaves mid-record, odd bytes
  send(std::string_view(whole).substr(0, 20), true);  // leaves mid-record
  platform::PipeStream stalled = send(std::string_view(whole).substr(0, 10), false);
  send(whole, true);
  DEBUG_LOG(68, u"the real client still gets through");
  const std::vector<std::string> lines = StopAndReadLog();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(19), " undecodable record (21 bytes, odd byte count): LOG_WRITE\\t");
  EXPECT_EQ(lines[1].substr(19),
            " undecodable record (20 bytes, no terminating NUL): LOG_WRITE\\t");
  EXPECT_EQ(lines[2].substr(19),
            " undecodable record (10 bytes, no terminating NUL, client silent for 200 ms): LOG_W");
  EXPECT_EQ(lines[3], "2023-11-14 22:13:20 pid=1 tid=2 level=68 Src:3 whole");
  EXPECT_TRUE(lines[4].ends_with("]the real client still gets through"));
}

TEST_F(LogServiceTest, AClientThatSendsTooMuchIsCutOff) {
  ASSERT_TRUE(Start(&service_)) << service_.standard_error();
  const std::string flood(logservice::CLogService::kMaxRecordBytes + 65536, 'a');
  platform::PipeStream stream;
  ASSERT_TRUE(stream.Connect(debug_log::kLogPipeName).ok());
  // The service stops reading at its limit; whether the rest still fitted
  // into the socket's buffer or met the closed end does not matter here.
  (void)stream.Write(flood.data(), flood.size());
  stream.Close();
  DEBUG_LOG(68, u"served on");
  const std::vector<std::string> lines = StopAndReadLog();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].substr(19).starts_with(
      " undecodable record (1048576 bytes, longer than 1048576 bytes): "));
  EXPECT_TRUE(lines[0].ends_with("..."));
  EXPECT_TRUE(lines[1].ends_with("]served on"));
}

TEST_F(LogServiceTest, ASecondInstanceIsRefusedAndLeavesTheFirstAlone) {
  ASSERT_TRUE(Start(&service_)) << service_.standard_error();
  testing_support::ServiceProcess second;
  EXPECT_FALSE(Start(&second));
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(second.standard_error(),
            "bastionel-logservice: the pipe Log_ServerNamePipe is already served by another "
            "process (" +
                socket_ + ")\n");
  ASSERT_TRUE(FileExists(socket_));
  DEBUG_LOG(68, u"the first one still serves");
  const std::vector<std::string> lines = StopAndReadLog();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("]the first one still serves"));
}

TEST_F(LogServiceTest, StopSignalsRemoveSocketAndPidFile) {
  const std::string pid_file = dir_.path() + "service.pid";
  for (int signal : {SIGTERM, SIGINT}) {
    testing_support::ServiceProcess service;
    ASSERT_TRUE(Start(&service, {"--pid-file", pid_file})) << service.standard_error();
    EXPECT_EQ(dir_.Read("service.pid"), std::to_string(service.pid()) + "\n");
    EXPECT_TRUE(FileExists(socket_));
    ASSERT_EQ(::kill(service.pid(), signal), 0);
    EXPECT_EQ(service.Wait(), 0) << signal;
    EXPECT_FALSE(FileExists(socket_)) << signal;
    EXPECT_FALSE(FileExists(pid_file)) << signal;
    EXPECT_EQ(service.standard_output(), "listening on " + socket_ + "\n");
  }
}

TEST_F(LogServiceTest, BackgroundServiceIsFoundThroughItsPidFile) {
  const std::string pid_file = dir_.path() + "service.pid";
  ASSERT_TRUE(Start(&service_, {"--background", "--pid-file", pid_file}))
      << service_.standard_error();
  const pid_t starter = service_.pid();
  EXPECT_EQ(service_.Wait(), 0);  // the starting process ends once the service listens
  const pid_t daemon = std::stoi(dir_.Read("service.pid"));
  EXPECT_NE(daemon, starter);
  EXPECT_EQ(::getsid(daemon), daemon);  // a session of its own
  DEBUG_LOG(68, u"to the background service");
  ASSERT_EQ(::kill(daemon, SIGTERM), 0);
  ASSERT_TRUE(
      testing_support::WaitForProcessEnd(daemon, testing_support::ServiceProcess::kStopTimeoutMs));
  EXPECT_FALSE(FileExists(socket_));
  EXPECT_FALSE(FileExists(pid_file));
  const std::vector<std::string> lines = SplitLines(dir_.Read("service.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("]to the background service"));
}

TEST_F(LogServiceTest, CommandLineMistakesAndHelp) {
  testing_support::ServiceProcess service;
  ASSERT_TRUE(service.Spawn(testing_support::ProgramInBinFolder("bastionel-logservice"),
                            {"--background", log_file_}));
  EXPECT_EQ(service.Wait(), 2);
  EXPECT_TRUE(service.standard_error().starts_with(
      "bastionel-logservice: --background needs --pid-file\nusage: "));
  ASSERT_TRUE(
      service.Spawn(testing_support::ProgramInBinFolder("bastionel-logservice"), {"--help"}));
  EXPECT_EQ(service.Wait(), 0);
  EXPECT_TRUE(service.standard_output().starts_with("usage: bastionel-logservice"));
  EXPECT_FALSE(FileExists(socket_));
}

}  // namespace
