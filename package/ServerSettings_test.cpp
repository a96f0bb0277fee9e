#include <google/protobuf/stubs/logging.h>
#include <google/protobuf/wire_format_lite.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/ServerSettings.pb.h"

namespace {

using SKVA_Server_Settings::ScanConfigs;
using SKVA_Server_Settings::SettingAggregation;

// Collects everything protobuf logs while it is alive.
class ProtobufLogCapture {
 public:
  ProtobufLogCapture() { previous_ = google::protobuf::SetLogHandler(&Handle); }
  ~ProtobufLogCapture() { google::protobuf::SetLogHandler(previous_); }
  ProtobufLogCapture(const ProtobufLogCapture&) = delete;
  ProtobufLogCapture& operator=(const ProtobufLogCapture&) = delete;

  static std::vector<std::string>& lines() {
    static std::vector<std::string> captured;
    return captured;
  }

 private:
  static void Handle(google::protobuf::LogLevel, const char*, int, const std::string& message) {
    lines().push_back(message);
  }
  google::protobuf::LogHandler* previous_;
};

TEST(ServerSettingsTest, WireEncodingFollowsTheFieldNumbers) {
  SettingAggregation package;
  package.set_original_skva_ver(10.5);
  package.set_original_servicepack_ver(1);
  package.set_original_patch_ver(2);
  ScanConfigs* record = package.add_scanconfigs();
  record->set_domain_uid(std::string("a\0b\0", 4));
  record->set_domain_name(std::string());
  record->set_domain_name_size(0);
  record->set_config_string(std::string("\xff\xfe", 2));
  record->set_computer_name_size(300);
  package.set_global_config_string("[S]");

  const std::string expected(
      "\x09\x00\x00\x00\x00\x00\x00\x25\x40"  // 1: double 10.5, little-endian
      "\x12\x11"                              // 2: scanConfigs, 17 bytes
      "\x0a\x04"
      "a\0b\0"            //   1: Domain_UID
      "\x12\x00"          //   2: Domain_Name, present and empty
      "\x2a\x02\xff\xfe"  //   5: Config_String, bytes as given
      "\x30\x00"          //   6: Domain_Name_Size 0
      "\x48\xac\x02"      //   9: Computer_Name_Size 300
      "\x1a\x03[S]"       // 3: Global_Config_String
      "\x20\x01"          // 4: Original_ServicePack_Ver
      "\x28\x02",         // 5: Original_Patch_Ver
      37);
  EXPECT_EQ(package.SerializeAsString(), expected);

  SettingAggregation parsed;
  ASSERT_TRUE(parsed.ParseFromString(expected));
  ASSERT_EQ(parsed.scanconfigs_size(), 1);
  EXPECT_TRUE(parsed.scanconfigs(0).has_domain_name());
  EXPECT_FALSE(parsed.scanconfigs(0).has_parent_uid());
  EXPECT_EQ(parsed.SerializeAsString(), expected);
}

TEST(ServerSettingsTest, NegativeIntegersTakeTenBytes) {
  SettingAggregation package;
  package.set_original_patch_ver(-1);
  EXPECT_EQ(package.SerializeAsString(),
            std::string("\x28\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", 11));
}

// Config_String carries UTF-16LE text in a field declared string. It must
// travel byte for byte, and protobuf must not complain about it.
TEST(ServerSettingsTest, ConfigStringIsNotCheckedAsUtf8) {
  const std::string utf16("D\0B\0_\0\t\0\xe9\0\x00\xd8\x00\xdc\xff\xfe\x80\x00",
                          18);  // é, U+10000, U+FEFF
  ProtobufLogCapture capture;
  ProtobufLogCapture::lines().clear();

  SettingAggregation package;
  package.add_scanconfigs()->set_config_string(utf16);
  std::string bytes;
  ASSERT_TRUE(package.SerializeToString(&bytes));
  SettingAggregation parsed;
  ASSERT_TRUE(parsed.ParseFromString(bytes));
  EXPECT_EQ(parsed.scanconfigs(0).config_string(), utf16);
  EXPECT_TRUE(ProtobufLogCapture::lines().empty()) << ProtobufLogCapture::lines().front();

  // The capture does see protobuf's UTF-8 complaint when that check runs.
  google::protobuf::internal::WireFormatLite::VerifyUtf8String(
      utf16.data(), static_cast<int>(utf16.size()),
      google::protobuf::internal::WireFormatLite::PARSE, "Config_String");
  ASSERT_EQ(ProtobufLogCapture::lines().size(), 1u);
  EXPECT_NE(ProtobufLogCapture::lines()[0].find("UTF-8"), std::string::npos);
}

}  // namespace
