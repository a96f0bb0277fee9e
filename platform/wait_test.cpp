#include "platform/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/named_pipe.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

TEST(WaitableTimerTest, FiresOnceAndStaysSignalledUntilArmedAgain) {
  WaitableTimer timer;
  EXPECT_FALSE(timer.IsSignaled());
  EXPECT_EQ(timer.Arm(milliseconds(1)).code(), kErrorInvalidHandle);  // not created
  ASSERT_TRUE(timer.Create().ok());
  EXPECT_FALSE(timer.IsSignaled());  // an unarmed timer never fires

  ASSERT_TRUE(timer.Arm(milliseconds(5)).ok());
  const WaitHandle handles[] = {timer.wait_handle()};
  size_t index = 99;
  ASSERT_TRUE(WaitForAny(handles, 5000, &index).ok());
  EXPECT_EQ(index, 0u);
  EXPECT_TRUE(timer.IsSignaled());
  EXPECT_TRUE(timer.IsSignaled());  // looking does not reset it

  ASSERT_TRUE(timer.Arm(std::chrono::minutes(10)).ok());
  EXPECT_FALSE(timer.IsSignaled());  // arming clears the earlier expiry
  ASSERT_TRUE(timer.Arm(milliseconds(0)).ok());
  ASSERT_TRUE(WaitForAny(handles, 5000, &index).ok());
  EXPECT_TRUE(timer.IsSignaled());
}

TEST(WaitForAnyTest, ReportsTheLowestSignalledHandleOrTheTimeOut) {
  testing_support::TempFolder dir;
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "p");
  WaitableTimer idle;
  WaitableTimer fired;
  ASSERT_TRUE(idle.Create().ok());
  ASSERT_TRUE(fired.Create().ok());
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"waited").ok());
  const std::vector<WaitHandle> handles = {idle.wait_handle(), listener.wait_handle(),
                                           fired.wait_handle()};
  size_t index = 99;
  EXPECT_EQ(WaitForAny(handles, 10, &index).code(), kErrorTimeout);

  ASSERT_TRUE(fired.Arm(milliseconds(0)).ok());
  ASSERT_TRUE(WaitForAny(handles, 5000, &index).ok());
  EXPECT_EQ(index, 2u);
  PipeStream client;
  ASSERT_TRUE(client.Connect(u"waited").ok());  // a client to accept signals the listener
  ASSERT_TRUE(WaitForAny(handles, 5000, &index).ok());
  EXPECT_EQ(index, 1u);

  EXPECT_EQ(WaitForAny({}, 0, &index).code(), kErrorInvalidParameter);
  WaitHandle gone;
  {
    WaitableTimer closed;
    ASSERT_TRUE(closed.Create().ok());
    gone = closed.wait_handle();
  }
  const WaitHandle closed[] = {gone};
  EXPECT_FALSE(WaitForAny(closed, 0, &index).ok());
}

// A connected pipe is signalled once data or its end can be read, and a read
// of the data does not end the connection.
TEST(WaitForAnyTest, AStreamIsSignalledForDataAndForItsEnd) {
  testing_support::TempFolder dir;
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "p");
  PipeListener listener;
  ASSERT_TRUE(listener.Listen(u"stream").ok());
  PipeStream client;
  ASSERT_TRUE(client.Connect(u"stream").ok());
  PipeStream stream;
  ASSERT_TRUE(listener.Accept(&stream, 5000).ok());
  size_t index = 99;
  const WaitHandle quiet[] = {stream.wait_handle()};
  EXPECT_EQ(WaitForAny(quiet, 10, &index).code(), kErrorTimeout);

  ASSERT_TRUE(client.Write("abc", 3).ok());
  const WaitHandle ready[] = {stream.wait_handle(), stream.wait_handle()};
  ASSERT_TRUE(WaitForAny(ready, 5000, &index).ok());
  EXPECT_EQ(index, 0u);
  char buffer[8];
  size_t n = 0;
  ASSERT_TRUE(stream.Read(buffer, sizeof buffer, &n, 0).ok());
  EXPECT_EQ(std::string(buffer, n), "abc");

  const WaitHandle again[] = {stream.wait_handle()};
  EXPECT_EQ(WaitForAny(again, 10, &index).code(), kErrorTimeout);
  client.Close();
  ASSERT_TRUE(WaitForAny(again, 5000, &index).ok());
  ASSERT_TRUE(stream.Read(buffer, sizeof buffer, &n, 0).ok());
  EXPECT_EQ(n, 0u);  // the end
}

}  // namespace
}  // namespace platform
