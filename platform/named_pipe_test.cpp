#include "platform/named_pipe.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

class NamedPipeTest : public ::testing::Test {
 protected:
  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_{"BASTIONEL_PIPE_DIR", dir_.path() + "pipes"};
};

TEST_F(NamedPipeTest, RequestTravelsToTheListenerUntilTheClientCloses) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"DbCln_42").ok());

  std::thread client([] {
    PipeStream stream;
    ASSERT_TRUE(stream.Connect(u"DbCln_42").ok());
    ASSERT_TRUE(stream.Write("hello ", 6).ok());
    ASSERT_TRUE(stream.Write("world", 5).ok());
  });
  PipeStream server_side;
  ASSERT_TRUE(listener.Accept(&server_side, 5000).ok());
  std::string received;
  char buffer[4];
  for (;;) {
    size_t n = 0;
    ASSERT_TRUE(server_side.Read(buffer, sizeof buffer, &n, 5000).ok());
    if (n == 0) break;
    received.append(buffer, n);
  }
  client.join();
  EXPECT_EQ(received, "hello world");
}

TEST_F(NamedPipeTest, AMissingPipeFailsAtOnce) {
  PipeStream stream;
  EXPECT_EQ(stream.Connect(u"nobody").code(), kErrorFileNotFound);
  EXPECT_FALSE(stream.is_open());
  // A listener that has closed leaves no pipe behind.
  {
    PipeListener listener;
    ASSERT_TRUE(listener.Listen(u"closed").ok());
  }
  EXPECT_EQ(stream.Connect(u"closed").code(), kErrorFileNotFound);
}

TEST_F(NamedPipeTest, ALiveListenerKeepsItsName) {
  PipeListener first;
  ASSERT_TRUE(first.Listen(u"taken").ok());
  PipeListener second;
  EXPECT_EQ(second.Listen(u"taken").code(), kErrorPipeNameTaken);
  EXPECT_TRUE(first.is_listening());
  PipeStream client;
  EXPECT_TRUE(client.Connect(u"taken").ok());  // the first listener's
  client.Close();
  first.Close();
  EXPECT_TRUE(second.Listen(u"taken").ok());  // free again once closed
}

TEST_F(NamedPipeTest, AcceptAndReadTimeOut) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"quiet").ok());
  PipeStream stream;
  EXPECT_EQ(listener.Accept(&stream, 10).code(), kErrorTimeout);
  PipeStream client;
  ASSERT_TRUE(client.Connect(u"quiet").ok());
  ASSERT_TRUE(listener.Accept(&stream, 1000).ok());
  char c;
  size_t n = 1;
  EXPECT_EQ(stream.Read(&c, 1, &n, 10).code(), kErrorTimeout);
  EXPECT_EQ(n, 0u);
}

TEST_F(NamedPipeTest, WritingToAClosedPeerFailsWithoutASignal) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"gone").ok());
  PipeStream client;
  ASSERT_TRUE(client.Connect(u"gone").ok());
  {
    PipeStream accepted;
    ASSERT_TRUE(listener.Accept(&accepted, 1000).ok());
  }
  const std::vector<char> big(1 << 20, 'x');
  Status status;
  for (int i = 0; i < 8 && status.ok(); ++i) status = client.Write(big.data(), big.size());
  EXPECT_TRUE(IsPipeClosed(status.code())) << status.message();
}

TEST_F(NamedPipeTest, ABusyPipeIsWaitedForThenRefused) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"busy", 0).ok());
  // Fill the listener's queue without accepting.
  std::vector<PipeStream> waiting;
  for (int i = 0; i < 4; ++i) {
    PipeStream s;
    if (!s.Connect(u"busy", 0).ok()) break;
    waiting.push_back(std::move(s));
  }
  ASSERT_FALSE(waiting.empty());
  PipeStream late;
  EXPECT_EQ(late.Connect(u"busy", 0).code(), kErrorPipeBusy);
  EXPECT_EQ(late.Connect(u"busy", 20).code(), kErrorPipeBusyWaitExpired);
  // Once a slot frees up within the wait, the connection goes through.
  std::thread drain([&] {
    PipeStream accepted;
    ASSERT_TRUE(listener.Accept(&accepted, 5000).ok());
  });
  EXPECT_TRUE(late.Connect(u"busy", 5000).ok());
  drain.join();
}

// Each read takes at most what the reader asks for; the rest of a longer
// write waits for the next read, in order.
TEST_F(NamedPipeTest, ALongWriteIsReadInPortions) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"long").ok());
  std::string sent(5000, '\0');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 % 251);
  PipeStream client;
  std::thread writer([&] {
    ASSERT_TRUE(client.Connect(u"long").ok());
    ASSERT_TRUE(client.Write(sent.data(), sent.size()).ok());
    client.Close();
  });
  PipeStream stream;
  ASSERT_TRUE(listener.Accept(&stream, 5000).ok());
  std::string received;
  char buffer[1000];
  for (;;) {
    size_t n = 0;
    ASSERT_TRUE(stream.Read(buffer, sizeof buffer, &n, 5000).ok());
    ASSERT_LE(n, sizeof buffer);
    if (n == 0) break;
    received.append(buffer, n);
  }
  writer.join();
  EXPECT_TRUE(received == sent);
}

}  // namespace
}  // namespace platform
