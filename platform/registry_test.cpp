#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/status.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testing_support::TempFolder;

constexpr char16_t kSubkey[] = u"SOFTWARE\\Korvane\\Test";

// Points the registry at a file in a fresh folder (on Windows too, where the
// variable replaces the system's registry).
class RegistryKeyTest : public ::testing::Test {
 protected:
  void WriteKey(const std::string& values) {
    dir_.Write("registry.reg",
               "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Test]\n" +
                   values);
  }

  TempFolder dir_;
  testing_support::ScopedEnvironmentVariable registry_{"BASTIONEL_REGISTRY",
                                                       dir_.Native("registry.reg")};
};

TEST_F(RegistryKeyTest, MissingFileOrKeyFailsToOpen) {
  RegistryKey key;
  EXPECT_FALSE(key.Open(RegistryRoot::kLocalMachine, kSubkey));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  WriteKey("");
  EXPECT_FALSE(key.Open(RegistryRoot::kLocalMachine, u"SOFTWARE\\Korvane\\Other"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(key.is_open());
  EXPECT_TRUE(key.Open(RegistryRoot::kLocalMachine, u"software\\korvane\\TEST"));
  EXPECT_TRUE(key.is_open());
}

TEST_F(RegistryKeyTest, StringMustFitTheCallersBufferWithItsTerminator) {
  WriteKey("\"Fits\"=\"" + std::string(259, 'a') + "\"\n\"TooLong\"=\"" + std::string(260, 'a') +
           "\"\n");
  RegistryKey key;
  ASSERT_TRUE(key.Open(RegistryRoot::kLocalMachine, kSubkey));
  std::u16string value = u"unchanged";
  EXPECT_FALSE(key.QueryString(u"TooLong", 260, &value));
  EXPECT_EQ(GetLastError(), kErrorRegistryMoreData);
  EXPECT_EQ(value, u"unchanged");
  ASSERT_TRUE(key.QueryString(u"FITS", 260, &value));
  EXPECT_EQ(value, std::u16string(259, u'a'));
  EXPECT_TRUE(key.QueryString(u"TooLong", 261, &value));
}

TEST_F(RegistryKeyTest, QueriesFailForAbsentOrOtherTypedValues) {
  WriteKey("\"Text\"=\"10.6\"\n\"Number\"=dword:00000002\n\"Binary\"=hex:01\n");
  RegistryKey key;
  ASSERT_TRUE(key.Open(RegistryRoot::kLocalMachine, kSubkey));
  std::u16string text;
  uint32_t number = 7;
  EXPECT_FALSE(key.QueryString(u"Number", 260, &text));
  EXPECT_EQ(GetLastError(), kErrorRegistryValueType);
  EXPECT_FALSE(key.QueryString(u"Binary", 260, &text));
  EXPECT_FALSE(key.QueryDword(u"Text", &number));
  EXPECT_FALSE(key.QueryDword(u"Missing", &number));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(number, 7u);
  ASSERT_TRUE(key.QueryDword(u"number", &number));
  EXPECT_EQ(number, 2u);

  key.Close();
  EXPECT_FALSE(key.QueryString(u"Text", 260, &text));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST_F(RegistryKeyTest, OpenKeyKeepsItsValuesWhenTheFileChanges) {
  WriteKey("\"Text\"=\"before\"\n");
  RegistryKey key;
  ASSERT_TRUE(key.Open(RegistryRoot::kLocalMachine, kSubkey));
  dir_.Write("registry.reg", "");
  RegistryKey moved = std::move(key);
  std::u16string text;
  ASSERT_TRUE(moved.QueryString(u"Text", 260, &text));
  EXPECT_EQ(text, u"before");
  EXPECT_FALSE(moved.Open(RegistryRoot::kLocalMachine, kSubkey));
  EXPECT_FALSE(moved.is_open());
}

}  // namespace
}  // namespace platform
