#include "dbclient/pipe_Client.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/status.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

class PipeClientTest : public ::testing::Test {
 protected:
  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_{"BASTIONEL_PIPE_DIR", dir_.path() + "p"};
};

TEST_F(PipeClientTest, OneWaySendDeliversEveryPieceInOrder) {
  platform::PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"DbServerNamePipe").ok());
  std::string payload;
  for (int i = 0; i < 5000; ++i) payload.push_back(static_cast<char>('a' + i % 26));
  std::string received;
  std::thread service([&] {
    platform::PipeStream stream;
    ASSERT_TRUE(listener.Accept(&stream, 5000).ok());
    char buffer[700];
    size_t n = 0;
    while (stream.Read(buffer, sizeof buffer, &n, 5000).ok() && n > 0) received.append(buffer, n);
  });
  PipeSendFailure failure = PipeSendFailure::kOpen;
  EXPECT_TRUE(PipeSendOneWay(u"DbServerNamePipe", payload.data(),
                             static_cast<uint32_t>(payload.size()), &failure));
  EXPECT_EQ(failure, PipeSendFailure::kNone);
  service.join();
  EXPECT_EQ(received, payload);
}

TEST_F(PipeClientTest, AServiceThatIsNotRunningFailsAtOnce) {
  CPipeClient client;
  EXPECT_FALSE(client.Open(u"DbServerNamePipe"));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
  EXPECT_EQ(client.path(), u"\\\\.\\pipe\\DbServerNamePipe");
  uint32_t count = 3;
  EXPECT_FALSE(client.Write("abc", &count));  // nothing is open
  PipeSendFailure failure = PipeSendFailure::kNone;
  EXPECT_FALSE(PipeSendOneWay(u"DbServerNamePipe", "x", 1, &failure));
  EXPECT_EQ(failure, PipeSendFailure::kOpen);
}

}  // namespace
