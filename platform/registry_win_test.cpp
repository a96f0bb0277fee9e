// The system's registry, written with the system's own reg.exe and read back
// through RegistryKey.
#include <gtest/gtest.h>

#include <string>

#include "platform/format.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/status.h"
#include "platform/system.h"
#include "tests/support/scoped_environment.h"

namespace platform {
namespace {

// Runs reg.exe with `arguments`; its exit code, or -1 when it did not run.
int Reg(const std::string& arguments) {
  Process reg;
  if (!reg.Start("reg.exe " + arguments).ok()) return -1;
  int exit_code = -1;
  return reg.Wait(&exit_code).ok() ? exit_code : -1;
}

// A key of its own below HKEY_LOCAL_MACHINE for each test, removed from both
// registry views afterwards.
class SystemRegistryTest : public ::testing::Test {
 protected:
  SystemRegistryTest() {
    Guid guid;
    EXPECT_TRUE(CreateGuid(&guid));
    subkey_ = FormatA("SOFTWARE\\Korvane\\PortelleTest%08x", guid.data1);
  }
  ~SystemRegistryTest() override {
    Reg("delete \"HKLM\\" + subkey_ + "\" /f /reg:64");
    Reg("delete \"HKLM\\" + subkey_ + "\" /f /reg:32");
  }

  void Add(const std::string& value, const std::string& type, const std::string& data,
           const std::string& view = "/reg:64") {
    // Backslashes before the closing quote are doubled, or the last one would
    // make the quote part of the text.
    std::string quoted = data;
    size_t trailing = 0;
    while (trailing < quoted.size() && quoted[quoted.size() - 1 - trailing] == '\\') ++trailing;
    quoted.append(trailing, '\\');
    ASSERT_EQ(Reg("add \"HKLM\\" + subkey_ + "\" /v " + value + " /t " + type + " /d \"" + quoted +
                  "\" /f " + view),
              0)
        << value;
  }

  std::u16string Subkey() const { return std::u16string(subkey_.begin(), subkey_.end()); }

  testing_support::ScopedEnvironmentVariable no_file_{"BASTIONEL_REGISTRY", ""};
  std::string subkey_;
};

TEST_F(SystemRegistryTest, ReadsTheSystemsRegistryWhenNoFileIsNamed) {
  EXPECT_TRUE(DescribeRegistryStore().path.empty());
  RegistryKey key;
  SetLastError(0);
  EXPECT_FALSE(key.Open(RegistryRoot::kLocalMachine, Subkey()));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);

  Add("Server_Version", "REG_SZ", "10.6");
  Add("ServicePack_VersionNumber", "REG_DWORD", "2");
  Add("Local_Path", "REG_SZ", "C:\\Program Files\\Bastionel\\");
  Add("Binary", "REG_BINARY", "0102");
  ASSERT_TRUE(key.Open(RegistryRoot::kLocalMachine, Subkey()));
  std::u16string text;
  ASSERT_TRUE(key.QueryString(u"server_version", 260, &text));
  EXPECT_EQ(text, u"10.6");
  ASSERT_TRUE(key.QueryString(u"Local_Path", 260, &text));
  EXPECT_EQ(text, u"C:\\Program Files\\Bastionel\\");
  uint32_t number = 0;
  ASSERT_TRUE(key.QueryDword(u"ServicePack_VersionNumber", &number));
  EXPECT_EQ(number, 2u);

  // Absent values and values of another type fail and change nothing.
  text = u"unchanged";
  number = 9;
  EXPECT_FALSE(key.QueryDword(u"Patch_VersionNumber", &number));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(key.QueryDword(u"Server_Version", &number));
  EXPECT_EQ(GetLastError(), kErrorRegistryValueType);
  EXPECT_FALSE(key.QueryString(u"ServicePack_VersionNumber", 260, &text));
  EXPECT_EQ(GetLastError(), kErrorRegistryValueType);
  EXPECT_FALSE(key.QueryString(u"Binary", 260, &text));
  EXPECT_EQ(text, u"unchanged");
  EXPECT_EQ(number, 9u);

  RegistryKey moved = std::move(key);
  EXPECT_FALSE(key.is_open());
  EXPECT_TRUE(moved.QueryString(u"Server_Version", 260, &text));
  moved.Close();
  EXPECT_FALSE(moved.QueryString(u"Server_Version", 260, &text));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST_F(SystemRegistryTest, AStringMustFitTheCallersBufferWithItsTerminator) {
  Add("Fits", "REG_SZ", std::string(259, 'a'));
  Add("TooLong", "REG_SZ", std::string(260, 'a'));
  RegistryKey key;
  ASSERT_TRUE(key.Open(RegistryRoot::kLocalMachine, Subkey()));
  std::u16string value = u"unchanged";
  EXPECT_FALSE(key.QueryString(u"TooLong", 260, &value));
  EXPECT_EQ(GetLastError(), kErrorRegistryMoreData);
  EXPECT_EQ(value, u"unchanged");
  ASSERT_TRUE(key.QueryString(u"Fits", 260, &value));
  EXPECT_EQ(value, std::u16string(259, u'a'));
  EXPECT_TRUE(key.QueryString(u"TooLong", 261, &value));
}

TEST_F(SystemRegistryTest, TheKeyIsReadInThe64BitView) {
  Add("Server_Version", "REG_SZ", "8.0", "/reg:32");
  RegistryKey key;
  EXPECT_FALSE(key.Open(RegistryRoot::kLocalMachine, Subkey()));
  Add("Server_Version", "REG_SZ", "10.6");
  ASSERT_TRUE(key.Open(RegistryRoot::kLocalMachine, Subkey()));
  std::u16string text;
  ASSERT_TRUE(key.QueryString(u"Server_Version", 260, &text));
  EXPECT_EQ(text, u"10.6");
}

}  // namespace
}  // namespace platform
