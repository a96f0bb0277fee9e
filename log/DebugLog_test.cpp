#include "log/DebugLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/named_pipe.h"
#include "platform/status.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char16_t kLogSource[] = u"DebugLog_test";

uint32_t g_fake_ticks = 0;
uint32_t FakeTicks() { return g_fake_ticks; }

TEST(LogGateTest, BacksOffForTenLinesAndFiveSeconds) {
  g_fake_ticks = 100000;
  CLogGate gate(&FakeTicks);
  EXPECT_TRUE(gate.Allow());  // the first line of a run is always tried
  gate.OnSent(false);
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(gate.Allow()) << i;
  g_fake_ticks += 5000;  // not more than 5000 ms since the failure
  EXPECT_FALSE(gate.Allow());
  EXPECT_EQ(gate.skip_count(), 0);  // counting starts again
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(gate.Allow());
  g_fake_ticks += 1;
  EXPECT_TRUE(gate.Allow());
  EXPECT_TRUE(gate.reachable());
  gate.OnSent(true);
  EXPECT_TRUE(gate.Allow());
  EXPECT_EQ(gate.skip_count(), 0);
}

TEST(LogGateTest, TickCountWrapIsAnUnsignedDifference) {
  g_fake_ticks = 0xFFFFFF00u;
  CLogGate gate(&FakeTicks);
  gate.OnSent(false);
  for (int i = 0; i < 10; ++i) gate.Allow();
  g_fake_ticks = 0x00001400u;  // 5376 ms later, across the wrap
  EXPECT_TRUE(gate.Allow());
}

TEST(DebugLogTest, RecordLayout) {
  EXPECT_EQ(debug_log::BuildRecord(1700000000, 4321, 98765, 68, u"PortelleImport", 42,
                                   u"[][portelle]CImportSkvaSettings::ImportToIni - =>"),
            u"LOG_WRITE\t1700000000\t4321\t98765\t68\tPortelleImport\t42\t"
            u"[][portelle]CImportSkvaSettings::ImportToIni - =>");
  // The short form's empty source file still takes its place.
  EXPECT_EQ(debug_log::BuildRecord(-1, 1, 2, 2, u"", 1, u"[][p]x"),
            u"LOG_WRITE\t-1\t1\t2\t2\t\t1\t[][p]x");
}

TEST(DebugLogTest, LineTextIsCutAt4095Characters) {
  const std::u16string message(5000, u'm');
  const std::u16string text = debug_log::BuildText(u"portelle", message);
  EXPECT_EQ(text.size(), 4095u);
  EXPECT_EQ(text.substr(0, 12), u"[][portelle]");
  EXPECT_EQ(debug_log::BuildText(u"p", u"short"), u"[][p]short");
}

// Listens on the log pipe in a temporary pipe folder and collects records.
class LogPipeTest : public ::testing::Test {
 protected:
  void SetUp() override { debug_log::ProcessGate() = CLogGate(&FakeTicks); }

  // Receives `count` records from the listener.
  std::vector<std::u16string> Receive(platform::PipeListener& listener, int count) {
    std::vector<std::u16string> records;
    for (int i = 0; i < count; ++i) {
      platform::PipeStream stream;
      if (!listener.Accept(&stream, 5000).ok()) break;
      std::string bytes;
      char buffer[512];
      size_t n = 0;
      while (stream.Read(buffer, sizeof buffer, &n, 5000).ok() && n > 0) bytes.append(buffer, n);
      records.push_back(platform::Utf16LeToText(bytes));
    }
    return records;
  }

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_{"BASTIONEL_PIPE_DIR", dir_.path() + "pipes"};
};

TEST_F(LogPipeTest, RecordsReachTheServiceWithTheirTerminator) {
  platform::PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"Log_ServerNamePipe").ok());
  std::vector<std::u16string> records;
  std::thread service([&] { records = Receive(listener, 3); });
  const std::u16string name = u"CExportSkvaSettings::DigDown";
  DEBUG_LOG(68, u"%s - [%s] is a leaf node", name, u"00000000-0000-0000-0000-000000000000");
  DebugLogA(5, "Zip", 7, "[CZipAU::Open] Zip_Open failed[%d]", -3);
  DebugLogShort(2, u"size error (m_dwCurPos[%d])", 16);
  service.join();
  ASSERT_EQ(records.size(), 3u);
  for (const std::u16string& r : records) {
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.back(), u'\0');  // the NUL travels with the record
  }
  const std::u16string module = debug_log::ModuleName();
  // The program's file name as the system gives it: with its ".exe" on
  // Windows.
#ifdef _WIN32
  EXPECT_EQ(module, u"log_test.exe");
#else
  EXPECT_EQ(module, u"log_test");
#endif
  const auto tokens = [](std::u16string r) {
    r.pop_back();
    std::vector<std::u16string> out;
    size_t start = 0;
    for (size_t tab; (tab = r.find(u'\t', start)) != std::u16string::npos; start = tab + 1) {
      out.push_back(r.substr(start, tab - start));
    }
    out.push_back(r.substr(start));
    return out;
  };
  auto first = tokens(records[0]);
  ASSERT_EQ(first.size(), 8u);
  EXPECT_EQ(first[0], u"LOG_WRITE");
  EXPECT_EQ(first[4], u"68");
  EXPECT_EQ(first[5], u"DebugLog_test");
  EXPECT_EQ(first[7], u"[][" + module +
                          u"]CExportSkvaSettings::DigDown - [00000000-0000-0000-0000-000000000000] "
                          u"is a leaf node");
  auto second = tokens(records[1]);
  EXPECT_EQ(second[4], u"5");
  EXPECT_EQ(second[5], u"Zip");
  EXPECT_EQ(second[6], u"7");
  EXPECT_EQ(second[7], u"[][" + module + u"][CZipAU::Open] Zip_Open failed[-3]");
  auto third = tokens(records[2]);
  EXPECT_EQ(third[5], u"");
  EXPECT_EQ(third[6], u"1");
  EXPECT_TRUE(debug_log::ProcessGate().reachable());
}

TEST_F(LogPipeTest, AnAbsentServiceCostsOneAttemptInEleven) {
  g_fake_ticks = 1000;
  platform::SetLastError(1234);  // the error a failing operation is about to report
  DEBUG_LOG(68, u"first line tries and fails");
  EXPECT_FALSE(debug_log::ProcessGate().reachable());
  EXPECT_EQ(platform::GetLastError(), 1234);
  // The service comes up; the ten lines after the failure are still dropped.
  platform::PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"Log_ServerNamePipe").ok());
  for (int i = 0; i < 10; ++i) DEBUG_LOG(68, u"dropped %d", i);
  g_fake_ticks += 6000;
  std::vector<std::u16string> records;
  std::thread service([&] { records = Receive(listener, 1); });
  DEBUG_LOG(68, u"after the back-off");
  service.join();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].find(u"after the back-off"), std::u16string::npos);
  platform::PipeStream extra;
  EXPECT_FALSE(listener.Accept(&extra, 0).ok());  // nothing else was sent
}

}  // namespace
