#include "app/PortelleApp.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/program_version.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "platform/testing/recording_user_interface.h"
#include "platform/text.h"
#include "platform/user_interface.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

// The dialog mode with a dialog that is never shown: it only counts.
class DialoglessApp : public CPortelleApp {
 public:
  int dialogs_run = 0;

 protected:
  bool OpenDialogUserInterface() override { return true; }
  int RunDialog(double, int32_t, int32_t, const std::u16string&) override {
    ++dialogs_run;
    return 0;
  }
};

class PortelleAppTest : public ::testing::Test {
 protected:
  // Runs the program with `arguments`; standard error lands in *err.
  int Run(const std::vector<std::u16string>& arguments, DialoglessApp* app, std::string* err) {
    testing::internal::CaptureStderr();
    app->InitInstance(arguments);
    *err = testing::internal::GetCapturedStderr();
    return app->ExitInstance();
  }

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable registry_{"BASTIONEL_REGISTRY",
                                                       dir_.Native("registry.reg")};
  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scoped_ui_{&ui_};
};

TEST_F(PortelleAppTest, AFailedDiscoveryFailsTheRunInDialogModeAndSaysWhatWasFound) {
  DialoglessApp app;
  std::string err;
  EXPECT_EQ(Run({}, &app, &err), 1);
  EXPECT_EQ(app.dialogs_run, 0);
  ASSERT_EQ(ui_.messages().size(), 1u);  // the warning box stays as it was
  EXPECT_EQ(ui_.messages()[0].text, platform::LoadMessageText(platform::kMsgServerNotInstalled));
  EXPECT_EQ(err, "The registry file " + dir_.Native("registry.reg") +
                     " does not exist (the variable BASTIONEL_REGISTRY names another).\n");

  dir_.Write("registry.reg",
             "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\"
             "Information]\n\"Server_Version\"=\"10.6\"\n\"Patch_VersionNumber\"=dword:00000001\n"
             "\"Local_Path\"=\"/opt/b/\"\n");
  DialoglessApp patched;
  ui_.Clear();
  EXPECT_EQ(Run({}, &patched, &err), 1);
  EXPECT_EQ(patched.dialogs_run, 0);
  EXPECT_EQ(ui_.messages()[0].text, platform::LoadMessageText(platform::kMsgVersionNotSupported));
  EXPECT_NE(err.find("Found Bastionel server version 10.6, service pack 0, patch 1."),
            std::string::npos);
}

TEST_F(PortelleAppTest, HelpPrintsTheUsageBeforeDiscoveryInEitherMode) {
  for (const std::vector<std::u16string>& arguments : std::vector<std::vector<std::u16string>>{
           {u"--help"}, {u"-h"}, {u"/?"}, {u"/c", u"/t", u"/?", u"a.zip"}}) {
    DialoglessApp app;
    std::string err;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run(arguments, &app, &err), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, platform::Utf16ToUtf8(CPortelleApp::Usage()));
    EXPECT_EQ(err, "");
    EXPECT_EQ(app.dialogs_run, 0);
  }
  // No registry file exists here: discovery would have shown message 136.
  EXPECT_TRUE(ui_.messages().empty());
  const std::string usage = platform::Utf16ToUtf8(CPortelleApp::Usage());
  for (const char* text :
       {"  /c ", "  /t ", "  /e ", "  /i ", "C:\\SkvaMigrate.zip", "Exit codes: 0"}) {
    EXPECT_NE(usage.find(text), std::string::npos) << text;
  }
  // The system's lines on the variables that find the server (none on
  // Windows, where the server is found without any).
  const std::string environment = platform::Utf16ToUtf8(platform::EnvironmentUsage());
  EXPECT_NE(usage.find(environment), std::string::npos) << environment;
}

TEST_F(PortelleAppTest, VersionPrintsOneLineBeforeDiscoveryAndHelpWinsOverIt) {
  const std::string line = "portelle " + platform::Utf16ToUtf8(app::PortelleVersion()) + "\n";
  EXPECT_TRUE(std::regex_match(line, std::regex("portelle [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << line;
  for (const std::vector<std::u16string>& arguments : std::vector<std::vector<std::u16string>>{
           {u"--version"}, {u"/c", u"--version", u"a.zip"}, {u"/i", u"--version"}}) {
    DialoglessApp app;
    std::string err;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run(arguments, &app, &err), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line);
    EXPECT_EQ(err, "");
    EXPECT_EQ(app.dialogs_run, 0);
  }
  // No registry file exists here: discovery would have shown message 136.
  EXPECT_TRUE(ui_.messages().empty());

  DialoglessApp both;
  std::string err;
  testing::internal::CaptureStdout();
  EXPECT_EQ(Run({u"--version", u"--help"}, &both, &err), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), platform::Utf16ToUtf8(CPortelleApp::Usage()));
  EXPECT_NE(platform::Utf16ToUtf8(CPortelleApp::Usage()).find("  --version "), std::string::npos);
}

}  // namespace
