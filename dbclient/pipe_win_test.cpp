// The reply pipe, the service pipe and the client against a peer in another
// process, over real named pipes: the failure paths of the transport and
// replies around the receive buffer's size.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "dbclient/pipe_Client.h"
#include "dbclient/pipe_Server.h"
#include "dbclient/pipe_Util.h"
#include "dbclient/testing/pipe_test_peer.h"
#include "platform/named_pipe.h"
#include "platform/status.h"
#include "platform/wait.h"

namespace {

using std::chrono::milliseconds;

constexpr DWORD kPeerLimitMs = 60000;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  return bytes;
}

// A test whose pipe names carry a prefix of their own (the environment
// variable set in the process's own block, which the peers inherit), with
// the peer program beside the test program.
class PeerProcessTest : public ::testing::Test {
 protected:
  PeerProcessTest() {
    static int run = 0;
    const std::wstring prefix =
        L"portelle-peer-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++run) + L"-";
    ::SetEnvironmentVariableW(L"BASTIONEL_PIPE_DIR", prefix.c_str());
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    peer_ = std::wstring(path, length);
    peer_ = peer_.substr(0, peer_.find_last_of(L"\\/") + 1) + L"portelle_pipe_peer.exe";
  }
  ~PeerProcessTest() override {
    for (HANDLE process : processes_) {
      if (::WaitForSingleObject(process, kPeerLimitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process, 3);
      }
      ::CloseHandle(process);
    }
    ::SetEnvironmentVariableW(L"BASTIONEL_PIPE_DIR", nullptr);
  }

  // Starts the peer with `arguments`; the index for Finish.
  size_t Start(const std::wstring& arguments) {
    std::wstring command_line = L"\"" + peer_ + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(::CreateProcessW(peer_.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &startup, &info))
        << ::GetLastError();
    ::CloseHandle(info.hThread);
    processes_.push_back(info.hProcess);
    return processes_.size() - 1;
  }

  // The peer's exit code once it has ended.
  DWORD Finish(size_t index) {
    DWORD code = 99;
    if (::WaitForSingleObject(processes_[index], kPeerLimitMs) == WAIT_OBJECT_0) {
      ::GetExitCodeProcess(processes_[index], &code);
    }
    return code;
  }

  // Starts a peer that listens (`arguments` ends with the name of the ready
  // pipe) and returns once it does.
  size_t StartListening(const std::wstring& arguments) {
    platform::PipeListener ready;
    EXPECT_TRUE(ready.Listen(u"Ready").ok());
    const size_t index = Start(arguments + L" Ready");
    platform::PipeStream signal;
    EXPECT_TRUE(ready.Accept(&signal, kPeerLimitMs).ok());
    return index;
  }

  std::wstring peer_;
  std::vector<HANDLE> processes_;
};

TEST_F(PeerProcessTest, RepliesAroundTheBufferSizeArriveWhole) {
  const struct {
    size_t size;
    size_t piece;
  } cases[] = {{1, 1},
               {CPipeServer::kBufferBytes, CPipeServer::kBufferBytes},
               {CPipeServer::kBufferBytes, 4096},
               {CPipeServer::kBufferBytes + 1, 65536},
               {1300000, 100000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes in writes of " << c.piece);
    CPipeServer server;
    server.SetTimeoutUnitForTesting(milliseconds(50));
    ASSERT_TRUE(server.Initial(u"DbCln_7", 600));
    const size_t peer =
        Start(L"reply DbCln_7 " + std::to_wstring(c.size) + L" " + std::to_wstring(c.piece));
    std::string received = "stale";
    EXPECT_TRUE(server.FetchCmd(&received));
    EXPECT_EQ(Finish(peer), 0u);
    EXPECT_EQ(received.size(), c.size);
    EXPECT_TRUE(received == Pattern(c.size));
  }
}

TEST_F(PeerProcessTest, TheExchangeWithAServiceInAnotherProcess) {
  const size_t service = StartListening(L"service 600000");
  static constexpr char16_t kRequest[] = u"DB_GET_STATUS\t123\tuid";
  CPipeServer server;
  server.SetTimeoutUnitForTesting(milliseconds(50));
  ASSERT_TRUE(
      PipeSendAndRecvW(kRequest, sizeof kRequest, u"DbCln_123", u"DbServerNamePipe", &server, 600));
  std::string reply;
  EXPECT_TRUE(server.FetchCmd(&reply));
  EXPECT_EQ(Finish(service), 0u);
  EXPECT_TRUE(reply == Pattern(600000));
}

TEST_F(PeerProcessTest, AServiceThatIsNotRunningFailsAtOnce) {
  dbclient_testing::LogRecorder log;
  static constexpr char16_t kRequest[] = u"DB_X\t1";
  CPipeServer server;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(PipeSendAndRecvW(kRequest, sizeof kRequest, u"DbCln_1", u"DbServerNamePipe",
                                &server, 600));
  EXPECT_EQ(platform::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
  EXPECT_TRUE(log.Has(5, u"pipe_Util", u"[PipeSendAndRecvW] Initial pipe client failed! err=2"));
}

TEST_F(PeerProcessTest, AReplyWriterThatClosesAtOnceGivesAnEmptyReply) {
  CPipeServer server;
  server.SetTimeoutUnitForTesting(milliseconds(50));
  ASSERT_TRUE(server.Initial(u"DbCln_9", 600));
  const size_t peer = Start(L"close DbCln_9");
  std::string received = "stale";
  EXPECT_TRUE(server.FetchCmd(&received));
  EXPECT_EQ(Finish(peer), 0u);
  EXPECT_EQ(received, "");
}

TEST_F(PeerProcessTest, ABusyServicePipeIsWaitedForThenRefused) {
  platform::PipeListener service;
  ASSERT_TRUE(service.Listen(u"DbServerNamePipe", 1).ok());
  const size_t holder = Start(L"hold DbServerNamePipe");
  // Once the other process holds the only instance, the pipe is busy.
  size_t index = 0;
  const platform::WaitHandle handles[] = {service.wait_handle()};
  ASSERT_TRUE(platform::WaitForAny(handles, kPeerLimitMs, &index).ok());
  CPipeClient client;
  client.SetBusyWaitForTesting(0);
  EXPECT_FALSE(client.Open(u"DbServerNamePipe"));
  EXPECT_EQ(platform::GetLastError(), ERROR_PIPE_BUSY);
  client.SetBusyWaitForTesting(20);
  EXPECT_FALSE(client.Open(u"DbServerNamePipe"));
  EXPECT_EQ(platform::GetLastError(), ERROR_SEM_TIMEOUT);
  // Taking the held client frees an instance within the wait.
  platform::PipeStream held;
  ASSERT_TRUE(service.Accept(&held, 0).ok());
  client.SetBusyWaitForTesting(platform::kPipeBusyWaitMs);
  EXPECT_TRUE(client.Open(u"DbServerNamePipe"));
  // The holder's writes fail once its end is closed, and it ends.
  held.Close();
  EXPECT_EQ(Finish(holder), 0u);
}

TEST_F(PeerProcessTest, AReplyPipeNameHeldByAnotherProcessIsRetriedThenRefused) {
  dbclient_testing::LogRecorder log;
  const size_t holder = StartListening(L"listen DbCln_7");
  CPipeServer server;
  server.SetCreateRetryIntervalForTesting(milliseconds(1));
  EXPECT_FALSE(server.Initial(u"DbCln_7", 600));
  EXPECT_EQ(platform::GetLastError(), ERROR_PIPE_BUSY);
  EXPECT_TRUE(log.Has(5, u"pipe_Server", u"[CPipeServer::Initial] Retry 5 times. Still Failed!"));
  platform::PipeStream release;  // the holder's one client, which ends it
  ASSERT_TRUE(release.Connect(u"DbCln_7").ok());
  EXPECT_EQ(Finish(holder), 0u);
}

TEST_F(PeerProcessTest, AReplyThatNeverComesTimesOut) {
  dbclient_testing::LogRecorder log;
  CPipeServer server;
  server.SetTimeoutUnitForTesting(milliseconds(1));
  ASSERT_TRUE(server.Initial(u"DbCln_5", 20));
  std::string received = "stale";
  EXPECT_FALSE(server.FetchCmd(&received));
  EXPECT_EQ(received, "");
  EXPECT_TRUE(
      log.Has(5, u"pipe_Server", u"[CPipeServer::FetchCmd] User define object is not signaled!"));
}

}  // namespace
