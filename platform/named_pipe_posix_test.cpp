// The Linux form of pipes: sockets in the pipe folder, their modes, and
// what crashed runs leave behind.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/named_pipe.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

class SocketPipeTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("BASTIONEL_PIPE_DIR", (dir_.path() + "pipes").c_str(), 1); }
  void TearDown() override { ::unsetenv("BASTIONEL_PIPE_DIR"); }

  testing_support::TempFolder dir_;
};

TEST_F(SocketPipeTest, PipeNamesMapToSocketsInThePipeFolder) {
  EXPECT_EQ(PipeNamespace(), dir_.path() + "pipes");
  EXPECT_EQ(PipeSystemPath(u"DbServerNamePipe"), dir_.path() + "pipes/DbServerNamePipe");
  ::unsetenv("BASTIONEL_PIPE_DIR");
  EXPECT_EQ(PipeSystemPath(u"Log_ServerNamePipe"), "/tmp/bastionel-pipe/Log_ServerNamePipe");
}

TEST_F(SocketPipeTest, TheFolderAndTheSocketAreOwnerOnly) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"DbCln_42").ok());
  struct stat st;
  ASSERT_EQ(::stat(PipeNamespace().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(listener.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(listener.path(), PipeSystemPath(u"DbCln_42"));
}

TEST_F(SocketPipeTest, AStalePipeFailsAtOnceAndIsTakenOver) {
  PipeStream stream;
  // A socket file without a listener, as a crashed service leaves it.
  {
    PipeListener listener;
    ASSERT_TRUE(listener.Listen(u"crashed").ok());
  }
  const std::string stale = PipeSystemPath(u"crashed");
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

TEST_F(SocketPipeTest, BindingAReplyPipeRemovesTheStaleSocketsOfKilledRuns) {
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
  leave_socket(PipeSystemPath(u"DbCln_6"));
  leave_socket(PipeSystemPath(u"DbCln_-7"));
  leave_socket(PipeSystemPath(u"OtherPipe_8"));
  std::ofstream(PipeSystemPath(u"DbCln_notes")) << "not a socket";
  const auto exists = [](std::u16string_view name) {
    struct stat st;
    return ::lstat(PipeSystemPath(name).c_str(), &st) == 0;
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
  leave_socket(PipeSystemPath(u"DbCln_10"));
  PipeListener plain;
  ASSERT_TRUE(plain.Listen(u"DbServerNamePipe").ok());
  EXPECT_TRUE(exists(u"DbCln_10"));
}

TEST_F(SocketPipeTest, AClosedListenerRemovesItsSocket) {
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"taken").ok());
  listener.Close();
  EXPECT_FALSE(std::ifstream(PipeSystemPath(u"taken")).good());
}

}  // namespace
}  // namespace platform
