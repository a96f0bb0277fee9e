#include "zip/ZipException.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/status.h"

namespace {

TEST(ZipExceptionTest, TextsCarryCodeAndSystemDescription) {
  char buffer[260];
  CZipCommonException common(platform::kErrorFileNotFound);
  ASSERT_EQ(common.GetErrorText(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer,
               ("Error : " + std::to_string(platform::kErrorFileNotFound) +
                ", Description : " + platform::SystemErrorText(platform::kErrorFileNotFound))
                   .c_str());
  CWinFileException file(platform::kErrorFileNotFound);
  ASSERT_EQ(file.GetErrorText(buffer, sizeof buffer), 1);
  EXPECT_EQ(std::string(buffer),
            "CWinFileException: Error : " + std::to_string(platform::kErrorFileNotFound) +
                ", Description : " + platform::SystemErrorText(platform::kErrorFileNotFound));
  CWinFileException closed(-1);
  ASSERT_EQ(closed.GetErrorText(buffer, sizeof buffer), 1);
  EXPECT_EQ(std::string(buffer).rfind("CWinFileException: Error : -1, Description : ", 0), 0u);
}

TEST(ZipExceptionTest, TextIsCutToTheBuffer) {
  CWinFileException error(platform::kErrorAlreadyExists);
  char buffer[12];
  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_EQ(error.GetErrorText(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "CWinFileExc");
  EXPECT_EQ(error.GetErrorText(nullptr, 10), 0);
  EXPECT_EQ(error.GetErrorText(buffer, 0), 0);
}

// Callers catch the base class and get the derived text.
TEST(ZipExceptionTest, CaughtThroughTheBase) {
  try {
    throw CWinFileException(platform::kErrorNotEnoughMemory);
  } catch (CZipCommonException& e) {
    char buffer[260];
    e.GetErrorText(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer).rfind("CWinFileException: ", 0), 0u);
    EXPECT_EQ(e.GetError(), platform::kErrorNotEnoughMemory);
  }
}

}  // namespace
