#include "examine/ArchiveExaminer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "package/PackageDataFile.h"
#include "package/ServerSettings.pb.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"
#include "zip/testing/ZipTestTools.h"

namespace examine {
namespace {

using testing_support::TempFolder;

std::string Utf16(std::u16string_view text) { return platform::TextToUtf16Le(text); }

// A current-layout configuration with `n` spyware entries: 62 + 1 + n + 47.
std::u16string CurrentLayout(int n) {
  std::u16string text;
  for (int i = 0; i < 62; ++i) text += u"7\t";
  text += static_cast<char16_t>(u'0' + n);
  for (int i = 0; i < n; ++i) text += u"\t12";
  for (int i = 0; i < 47; ++i) text += u"\t";
  return text;
}

class ExaminerTest : public ::testing::Test {
 protected:
  // Writes skva.dat of `package` into the folder, for the archives below.
  void WritePackage(const SKVA_Server_Settings::SettingAggregation& package) {
    ASSERT_TRUE(package::WritePackageDataFile(package, dir_.wpath(), u"test").ok());
  }

  SKVA_Server_Settings::SettingAggregation SamplePackage() {
    SKVA_Server_Settings::SettingAggregation package;
    package.set_original_skva_ver(10.5);
    package.set_original_servicepack_ver(0);
    package.set_original_patch_ver(1);
    auto* child = package.add_scanconfigs();
    child->set_domain_uid(Utf16(u"11111111-2222-3333-4444-555555555555"));
    child->set_domain_name(Utf16(u"Zürich"));
    child->set_domain_name_size(6);
    child->set_parent_uid(Utf16(u"aaaaaaaa-2222-3333-4444-555555555555"));
    child->set_client_uninstall(std::string(512, '\0'));
    child->set_client_unload(std::string(512, '\0'));
    child->set_computer_name(Utf16(u"ZRH"));
    child->set_computer_name_size(3);
    child->set_config_string(Utf16(CurrentLayout(2)));
    auto* parent = package.add_scanconfigs();
    parent->set_domain_uid(Utf16(u"aaaaaaaa-2222-3333-4444-555555555555"));
    parent->set_parent_uid(Utf16(u"00000000-0000-0000-0000-000000000000"));
    parent->set_config_string(Utf16(u"1\t2\t3"));
    package.set_global_config_string("[PFW]\r\nMode=2\r\n[Global Setting]\r\nA=1\r\nB=2\r\n");
    for (int i = 0; i < 40; ++i) package.mutable_global_config_string()->append(";padding\r\n");
    return package;
  }

  bool Examine(const std::string& archive) {
    return ExamineArchive(dir_.Native(archive), &report_, &error_);
  }

  TempFolder dir_;
  ArchiveReport report_;
  std::string error_;
};

TEST_F(ExaminerTest, MembersAndEveryRecordOfASoundArchive) {
  WritePackage(SamplePackage());
  ZIP_TESTING_SKIP_WITHOUT_PYTHON();
  ASSERT_TRUE(zip_testing::WriteWithPython(
      dir_, "a.zip", R"(z.writestr("Private\\PFW\\a.pfw", "x" * 100, zipfile.ZIP_DEFLATED)
z.write("skva.dat", "skva.dat", zipfile.ZIP_DEFLATED))"));
  ASSERT_TRUE(Examine("a.zip")) << error_;
  ASSERT_EQ(report_.members.size(), 2u);
  EXPECT_EQ(report_.members[0].name, "Private\\PFW\\a.pfw");
  EXPECT_EQ(report_.members[0].size, 100u);
  EXPECT_EQ(report_.members[0].method, 8);
  EXPECT_EQ(report_.members[1].name, "skva.dat");
  EXPECT_EQ(report_.version, 10.5);
  EXPECT_EQ(report_.patch, 1);
  ASSERT_EQ(report_.domains.size(), 2u);
  const DomainRecord& child = report_.domains[0];
  EXPECT_EQ(child.uid, "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(child.uid_bytes, 72u);
  EXPECT_EQ(child.domain_name, "Zürich");
  EXPECT_EQ(child.domain_name_bytes, 12u);
  EXPECT_EQ(child.domain_name_size, 6);
  EXPECT_EQ(child.computer_name, "ZRH");
  EXPECT_EQ(child.uninstall_bytes, 512u);
  EXPECT_EQ(child.config_tokens, 112u);
  EXPECT_EQ(child.spyware_count, 2u);
  EXPECT_TRUE(child.current_layout);
  const DomainRecord& parent = report_.domains[1];
  EXPECT_EQ(parent.domain_name_size, std::nullopt);
  EXPECT_EQ(parent.config_tokens, 3u);
  EXPECT_FALSE(parent.current_layout);
  ASSERT_EQ(report_.ini_sections.size(), 2u);
  EXPECT_EQ(report_.ini_sections[1].name, "Global Setting");
  EXPECT_EQ(report_.ini_sections[1].keys, 2u);

  const std::string text = ReportText(report_);
  EXPECT_NE(text.find("\"Zürich\"  entry \"ZRH\""), std::string::npos) << text;
  EXPECT_NE(text.find("configuration 112 tokens (2 spyware entries, current layout)"),
            std::string::npos);
  EXPECT_NE(text.find("[Global Setting] 2 keys"), std::string::npos);
  const nlohmann::json json = nlohmann::json::parse(ReportJson(report_));
  EXPECT_EQ(json["members"][1]["name"], "skva.dat");
  EXPECT_EQ(json["package"]["domains"][0]["parent_uid"], "aaaaaaaa-2222-3333-4444-555555555555");
  EXPECT_EQ(json["package"]["domains"][1]["domain_name_size"], nullptr);
  EXPECT_EQ(json["package"]["ini"]["sections"][0]["name"], "PFW");
}

TEST_F(ExaminerTest, DamagedOrForeignArchivesAreRefusedWithTheirReason) {
  dir_.Write("plain.zip", "not a zip at all");
  EXPECT_FALSE(Examine("plain.zip"));
  EXPECT_NE(error_.find("cannot be opened as a zip archive"), std::string::npos) << error_;
  EXPECT_FALSE(Examine("missing.zip"));

  ASSERT_TRUE(zip_testing::WriteStoredArchive(dir_.path() + "other.zip", {{"readme.txt", "hi"}}));
  EXPECT_FALSE(Examine("other.zip"));
  EXPECT_NE(error_.find("holds no skva.dat"), std::string::npos) << error_;
  EXPECT_EQ(report_.members.size(), 1u);  // what was read is still reported

  dir_.Write("skva.dat", "5321xthis is no zlib stream");
  const std::string package = dir_.Read("skva.dat");
  ASSERT_TRUE(zip_testing::WriteStoredArchive(dir_.path() + "bad.zip", {{"skva.dat", package}}));
  EXPECT_FALSE(Examine("bad.zip"));
  EXPECT_NE(error_.find("skva.dat is not a settings package (Unable to continue."),
            std::string::npos)
      << error_;

  ASSERT_TRUE(zip_testing::WriteStoredArchive(dir_.path() + "two.zip",
                                              {{"skva.dat", package}, {"SKVA.DAT", package}}));
  EXPECT_FALSE(Examine("two.zip"));
  EXPECT_NE(error_.find("more than one skva.dat"), std::string::npos) << error_;
}

TEST_F(ExaminerTest, AMemberWhoseDataWasAlteredFailsItsCrc) {
  WritePackage(SamplePackage());
  ASSERT_TRUE(zip_testing::WriteStoredArchive(
      dir_.path() + "a.zip",
      {{"ous.ini", std::string(64, 'A')}, {"skva.dat", dir_.Read("skva.dat")}}));
  std::string bytes = dir_.Read("a.zip");
  const size_t data = bytes.find(std::string(64, 'A'));
  ASSERT_NE(data, std::string::npos);
  bytes[data + 10] = 'B';
  dir_.Write("a.zip", bytes);
  EXPECT_FALSE(Examine("a.zip"));
  EXPECT_NE(error_.find("ous.ini does not match its CRC"), std::string::npos) << error_;
}

TEST_F(ExaminerTest, HostileNamesAreShownWithoutTheirControlCharacters) {
  WritePackage(SamplePackage());
  ASSERT_TRUE(zip_testing::WriteStoredArchive(
      dir_.path() + "a.zip", {{"..\\evil\x1b[2J.txt", "x"}, {"skva.dat", dir_.Read("skva.dat")}}));
  ASSERT_TRUE(Examine("a.zip")) << error_;
  const std::string text = ReportText(report_);
  EXPECT_NE(text.find("..\\evil?[2J.txt"), std::string::npos) << text;
  EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace examine
