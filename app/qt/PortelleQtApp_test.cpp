// The program's dialog mode where no dialog can be shown, run as the real
// executable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace {

using testing_support::ServiceProcess;

class NoDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("registry.reg",
               "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\Information]\n"
               "\"Server_Version\"=\"10.6\"\n"
               "\"ServicePack_VersionNumber\"=dword:00000002\n"
               "\"Local_Path\"=\"" +
                   dir_.path() + "server/\"\n");
    dir_.Write("server/bsnscan.ini", "");
  }

  // Runs portelle without arguments; `display` holds the display variables
  // (empty counts as unset). Returns the exit code; errors_ gets what it
  // wrote to standard error.
  int Run(const std::vector<std::string>& display) {
    std::vector<std::string> environment = display;
    for (const std::string unset : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}) {
      bool given = false;
      for (const std::string& d : display) given = given || d.starts_with(unset);
      if (!given) environment.push_back(unset);
    }
    environment.push_back("BASTIONEL_REGISTRY=" + dir_.path() + "registry.reg");
    environment.push_back("BASTIONEL_PIPE_DIR=" + dir_.path() + "pipes");
    ServiceProcess program;
    EXPECT_TRUE(program.Spawn(testing_support::ProgramInBinFolder("portelle"), {}, environment))
        << program.standard_error();
    const int exit_code = program.Wait();
    errors_ = program.standard_error();
    output_ = program.standard_output();
    return exit_code;
  }

  testing_support::TempFolder dir_;
  std::string errors_;
  std::string output_;
};

TEST_F(NoDisplayTest, WithoutADisplayTheProgramPointsToTheConsoleMode) {
  EXPECT_EQ(Run({}), 1);
  EXPECT_NE(errors_.find("there is no display"), std::string::npos) << errors_;
  EXPECT_NE(errors_.find("portelle /c"), std::string::npos) << errors_;
  EXPECT_EQ(output_, "");
}

TEST_F(NoDisplayTest, ADisplayThatCannotBeOpenedEndsTheSameWay) {
  EXPECT_EQ(Run({"DISPLAY=:4711"}), 1);
  EXPECT_NE(errors_.find("the display (DISPLAY=:4711) cannot be opened"), std::string::npos)
      << errors_;
  EXPECT_NE(errors_.find("portelle /c"), std::string::npos) << errors_;

  EXPECT_EQ(Run({"QT_QPA_PLATFORM=no-such-platform"}), 1);
  EXPECT_NE(errors_.find("QT_QPA_PLATFORM=no-such-platform"), std::string::npos) << errors_;
}

}  // namespace
