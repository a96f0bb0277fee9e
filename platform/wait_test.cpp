#include "platform/wait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
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
  EXPECT_EQ(timer.Arm(milliseconds(1)).code(), EBADF);  // not created
  ASSERT_TRUE(timer.Create().ok());
  EXPECT_FALSE(timer.IsSignaled());  // an unarmed timer never fires

  ASSERT_TRUE(timer.Arm(milliseconds(5)).ok());
  const WaitHandle handles[] = {timer.native_handle()};
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
  const std::vector<WaitHandle> handles = {idle.native_handle(), listener.native_handle(),
                                           fired.native_handle()};
  size_t index = 99;
  EXPECT_EQ(WaitForAny(handles, 10, &index).code(), ETIMEDOUT);

  ASSERT_TRUE(fired.Arm(milliseconds(0)).ok());
  ASSERT_TRUE(WaitForAny(handles, 5000, &index).ok());
  EXPECT_EQ(index, 2u);
  PipeStream client;
  ASSERT_TRUE(client.Connect(u"waited").ok());  // a client to accept signals the listener
  ASSERT_TRUE(WaitForAny(handles, 5000, &index).ok());
  EXPECT_EQ(index, 1u);

  EXPECT_EQ(WaitForAny({}, 0, &index).code(), EINVAL);
  const WaitHandle closed[] = {1000000};
  EXPECT_EQ(WaitForAny(closed, 0, &index).code(), EINVAL);
}

}  // namespace
}  // namespace platform
