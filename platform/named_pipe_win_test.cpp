// The Windows form of pipes: names under \\.\pipe\ with the namespace's
// prefix, and instances that each take one client.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/named_pipe.h"

namespace platform {
namespace {

// Sets the pipe namespace of this process for one test, in the process's
// own environment block, where the pipe layer reads it.
class ScopedPipePrefix {
 public:
  explicit ScopedPipePrefix(const wchar_t* value) {
    ::SetEnvironmentVariableW(L"BASTIONEL_PIPE_DIR", value);
  }
  ~ScopedPipePrefix() { ::SetEnvironmentVariableW(L"BASTIONEL_PIPE_DIR", nullptr); }
};

TEST(NamedPipeWinTest, NamesLiveUnderThePipeRootWithTheNamespacePrefix) {
  {
    ScopedPipePrefix prefix(L"Z:\\tmp\\run-1/p");
    EXPECT_EQ(PipeNamespace(), "Z__tmp_run-1_p");
    EXPECT_EQ(PipeSystemPath(u"DbCln_7"), "\\\\.\\pipe\\Z__tmp_run-1_pDbCln_7");
  }
  EXPECT_EQ(PipeNamespace(), "");
  EXPECT_EQ(PipeSystemPath(u"DbServerNamePipe"), "\\\\.\\pipe\\DbServerNamePipe");

  // The name the layer uses is the one other programs open.
  ScopedPipePrefix prefix(L"portelle-win-test-");
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"named").ok());
  EXPECT_EQ(listener.path(), "\\\\.\\pipe\\portelle-win-test-named");
  const HANDLE client = ::CreateFileW(L"\\\\.\\pipe\\portelle-win-test-named", GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(client, INVALID_HANDLE_VALUE) << ::GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(client, "hi", 2, &written, nullptr));
  ::CloseHandle(client);
  PipeStream stream;
  ASSERT_TRUE(listener.Accept(&stream, 5000).ok());
  char buffer[4];
  size_t n = 0;
  ASSERT_TRUE(stream.Read(buffer, sizeof buffer, &n, 5000).ok());
  EXPECT_EQ(std::string(buffer, n), "hi");
}

// Each of a listener's instances takes one client before any is accepted;
// one more finds the pipe busy, and accepting one frees a place.
TEST(NamedPipeWinTest, EveryInstanceTakesOneClient) {
  ScopedPipePrefix prefix(L"portelle-win-test-");
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"three", 3).ok());
  std::vector<PipeStream> clients(3);
  for (PipeStream& client : clients) ASSERT_TRUE(client.Connect(u"three", 0).ok());
  PipeStream late;
  EXPECT_EQ(late.Connect(u"three", 0).code(), ERROR_PIPE_BUSY);
  EXPECT_EQ(late.Connect(u"three", 10).code(), ERROR_SEM_TIMEOUT);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(clients[i].Write(&i, sizeof i).ok());
  }
  PipeStream accepted;
  ASSERT_TRUE(listener.Accept(&accepted, 0).ok());
  ASSERT_TRUE(late.Connect(u"three", 0).ok());
  const int last = 3;
  ASSERT_TRUE(late.Write(&last, sizeof last).ok());
  // Each accepted instance holds the data of its own client.
  std::vector<int> values;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      ASSERT_TRUE(listener.Accept(&accepted, 0).ok());
    }
    int value = -1;
    size_t n = 0;
    ASSERT_TRUE(accepted.Read(&value, sizeof value, &n, 5000).ok());
    EXPECT_EQ(n, sizeof value);
    values.push_back(value);
  }
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<int>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace platform
