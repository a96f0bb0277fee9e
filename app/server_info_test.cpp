#include "app/server_info.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "platform/testing/recording_user_interface.h"
#include "platform/text.h"
#include "platform/user_interface.h"
#include "tests/support/library_name.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "tests/support/utf16le.h"

namespace app {
namespace {

using platform::MessageIcon;
using testing_support::TempFolder;

constexpr char kKeyLine[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\Information]\n";

// Points the registry at a file in a fresh folder and records message boxes.
class ServerInfoTest : public ::testing::Test {
 protected:
  void WriteRegistry(const std::string& values) {
    dir_.Write("registry.reg",
               std::string("Windows Registry Editor Version 5.00\n\n") + kKeyLine + values);
  }

  // Runs GetServerInfo: 0 when it succeeds without a message, otherwise the
  // id of the one warning it showed (-1 when it showed something else).
  int Discover() {
    ui_.Clear();
    const bool ok = GetServerInfo(&version_, &install_path_, &service_pack_, &patch_);
    if (ui_.messages().size() != (ok ? 0u : 1u)) return -1;
    if (ok) return 0;
    const auto& shown = ui_.messages()[0];
    if (shown.icon != MessageIcon::kWarning || shown.caption != platform::kApplicationTitle) {
      return -1;
    }
    for (const int id : {platform::kMsgServerNotInstalled, platform::kMsgVersionNotSupported,
                         platform::kMsgInstallFolderUnknown}) {
      if (shown.text == platform::LoadMessageText(id)) return id;
    }
    return -1;
  }

  TempFolder dir_;
  testing_support::ScopedEnvironmentVariable registry_{"BASTIONEL_REGISTRY",
                                                       dir_.Native("registry.reg")};
  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scoped_ui_{&ui_};
  double version_ = -1;
  std::u16string install_path_;
  int32_t service_pack_ = -1;
  int32_t patch_ = -1;
};

TEST_F(ServerInfoTest, ReadsAnInstalledServer) {
  WriteRegistry(
      "\"Server_Version\"=\"10.6\"\n"
      "\"ServicePack_VersionNumber\"=dword:00000002\n"
      "\"Local_Path\"=\"/opt/bastionel/server/\"\n");
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(version_, 10.6);
  EXPECT_EQ(service_pack_, 2);
  EXPECT_EQ(patch_, 0);  // no patch value
  EXPECT_EQ(install_path_, u"/opt/bastionel/server/");
}

TEST_F(ServerInfoTest, AcceptsOnlySupportedVersions) {
  struct Case {
    const char* version;
    const char* numbers;  // service-pack and patch lines
    bool supported;
  };
  const Case cases[] = {
      {"7.9", "", false},
      {"8.0", "", true},
      {"10", "", true},
      {"10.5",
       "\"ServicePack_VersionNumber\"=dword:00000009\n"
       "\"Patch_VersionNumber\"=dword:00000007\n",
       true},
      {"10.6", "\"ServicePack_VersionNumber\"=dword:00000001\n", true},
      {"10.6", "\"ServicePack_VersionNumber\"=dword:00000003\n", false},
      {"10.6", "\"Patch_VersionNumber\"=dword:00000001\n", false},
      {"10.6",
       "\"ServicePack_VersionNumber\"=dword:00000002\n"
       "\"Patch_VersionNumber\"=dword:00000000\n",
       true},
      {"10.60", "", true},
      {"10.61", "", false},
      {"11.0", "", false},
      {"ten", "", false},
      {"  10.5 build 1234", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("version \"") + c.version + "\" " + c.numbers);
    WriteRegistry(std::string("\"Server_Version\"=\"") + c.version + "\"\n" + c.numbers +
                  "\"Local_Path\"=\"/opt/bastionel/\"\n");
    EXPECT_EQ(Discover(), c.supported ? 0 : platform::kMsgVersionNotSupported);
  }
}

TEST_F(ServerInfoTest, NumbersAreSignedAndDefaultToZero) {
  WriteRegistry("\"Server_Version\"=\"10.6\"\n\"Local_Path\"=\"/opt/b/\"\n");
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(service_pack_, 0);
  EXPECT_EQ(patch_, 0);

  // 0xFFFFFFFF is -1, which the rule counts as below every limit.
  WriteRegistry(
      "\"Server_Version\"=\"10.6\"\n"
      "\"ServicePack_VersionNumber\"=dword:ffffffff\n"
      "\"Patch_VersionNumber\"=dword:fffffffe\n"
      "\"Local_Path\"=\"/opt/b/\"\n");
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(service_pack_, -1);
  EXPECT_EQ(patch_, -2);
}

TEST_F(ServerInfoTest, MissingServerGivesMessage136) {
  EXPECT_EQ(Discover(), platform::kMsgServerNotInstalled);  // no registry file

  dir_.Write("registry.reg",
             "Windows Registry Editor Version 5.00\n\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service]\n"
             "\"Server_Version\"=\"10.6\"\n");
  EXPECT_EQ(Discover(), platform::kMsgServerNotInstalled);  // no Information key

  WriteRegistry("\"Local_Path\"=\"/opt/b/\"\n");
  EXPECT_EQ(Discover(), platform::kMsgServerNotInstalled);  // no version

  WriteRegistry("\"Server_Version\"=dword:0000000a\n\"Local_Path\"=\"/opt/b/\"\n");
  EXPECT_EQ(Discover(), platform::kMsgServerNotInstalled);  // version of the wrong type
}

TEST_F(ServerInfoTest, AFailureSaysWhatWasFound) {
  const std::u16string file = dir_.Wide("registry.reg");
  std::u16string found;
  EXPECT_FALSE(GetServerInfo(&version_, &install_path_, &service_pack_, &patch_, &found));
  EXPECT_EQ(found, u"The registry file " + file +
                       u" does not exist (the variable BASTIONEL_REGISTRY names another).\n");

  WriteRegistry(
      "\"Server_Version\"=\"10.60\"\n\"ServicePack_VersionNumber\"=dword:00000003\n"
      "\"Local_Path\"=\"/opt/b/\"\n");
  found.clear();
  EXPECT_FALSE(GetServerInfo(&version_, &install_path_, &service_pack_, &patch_, &found));
  EXPECT_EQ(found, u"Registry file read: " + file +
                       u"\nFound Bastionel server version 10.60, service pack 3, patch 0.\n");

  // A success says nothing.
  WriteRegistry("\"Server_Version\"=\"10.5\"\n\"Local_Path\"=\"/opt/b/\"\n");
  found.clear();
  EXPECT_TRUE(GetServerInfo(&version_, &install_path_, &service_pack_, &patch_, &found));
  EXPECT_EQ(found, u"");
}

TEST_F(ServerInfoTest, MissingInstallFolderGivesMessage140) {
  WriteRegistry("\"Server_Version\"=\"10.5\"\n");
  EXPECT_EQ(Discover(), platform::kMsgInstallFolderUnknown);
  // An unsupported version is reported before the folder is looked at.
  WriteRegistry("\"Server_Version\"=\"7\"\n");
  EXPECT_EQ(Discover(), platform::kMsgVersionNotSupported);
}

TEST_F(ServerInfoTest, TextValuesMustFitIn260Units) {
  const std::string path259 = "/" + std::string(257, 'p') + "/";
  const std::string padding255(255, ' ');
  WriteRegistry("\"Server_Version\"=\"10.5" + padding255 + "\"\n\"Local_Path\"=\"" + path259 +
                "\"\n");
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(version_, 10.5);
  EXPECT_EQ(install_path_, platform::Utf8ToUtf16(path259));

  WriteRegistry("\"Server_Version\"=\"10.5\"\n\"Local_Path\"=\"" + path259 + "x\"\n");
  EXPECT_EQ(Discover(), platform::kMsgInstallFolderUnknown);

  WriteRegistry("\"Server_Version\"=\"10.5" + padding255 + " \"\n\"Local_Path\"=\"/opt/\"\n");
  EXPECT_EQ(Discover(), platform::kMsgServerNotInstalled);
}

TEST_F(ServerInfoTest, ReadsAUtf16RegistryFile) {
  dir_.Write("registry.reg",
             testing_support::Utf16LeWithBom(
                 u"Windows Registry Editor Version 5.00\r\n\r\n"
                 u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\Information]\r\n"
                 u"\"Server_Version\"=\"10.6\"\r\n"
                 u"\"ServicePack_VersionNumber\"=dword:00000001\r\n"
                 u"\"Local_Path\"=\"/srv/b\u00E4stionel/\u670D\u52A1/\"\r\n"));
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(service_pack_, 1);
  EXPECT_EQ(install_path_, u"/srv/b\u00E4stionel/\u670D\u52A1/");
}

TEST(CanImportIntoTest, OnlyExactly106Sp2WithoutPatch) {
  EXPECT_TRUE(CanImportInto(10.6, 2, 0));
  EXPECT_TRUE(CanImportInto(ParseServerVersion(u"10.60"), 2, 0));
  EXPECT_FALSE(CanImportInto(ParseServerVersion(u"10.61"), 2, 0));
  EXPECT_FALSE(CanImportInto(10.6, 1, 0));
  EXPECT_FALSE(CanImportInto(10.6, 3, 0));
  EXPECT_FALSE(CanImportInto(10.6, 2, 1));
  EXPECT_FALSE(CanImportInto(10.6, 2, -1));
  EXPECT_FALSE(CanImportInto(10.5, 2, 0));
}

TEST(ParseServerVersionTest, ReadsTheLeadingDecimalNumber) {
  EXPECT_EQ(ParseServerVersion(u" \t\r\n10.5.1"), 10.5);
  EXPECT_EQ(ParseServerVersion(u"+8"), 8.0);
  EXPECT_EQ(ParseServerVersion(u"-10.6"), -10.6);
  EXPECT_EQ(ParseServerVersion(u".5"), 0.5);
  EXPECT_EQ(ParseServerVersion(u"1e1"), 10.0);
  EXPECT_EQ(ParseServerVersion(u"1e"), 1.0);
  EXPECT_EQ(ParseServerVersion(u"10\u00B76"), 10.0);  // stops at a non-ASCII unit
  EXPECT_EQ(ParseServerVersion(u""), 0.0);
  EXPECT_EQ(ParseServerVersion(u"+-1"), 0.0);
  EXPECT_EQ(ParseServerVersion(u"1e999"), 0.0);
}

// Check of the zip library beside a program that lies in a fresh folder.
class CheckZipLibraryTest : public ::testing::Test {
 protected:
  // The bytes of a loadable library, built beside the test programs.
  static std::string TestModule() {
    std::u16string bin;
    EXPECT_TRUE(platform::GetProgramFolder(&bin).ok());
    std::string module;
    EXPECT_TRUE(platform::ReadFile(
                    bin + testing_support::WideLibraryFile(u"portelle_test_module.dll"), &module)
                    .ok());
    return module;
  }

  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scoped_ui_{&ui_};
  TempFolder dir_;
};

TEST_F(CheckZipLibraryTest, LoadsTheLibraryBesideTheProgram) {
  dir_.Write(testing_support::LibraryFile("zlibwapi.dll"), TestModule());
  EXPECT_TRUE(CheckZipLibrary(dir_.Wide("portelle")));
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(CheckZipLibraryTest, MissingLibraryGivesMessage138) {
  EXPECT_FALSE(CheckZipLibrary(dir_.Wide("portelle")));
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::kError);
  EXPECT_EQ(ui_.messages()[0].text,
            u"Unable to continue. \nUnable to locate dll (zlibwapi.dll). \nPlease contact your "
            u"support provider for the missing file.");

  // A file of that name that is not a library cannot be loaded either.
  dir_.Write(testing_support::LibraryFile("zlibwapi.dll"), "not a library");
  EXPECT_FALSE(CheckZipLibrary(dir_.Wide("portelle")));
  EXPECT_EQ(ui_.messages().size(), 2u);
}

TEST_F(CheckZipLibraryTest, ProgramPathIsLimitedTo259Characters) {
  dir_.Write(testing_support::LibraryFile("zlibwapi.dll"), TestModule());
  std::u16string path = dir_.wpath();
  path.append(platform::kMaxSystemPathBytes - path.size(), u'p');
  EXPECT_TRUE(CheckZipLibrary(path));
  path.push_back(u'p');
  EXPECT_FALSE(CheckZipLibrary(path));
  EXPECT_FALSE(CheckZipLibrary(u""));
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(CheckZipLibraryTest, ChecksTheRunningProgramsFolder) {
  std::u16string program;
  ASSERT_TRUE(platform::GetProgramPath(&program).ok());
  const bool beside_program = CheckZipLibrary(program);
  const size_t messages = ui_.messages().size();
  EXPECT_EQ(CheckZipLibrary(), beside_program);
  EXPECT_EQ(ui_.messages().size(), 2 * messages);
}

}  // namespace
}  // namespace app
