// The Linux form of the reply and service pipes: socket files, and what a
// crashed program leaves of them.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "dbclient/pipe_Server.h"
#include "dbclient/pipe_Util.h"
#include "dbclient/testing/pipe_test_peer.h"
#include "platform/format.h"
#include "platform/status.h"
#include "tests/support/stale_socket.h"

namespace {

using dbclient_testing::kPeerDeadlineMs;
using std::chrono::milliseconds;

class StaleSocketTest : public dbclient_testing::PipeFolderTest {
 protected:
  StaleSocketTest() { server_.SetTimeoutUnitForTesting(milliseconds(10)); }

  bool Send() {
    return PipeSendAndRecvW(kRequest, sizeof kRequest, u"DbCln_123", u"DbServerNamePipe", &server_,
                            600);
  }

  static constexpr char16_t kRequest[] = u"DB_GET_STATUS\t123\tuid";
  CPipeServer server_;
};

// Connects to the reply pipe and writes `reply` in writes of `piece` bytes.
std::thread Replier(std::string reply, size_t piece) {
  return std::thread([reply = std::move(reply), piece] {
    platform::PipeStream stream;
    ASSERT_TRUE(stream.Connect(u"DbCln_7", kPeerDeadlineMs).ok());
    for (size_t at = 0; at < reply.size(); at += piece) {
      ASSERT_TRUE(stream.Write(reply.data() + at, std::min(piece, reply.size() - at)).ok());
    }
  });
}

TEST_F(StaleSocketTest, AStaleServiceSocketIsNoService) {
  dbclient_testing::LogRecorder log;
  const auto start = std::chrono::steady_clock::now();
  // A socket left by a crashed service is no service.
  ASSERT_TRUE(testing_support::LeaveStaleSocket(platform::PipeSystemPath(u"DbServerNamePipe")));
  EXPECT_FALSE(Send());
  EXPECT_EQ(platform::GetLastError(), ECONNREFUSED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1000));
  EXPECT_TRUE(log.Has(
      5, u"pipe_Util",
      platform::Format(u"[PipeSendAndRecvW] Initial pipe client failed! err=%d", ECONNREFUSED)));
  // The stale service socket stays: it is not this program's to remove.
  EXPECT_TRUE(std::filesystem::exists(platform::PipeSystemPath(u"DbServerNamePipe")));
}

TEST_F(StaleSocketTest, AStaleReplySocketIsTakenOverAndGoesWithTheServer) {
  const std::string path = platform::PipeSystemPath(u"DbCln_7");
  ASSERT_TRUE(testing_support::LeaveStaleSocket(path));
  {
    CPipeServer server;
    server.SetTimeoutUnitForTesting(milliseconds(10));
    ASSERT_TRUE(server.Initial(u"DbCln_7", 600));
    std::thread service = Replier("ok", 2);
    std::string received;
    EXPECT_TRUE(server.FetchCmd(&received));
    service.join();
    EXPECT_EQ(received, "ok");
    EXPECT_TRUE(std::filesystem::exists(path));  // until the server is destroyed
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
