#include "dbclient/dbcl_Command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "dbclient/CmdProtocol.h"
#include "dbclient/pipe_test_peer.h"
#include "platform/format.h"
#include "platform/system.h"

namespace {

using dbclient_testing::Answer;
using dbclient_testing::DbServicePeer;
using dbclient_testing::LogRecorder;

TEST(TransactionNumberTest, ThreadIdAboveTickCountAsSignedNumber) {
  EXPECT_EQ(MakeTransactionNumber(0x1234, 0xABCD5678u), 0x12345678);
  // The thread id's high bits fall off; bit 15 becomes the sign.
  EXPECT_EQ(MakeTransactionNumber(0x38001, 0xFFFF), -2147352577);
  EXPECT_EQ(DbReplyPipeName(-2147352577), u"DbCln_-2147352577");
  EXPECT_EQ(DbReplyPipeName(0), u"DbCln_0");
  const auto txn = static_cast<uint32_t>(NewTransactionNumber());
  EXPECT_EQ(txn >> 16, platform::GetCurrentThreadId() & 0xFFFF);
}

class DbClientTest : public dbclient_testing::PipeFolderTest {
 protected:
  std::u16string Command(int32_t txn) {
    CCmdProtocol cmd;
    cmd.AppendToken(u"DB_EXPORT").AppendInt(txn).AppendToken(kUid).AppendDword(0);
    return cmd.GetString();
  }

  static constexpr char16_t kUid[] = u"0a1b2c3d-0000-4000-8000-00000000000e";
  LogRecorder log_;
};

TEST_F(DbClientTest, SendWritesTheCommandWithItsNul) {
  platform::PipeListener service;
  ASSERT_TRUE(service.Listen(u"DbServerNamePipe").ok());
  EXPECT_TRUE(DbClientSend(u"DB_X\tu"));
  platform::PipeStream request;
  ASSERT_TRUE(service.Accept(&request, 0).ok());
  char bytes[32];
  size_t n = 0;
  ASSERT_TRUE(request.Read(bytes, sizeof bytes, &n, dbclient_testing::kPeerDeadlineMs).ok());
  EXPECT_EQ(std::string(bytes, n), std::string("D\0B\0_\0X\0\t\0u\0\0\0", 14));
  EXPECT_TRUE(log_.Has(8, u"dbcl_Command", u"[DbClient] Send DB_X\tu"));

  service.Close();
  EXPECT_FALSE(DbClientSend(u"DB_X\tu"));
  EXPECT_TRUE(log_.Has(5, u"dbcl_Command", u"Initial pipe client failed! err=2"));
}

TEST_F(DbClientTest, QueryCollectsTheReplyOnThePipeOfItsTransaction) {
  const int32_t txn = NewTransactionNumber();
  const std::u16string command = Command(txn);
  DbServicePeer peer(Answer::kReply, {"a", "bc", "def"});
  std::string reply;
  ASSERT_TRUE(DbClientQuery(command.c_str(), txn, &reply, kDbReplyTimeoutSeconds));
  peer.Join();
  EXPECT_EQ(reply, "abcdef");
  EXPECT_EQ(peer.request_text(), command);
  EXPECT_EQ(peer.reply_pipe(), DbReplyPipeName(txn));
  EXPECT_FALSE(std::filesystem::exists(platform::PipeSocketPath(DbReplyPipeName(txn))));
  EXPECT_TRUE(log_.Has(8, u"dbcl_Command", u"[DbClient] SendAndRecv " + command));
}

TEST_F(DbClientTest, AServiceThatConnectsAndClosesGivesAnEmptyReply) {
  DbServicePeer peer(Answer::kConnectAndClose);
  std::string reply = "stale";
  EXPECT_TRUE(DbClientQuery(Command(77).c_str(), 77, &reply, kDbReplyTimeoutSeconds));
  EXPECT_EQ(reply, "");
}

TEST_F(DbClientTest, AServiceThatNeverAnswersTimesOut) {
  DbServicePeer peer(Answer::kNeverConnect);
  CPipeServer server;
  server.SetTimeoutUnitForTesting(std::chrono::milliseconds(1));
  ASSERT_TRUE(DbClientSendAndRecv(Command(78).c_str(), 78, &server, 20));
  peer.Join();
  EXPECT_TRUE(peer.served());
  std::string reply;
  EXPECT_FALSE(DbClientFetch(&server, &reply));
  EXPECT_TRUE(log_.Has(5, u"pipe_Server",
                       u"[CPipeServer::FetchCmd] User define object is not signaled!"));
  EXPECT_TRUE(log_.Has(5, u"dbcl_Command", u"PipeServer.FetchCmd Failed!"));
}

TEST_F(DbClientTest, AQueryThatCannotBeDeliveredLeavesTheReplyAlone) {
  std::string reply = "untouched";
  const std::u16string command = Command(79);
  EXPECT_FALSE(DbClientQuery(command.c_str(), 79, &reply, kDbReplyTimeoutSeconds));
  EXPECT_EQ(reply, "untouched");
  EXPECT_TRUE(log_.Has(5, u"dbcl_Command", u"PipeSendAndRecv Failed! err=2"));
  // The command is logged whether or not it went out.
  EXPECT_TRUE(log_.Has(8, u"dbcl_Command", u"[DbClient] SendAndRecv " + command));
}

}  // namespace
