#include "platform/named_pipe.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"

namespace platform {
namespace {

class NamedPipeTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("BASTIONEL_PIPE_DIR", (dir_.path() + "pipes").c_str(), 1); }
  void TearDown() override { ::unsetenv("BASTIONEL_PIPE_DIR"); }

  testing_support::TempFolder dir_;
};

TEST_F(NamedPipeTest, PipeNamesMapToSocketsInThePipeFolder) {
  EXPECT_EQ(PipeFolder(), dir_.path() + "pipes");
  EXPECT_EQ(PipeSocketPath(u"DbServerNamePipe"), dir_.path() + "pipes/DbServerNamePipe");
  ::unsetenv("BASTIONEL_PIPE_DIR");
  EXPECT_EQ(PipeSocketPath(u"Log_ServerNamePipe"), "/tmp/bastionel-pipe/Log_ServerNamePipe");
}

TEST_F(NamedPipeTest, RequestTravelsToTheListenerUntilTheClientCloses) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"DbCln_42").ok());
  struct stat st;
  ASSERT_EQ(::stat(PipeFolder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(listener.socket_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

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

TEST_F(NamedPipeTest, AMissingOrStalePipeFailsAtOnce) {
  PipeStream stream;
  EXPECT_EQ(stream.Connect(u"nobody").code(), ENOENT);
  // A socket file without a listener, as a crashed service leaves it.
  {
    PipeListener listener;
    ASSERT_TRUE(listener.Listen(u"crashed").ok());
  }
  const std::string stale = PipeSocketPath(u"crashed");
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, stale.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  EXPECT_EQ(stream.Connect(u"crashed").code(), ECONNREFUSED);
  // A new listener takes the stale name over.
  PipeListener listener;
  EXPECT_TRUE(listener.Listen(u"crashed").ok());
  EXPECT_TRUE(stream.Connect(u"crashed").ok());
}

TEST_F(NamedPipeTest, BindingAReplyPipeRemovesTheStaleSocketsOfKilledRuns) {
  // Reply sockets as a killed run leaves them: bound, never unlinked.
  const auto leave_socket = [](const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    ::close(fd);
  };
  PipeListener live;
  ASSERT_TRUE(live.Listen(u"DbCln_5").ok());
  leave_socket(PipeSocketPath(u"DbCln_6"));
  leave_socket(PipeSocketPath(u"DbCln_-7"));
  leave_socket(PipeSocketPath(u"OtherPipe_8"));
  std::ofstream(PipeSocketPath(u"DbCln_notes")) << "not a socket";
  const auto exists = [](std::u16string_view name) {
    struct stat st;
    return ::lstat(PipeSocketPath(name).c_str(), &st) == 0;
  };
  ASSERT_TRUE(exists(u"DbCln_6"));

  PipeListener reply;
  ASSERT_TRUE(reply.Listen(u"DbCln_9").ok());
  EXPECT_FALSE(exists(u"DbCln_6"));
  EXPECT_FALSE(exists(u"DbCln_-7"));
  EXPECT_TRUE(exists(u"DbCln_5"));  // a live listener keeps its socket, unharmed
  EXPECT_TRUE(live.is_listening());
  PipeStream stream;
  EXPECT_TRUE(stream.Connect(u"DbCln_5").ok());
  EXPECT_TRUE(exists(u"OtherPipe_8"));  // other names are not this pipe's business
  EXPECT_TRUE(exists(u"DbCln_notes"));  // nor files that are no socket
  // An unnumbered name sweeps nothing.
  leave_socket(PipeSocketPath(u"DbCln_10"));
  PipeListener plain;
  ASSERT_TRUE(plain.Listen(u"DbServerNamePipe").ok());
  EXPECT_TRUE(exists(u"DbCln_10"));
}

TEST_F(NamedPipeTest, ALiveListenerKeepsItsName) {
  PipeListener first;
  ASSERT_TRUE(first.Listen(u"taken").ok());
  PipeListener second;
  EXPECT_EQ(second.Listen(u"taken").code(), EADDRINUSE);
  EXPECT_TRUE(first.is_listening());
  first.Close();
  EXPECT_FALSE(std::ifstream(PipeSocketPath(u"taken")).good());  // removed on close
}

TEST_F(NamedPipeTest, AcceptAndReadTimeOut) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"quiet").ok());
  PipeStream stream;
  EXPECT_EQ(listener.Accept(&stream, 10).code(), ETIMEDOUT);
  PipeStream client;
  ASSERT_TRUE(client.Connect(u"quiet").ok());
  ASSERT_TRUE(listener.Accept(&stream, 1000).ok());
  char c;
  size_t n = 1;
  EXPECT_EQ(stream.Read(&c, 1, &n, 10).code(), ETIMEDOUT);
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
  EXPECT_EQ(status.code(), EPIPE);
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
  PipeStream late;
  EXPECT_EQ(late.Connect(u"busy", 20).code(), EBUSY);
  // Once a slot frees up within the wait, the connection goes through.
  std::thread drain([&] {
    PipeStream accepted;
    ASSERT_TRUE(listener.Accept(&accepted, 5000).ok());
  });
  EXPECT_TRUE(late.Connect(u"busy", 5000).ok());
  drain.join();
}

}  // namespace
}  // namespace platform
