#include "dbclient/pipe_Util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "dbclient/testing/pipe_test_peer.h"
#include "platform/format.h"

namespace {

using dbclient_testing::Answer;
using dbclient_testing::DbServicePeer;
using std::chrono::milliseconds;

class PipeSendAndRecvTest : public dbclient_testing::PipeFolderTest {
 protected:
  PipeSendAndRecvTest() { server_.SetTimeoutUnitForTesting(milliseconds(10)); }

  bool Send(std::u16string_view reply_pipe = u"DbCln_123") {
    return PipeSendAndRecvW(kRequest, sizeof kRequest, reply_pipe, u"DbServerNamePipe", &server_,
                            600);
  }

  static constexpr char16_t kRequest[] = u"DB_GET_STATUS\t123\tuid";
  CPipeServer server_;
};

TEST_F(PipeSendAndRecvTest, TheReplyPipeExistsBeforeTheRequestGoesOut) {
  // The peer connects to the reply pipe as soon as it has read the request.
  DbServicePeer peer(Answer::kReply, {"hel", "lo"});
  ASSERT_TRUE(peer.listening());
  ASSERT_TRUE(Send());
  std::string reply;
  EXPECT_TRUE(server_.FetchCmd(&reply));
  peer.Join();
  EXPECT_TRUE(peer.reply_connect().ok()) << peer.reply_connect().message();
  EXPECT_EQ(peer.reply_pipe(), u"DbCln_123");
  EXPECT_EQ(peer.request(), std::string(reinterpret_cast<const char*>(kRequest), sizeof kRequest));
  EXPECT_EQ(reply, "hello");
}

TEST_F(PipeSendAndRecvTest, AServiceThatIsNotRunningFailsAtOnce) {
  dbclient_testing::LogRecorder log;
  EXPECT_FALSE(Send());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
  EXPECT_TRUE(log.Has(5, u"pipe_Util",
                      platform::Format(u"[PipeSendAndRecvW] Initial pipe client failed! err=%d",
                                       platform::kErrorFileNotFound)));
}

TEST_F(PipeSendAndRecvTest, NoRequestGoesOutWithoutAReplyPipe) {
  dbclient_testing::LogRecorder log;
  platform::PipeListener service;
  ASSERT_TRUE(service.Listen(u"DbServerNamePipe").ok());
  platform::PipeListener holder;
  ASSERT_TRUE(holder.Listen(u"DbCln_123").ok());
  server_.SetCreateRetryIntervalForTesting(milliseconds(1));
  EXPECT_FALSE(Send());
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPipeNameTaken);
  EXPECT_TRUE(log.Has(5, u"pipe_Util", u"[PipeSendAndRecvW] Initial pipe server failed!"));
  platform::PipeStream request;
  EXPECT_FALSE(service.Accept(&request, 0).ok());
}

}  // namespace
