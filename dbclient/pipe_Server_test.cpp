#include "dbclient/pipe_Server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "dbclient/testing/pipe_test_peer.h"
#include "platform/status.h"

namespace {

using dbclient_testing::kPeerDeadlineMs;
using std::chrono::milliseconds;

class PipeServerTest : public dbclient_testing::PipeFolderTest {
 protected:
  // A server whose 600-second time-out lasts `second` × 600.
  void Make(milliseconds second = milliseconds(10)) {
    server_.SetTimeoutUnitForTesting(second);
    ASSERT_TRUE(server_.Initial(u"DbCln_7", 600));
  }

  CPipeServer server_;
};

// Bytes whose order shows: no value repeats within 251 bytes.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  return bytes;
}

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

TEST_F(PipeServerTest, RepliesOfAnySizeArriveWholeAndInOrder) {
  // Around the receive buffer's size: a reply that fills it exactly, one that
  // needs several portions, and small ones in one or many writes.
  const struct {
    size_t size;
    size_t piece;
  } cases[] = {{1, 1},
               {5000, 7},
               {CPipeServer::kBufferBytes, CPipeServer::kBufferBytes},
               {CPipeServer::kBufferBytes, 4096},
               {CPipeServer::kBufferBytes + 1, 65536},
               {1300000, 100000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes in writes of " << c.piece);
    CPipeServer server;
    server.SetTimeoutUnitForTesting(milliseconds(10));
    ASSERT_TRUE(server.Initial(u"DbCln_7", 600));
    const std::string reply = Pattern(c.size);
    std::thread service = Replier(reply, c.piece);
    std::string received = "stale";
    EXPECT_TRUE(server.FetchCmd(&received));
    service.join();
    EXPECT_EQ(received.size(), reply.size());
    EXPECT_TRUE(received == reply);
  }
}

TEST_F(PipeServerTest, AReplyOverTheLimitFailsAndIsFreed) {
  dbclient_testing::LogRecorder log;
  EXPECT_EQ(CPipeServer::kMaxReplyBytes, size_t{64} << 20);
  // A limit of two and a half receive buffers: a reply up to it arrives
  // whole; one byte more, in whatever writes, fails.
  const size_t limit = CPipeServer::kBufferBytes * 5 / 2;
  const struct {
    size_t size;
    size_t piece;
    bool fits;
  } cases[] = {{limit, 65536, true},
               {limit + 1, 65536, false},
               {limit + 1, limit + 1, false},
               {CPipeServer::kBufferBytes * 3, CPipeServer::kBufferBytes, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes in writes of " << c.piece);
    CPipeServer server;
    server.SetTimeoutUnitForTesting(milliseconds(10));
    server.SetMaxReplyBytes(limit);
    ASSERT_TRUE(server.Initial(u"DbCln_7", 600));
    const std::string reply = Pattern(c.size);
    // The writer of a reply over the limit is cut off: its writes fail
    // instead of blocking, so the thread always ends.
    std::thread service([&reply, piece = c.piece] {
      platform::PipeStream stream;
      if (!stream.Connect(u"DbCln_7", kPeerDeadlineMs).ok()) return;
      for (size_t at = 0; at < reply.size(); at += piece) {
        if (!stream.Write(reply.data() + at, std::min(piece, reply.size() - at)).ok()) return;
      }
    });
    std::string received = "stale";
    received.reserve(limit);  // a buffer that must be given back on failure
    EXPECT_EQ(server.FetchCmd(&received), c.fits);
    const int error = platform::GetLastError();  // before the join's system calls
    service.join();
    if (c.fits) {
      EXPECT_TRUE(received == reply);
    } else {
      EXPECT_EQ(received, "");
      EXPECT_LT(received.capacity(), size_t{1024});
      EXPECT_EQ(error, platform::kErrorMoreData);
    }
  }
  EXPECT_EQ(log.Count(u"pipe_Server",
                      u"[CPipeServer::FetchCmd] The reply is longer than 1280000 "
                      u"bytes!"),
            3u);
}

TEST_F(PipeServerTest, AWriterThatClosesAtOnceGivesAnEmptyReply) {
  Make();
  std::thread service = Replier("", 1);
  std::string received = "stale";
  EXPECT_TRUE(server_.FetchCmd(&received));
  service.join();
  EXPECT_EQ(received, "");
}

TEST_F(PipeServerTest, TheTimeOutBoundsEachWaitNotTheWholeReply) {
  dbclient_testing::LogRecorder log;
  Make(milliseconds(0));  // every wait's timer fires at once
  // Nobody connects: the wait ends for the timer, without reading.
  char buffer[16];
  uint32_t count = sizeof buffer;
  EXPECT_TRUE(server_.WaitAndRead(buffer, &count));
  EXPECT_EQ(count, 0u);
  // Each wait arms the timer afresh (for 600 ms now), so the timer fired in
  // the last wait does not cut this reply off.
  server_.SetTimeoutUnitForTesting(milliseconds(1));
  platform::PipeStream client;
  ASSERT_TRUE(client.Connect(u"DbCln_7").ok());
  ASSERT_TRUE(client.Write("abc", 3).ok());
  client.Close();
  std::string received;
  EXPECT_TRUE(server_.FetchCmd(&received));
  EXPECT_EQ(received, "abc");

  // A writer that never comes: the fetch fails when the timer fires.
  server_.SetTimeoutUnitForTesting(milliseconds(0));
  received = "stale";
  EXPECT_FALSE(server_.FetchCmd(&received));
  EXPECT_EQ(received, "");
  EXPECT_TRUE(
      log.Has(5, u"pipe_Server", u"[CPipeServer::FetchCmd] User define object is not signaled!"));
}

TEST_F(PipeServerTest, ANameHeldByALiveListenerIsRetriedThenRefused) {
  dbclient_testing::LogRecorder log;
  platform::PipeListener holder;
  ASSERT_TRUE(holder.Listen(u"DbCln_7").ok());
  server_.SetCreateRetryIntervalForTesting(milliseconds(2));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(server_.Initial(u"DbCln_7", 600));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(10));  // five pauses
  EXPECT_EQ(platform::GetLastError(), platform::kErrorPipeNameTaken);
  EXPECT_TRUE(log.Has(5, u"pipe_Server", u"[CPipeServer::Initial] Retry 5 times. Still Failed!"));
  // The holder keeps its pipe, and the failed server has nothing to collect.
  platform::PipeStream client;
  EXPECT_TRUE(client.Connect(u"DbCln_7").ok());
  std::string received;
  EXPECT_FALSE(server_.FetchCmd(&received));
}

TEST_F(PipeServerTest, EveryInstanceServesAClient) {
  platform::WaitableTimer deadline;
  ASSERT_TRUE(deadline.Create().ok());
  ASSERT_TRUE(deadline.Arm(milliseconds(kPeerDeadlineMs)).ok());
  ASSERT_TRUE(server_.Initial(3, u"DbCln_8", &deadline));
  // Two clients connected at once, each on its own instance; the first one's
  // end does not stop the second from being read.
  platform::PipeStream first;
  platform::PipeStream second;
  ASSERT_TRUE(first.Connect(u"DbCln_8").ok());
  ASSERT_TRUE(second.Connect(u"DbCln_8").ok());
  ASSERT_TRUE(second.Write("2", 1).ok());
  char buffer[4];
  uint32_t count = sizeof buffer;
  ASSERT_TRUE(server_.WaitAndRead(buffer, &count));  // the first connects, silent
  EXPECT_EQ(count, 0u);
  count = sizeof buffer;
  ASSERT_TRUE(server_.WaitAndRead(buffer, &count));  // the second connects and has written
  EXPECT_EQ(std::string(buffer, count), "2");
  first.Close();
  count = sizeof buffer;
  EXPECT_FALSE(server_.WaitAndRead(buffer, &count));  // the first client's end
  ASSERT_TRUE(second.Write("3", 1).ok());
  count = sizeof buffer;
  ASSERT_TRUE(server_.WaitAndRead(buffer, &count));
  EXPECT_EQ(std::string(buffer, count), "3");
  EXPECT_FALSE(deadline.IsSignaled());
}

}  // namespace
