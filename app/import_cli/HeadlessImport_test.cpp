#include "app/import_cli/HeadlessImport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
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

namespace headless_import {
namespace {

using Action = Arguments::Action;

// ------------------------------------------------------------ command line

TEST(ParseArgumentsTest, OptionsInAnyOrderAroundOneArchive) {
  Arguments a = ParseArguments({u"--json", u"/tmp/Skva Migrate.zip", u"--yes"});
  EXPECT_EQ(a.action, Action::kImport);
  EXPECT_TRUE(a.yes);
  EXPECT_TRUE(a.json);
  EXPECT_EQ(a.archive, u"/tmp/Skva Migrate.zip");  // a slash path is no option

  a = ParseArguments({u"C:\\SkvaMigrate.zip"});
  EXPECT_EQ(a.action, Action::kImport);
  EXPECT_FALSE(a.yes);
  EXPECT_FALSE(a.json);
  EXPECT_EQ(a.archive, u"C:\\SkvaMigrate.zip");

  // After "--" a name may start with a dash; a lone dash is a name anyway.
  a = ParseArguments({u"--yes", u"--", u"--json"});
  EXPECT_EQ(a.action, Action::kImport);
  EXPECT_FALSE(a.json);
  EXPECT_EQ(a.archive, u"--json");
  EXPECT_EQ(ParseArguments({u"-"}).archive, u"-");
}

TEST(ParseArgumentsTest, HelpInItsThreeSpellingsWinsOverEverythingElse) {
  for (const char16_t* help : {u"--help", u"-h", u"/?"}) {
    EXPECT_EQ(ParseArguments({help}).action, Action::kHelp);
    EXPECT_EQ(ParseArguments({u"--bogus", u"a.zip", u"b.zip", help}).action, Action::kHelp);
  }
  // Not help: other spellings are unknown options, or a path.
  EXPECT_EQ(ParseArguments({u"-H"}).action, Action::kBadCommandLine);
  EXPECT_EQ(ParseArguments({u"/help"}).action, Action::kImport);
  const Arguments named = ParseArguments({u"--", u"--help"});
  EXPECT_EQ(named.action, Action::kImport);
  EXPECT_EQ(named.archive, u"--help");
}

TEST(ParseArgumentsTest, VersionWinsOverAllButHelp) {
  EXPECT_EQ(ParseArguments({u"--version"}).action, Action::kVersion);
  EXPECT_EQ(ParseArguments({u"--bogus", u"a.zip", u"b.zip", u"--version"}).action,
            Action::kVersion);
  EXPECT_EQ(ParseArguments({u"--dry-run", u"--restore", u"--version"}).action, Action::kVersion);
  EXPECT_EQ(ParseArguments({u"--version", u"-h"}).action, Action::kHelp);
  // Not the version: after "--" it is an archive; other spellings are unknown.
  const Arguments named = ParseArguments({u"--", u"--version"});
  EXPECT_EQ(named.action, Action::kImport);
  EXPECT_EQ(named.archive, u"--version");
  EXPECT_EQ(ParseArguments({u"-version"}).error, u"unknown option -version");
  EXPECT_EQ(ParseArguments({u"-V"}).error, u"unknown option -V");
}

TEST(ParseArgumentsTest, BadCommandLinesSayWhatIsWrong) {
  struct Case {
    std::vector<std::u16string> arguments;
    std::u16string error;
  };
  const Case cases[] = {
      {{}, u"no archive given"},
      {{u"--yes", u"--json"}, u"no archive given"},
      {{u"a.zip", u"b.zip"}, u"more than one archive given"},
      {{u"a.zip", u"-y"}, u"unknown option -y"},
      {{u"--yes=1", u"a.zip"}, u"unknown option --yes=1"},
      {{u"--YES", u"a.zip"}, u"unknown option --YES"},
      {{u"/c", u"/i", u"a.zip"}, u"more than one archive given"},
      {{u""}, u"the archive name is empty"},
  };
  for (const Case& c : cases) {
    const Arguments a = ParseArguments(c.arguments);
    EXPECT_EQ(a.action, Action::kBadCommandLine) << platform::Utf16ToUtf8(c.error);
    EXPECT_EQ(a.error, c.error);
  }
}

TEST(ParseArgumentsTest, PreviewRestoreAndListAreModesOfTheirOwn) {
  Arguments a = ParseArguments({u"--json", u"a.zip", u"--dry-run"});
  EXPECT_EQ(a.action, Action::kDryRun);
  EXPECT_EQ(a.archive, u"a.zip");
  EXPECT_TRUE(a.json);
  a = ParseArguments({u"--restore", u"--yes", u"portelle-backup-20260101-120000.zip"});
  EXPECT_EQ(a.action, Action::kRestore);
  EXPECT_EQ(a.archive, u"portelle-backup-20260101-120000.zip");
  EXPECT_TRUE(a.yes);
  EXPECT_EQ(ParseArguments({u"--list-backups"}).action, Action::kListBackups);
  // After "--" a mode's name is an archive.
  a = ParseArguments({u"--", u"--dry-run"});
  EXPECT_EQ(a.action, Action::kImport);
  EXPECT_EQ(a.archive, u"--dry-run");

  const std::pair<std::vector<std::u16string>, std::u16string> bad[] = {
      {{u"--dry-run"}, u"no archive given"},
      {{u"--restore"}, u"no backup given"},
      {{u"--list-backups", u"a.zip"}, u"--list-backups takes no archive"},
      {{u"--dry-run", u"--restore", u"a.zip"},
       u"--dry-run, --restore and --list-backups exclude each other"},
      {{u"--dry-run", u"--dry-run", u"a.zip"},
       u"--dry-run, --restore and --list-backups exclude each other"},
  };
  for (const auto& [arguments, error] : bad) {
    a = ParseArguments(arguments);
    EXPECT_EQ(a.action, Action::kBadCommandLine) << platform::Utf16ToUtf8(error);
    EXPECT_EQ(a.error, error);
  }
}

TEST(UsageTest, NamesEveryOptionEveryExitCodeAndTheEnvironment) {
  const std::string usage = platform::Utf16ToUtf8(Usage());
  for (const char* text :
       {"portelle-import [--yes] [--json] ARCHIVE", "--yes", "--json", "--help, -h, /?",
        "DuplicateDomainList.txt", "  0  imported", "  1  refused", "  2  bad command line",
        "  3  imported, but duplicate", "--dry-run [--json] ARCHIVE",
        "--restore [--yes] [--json] BACKUP", "--list-backups", "  --version "}) {
    EXPECT_NE(usage.find(text), std::string::npos) << text;
  }
  // The system's lines on the variables that find the server (none on
  // Windows, where the server is found without any).
  const std::string environment = platform::Utf16ToUtf8(platform::EnvironmentUsage());
  EXPECT_NE(usage.find(environment), std::string::npos) << environment;
}

// ----------------------------------------------------- outcome and report

ImportReport Imported() {
  ImportReport report;
  report.archive = u"/data/SkvaMigrate.zip";
  report.imported = true;
  report.report_path = u"/work/DuplicateDomainList.txt";
  report.summary.domains_created = 4;
  report.summary.files_replaced = 12;
  report.summary.firewall_migrated = true;
  report.summary.dlp_template_migrated = true;
  return report;
}

TEST(ExitCodeTest, DuplicatesAndRefusedOrDamagedDomainsGiveThreeAFailureOne) {
  ImportReport report = Imported();
  EXPECT_EQ(ExitCodeFor(report), kExitImported);
  // Left-out archive members and failed server steps are told, not counted.
  report.summary.members_skipped = 2;
  report.summary.firewall_migrated = false;
  report.summary.dlp_template_migrated = false;
  EXPECT_EQ(ExitCodeFor(report), kExitImported);

  for (int ImportSummary::*counter :
       {&ImportSummary::domains_refused, &ImportSummary::domains_not_imported,
        &ImportSummary::domains_without_config}) {
    ImportReport exceptional = Imported();
    exceptional.summary.*counter = 1;
    EXPECT_EQ(DomainsRefusedOrDamaged(exceptional.summary), 1);
    EXPECT_EQ(ExitCodeFor(exceptional), kExitImportedWithExceptions);
  }
  report = Imported();
  report.duplicates = 1;
  EXPECT_EQ(ExitCodeFor(report), kExitImportedWithExceptions);

  // A failure counts as one whatever was done before it.
  report.imported = false;
  EXPECT_EQ(ExitCodeFor(report), kExitFailed);
}

TEST(ReportTextTest, APlainImportEndsWithMessage130AndTheSummary) {
  EXPECT_EQ(platform::Utf16ToUtf8(ReportText(Imported())),
            "Successfully imported firewall profiles, policies, and Bastionel configurations and "
            "settings from /data/SkvaMigrate.zip.\n"
            "Duplicate domain report: /work/DuplicateDomainList.txt\n"
            "Domains created: 4\n"
            "Duplicate domains left alone: 0\n"
            "Domains refused or damaged: 0\n"
            "Files replaced: 12\n"
            "Firewall settings migrated.\n"
            "DLP template migrated.\n");
}

TEST(ReportTextTest, DuplicatesEndWithMessages141And142AndTheCountsAddUp) {
  ImportReport report = Imported();
  report.duplicates = 2;
  report.summary.domains_refused = 1;
  report.summary.domains_not_imported = 2;
  report.summary.domains_without_config = 3;
  report.summary.firewall_migrated = false;
  report.summary.dlp_template_migrated = false;
  const std::string text = platform::Utf16ToUtf8(ReportText(report));
  EXPECT_EQ(text.substr(0, text.find("Duplicate domain report")),
            "The tool didn't replace the setting for the duplicated domains. Please check "
            "'DuplicateDomainList.txt' and manually verify if they have the correct settings via "
            "the Bastionel console.\n"
            "Tool has executed successfully\n");
  EXPECT_NE(text.find("\nDuplicate domains left alone: 2\nDomains refused or damaged: 6\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nFirewall settings were not migrated: "), std::string::npos);
  EXPECT_NE(text.find("\nDLP template was not migrated: "), std::string::npos);
}

TEST(ReportTextTest, AFailureWritesNothingOnStandardOutputAndItsReasonOnStandardError) {
  ImportReport report = Imported();
  report.imported = false;
  report.outcome.failure =
      platform::AppMessage(platform::kMsgArchiveRefused, u"a.zip", u"it holds no skva.dat");
  report.outcome.afterwords.emplace_back(platform::kMsgMembersSkipped, u"1");
  EXPECT_EQ(ReportText(report), u"");
  EXPECT_EQ(ReportWarnings(report),
            u"The data file a.zip was not imported: it holds no skva.dat. Nothing was changed on "
            u"this server.\n");
  // The engine's own message box said it all.
  report.outcome.failure = {};
  EXPECT_EQ(ReportWarnings(report), u"");

  report = Imported();
  report.outcome.afterwords.emplace_back(platform::kMsgDomainsLeftOut, u"2", u"1");
  report.outcome.afterwords.emplace_back(platform::kMsgMembersSkipped, u"3");
  EXPECT_EQ(ReportWarnings(report),
            u"2 domain(s) of the data file were not imported and 1 were imported without their "
            u"scan configuration. The debug log names them; verify them via the Bastionel "
            u"console.\n3 file(s) in the data file that no export archive holds were not "
            u"extracted. The debug log names them.\n");
}

TEST(ReportJsonTest, OneObjectOnOneLineWithTheSameFactsAsTheText) {
  ImportReport report = Imported();
  report.archive = u"/data/Ünïcode.zip";
  report.duplicates = 2;
  report.summary.domains_without_config = 1;
  report.summary.members_skipped = 3;
  report.outcome.afterwords.emplace_back(platform::kMsgMembersSkipped, u"3");
  const std::string dumped = ReportJson(report);
  ASSERT_EQ(dumped.back(), '\n');
  EXPECT_EQ(dumped.find('\n'), dumped.size() - 1);
  const nlohmann::json json = nlohmann::json::parse(dumped);
  EXPECT_EQ(json["archive"], "/data/Ünïcode.zip");
  EXPECT_EQ(json["imported"], true);
  EXPECT_EQ(json["exit_code"], kExitImportedWithExceptions);
  ASSERT_EQ(json["messages"].size(), 2u);
  EXPECT_EQ(json["messages"][1], "Tool has executed successfully");
  EXPECT_EQ(json["report_file"], "/work/DuplicateDomainList.txt");
  EXPECT_EQ(json["domains_created"], 4);
  EXPECT_EQ(json["duplicates_left_alone"], 2);
  EXPECT_EQ(json["domains_refused_or_damaged"], 1);
  EXPECT_EQ(json["domains_without_config"], 1);
  EXPECT_EQ(json["files_replaced"], 12);
  EXPECT_EQ(json["members_skipped"], 3);
  EXPECT_EQ(json["firewall_migrated"], true);
  EXPECT_EQ(json["dlp_template_migrated"], true);
  EXPECT_TRUE(json["failure"].is_null());
  ASSERT_EQ(json["warnings"].size(), 1u);

  report.imported = false;
  report.outcome.failure = platform::AppMessage(platform::kMsgArchivePathTooLong, u"x.zip");
  const nlohmann::json failed = nlohmann::json::parse(ReportJson(report));
  EXPECT_EQ(failed["exit_code"], kExitFailed);
  EXPECT_TRUE(failed["messages"].empty());
  EXPECT_TRUE(failed["warnings"].empty());
  EXPECT_EQ(failed["failure"],
            "Unable to continue. The data file path is longer than 259 bytes: x.zip Select a "
            "shorter path and try again.");
}

// ------------------------------------------------------ before the engine

class RunTest : public ::testing::Test {
 protected:
  void WriteRegistry(const std::string& version, int service_pack, int patch) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers,
                  "\"ServicePack_VersionNumber\"=dword:%08x\n\"Patch_VersionNumber\"=dword:%08x\n",
                  service_pack, patch);
    dir_.Write("registry.reg",
               "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Bastionel\\service\\"
               "Information]\n\"Server_Version\"=\"" +
                   version + "\"\n" + numbers + "\"Local_Path\"=\"" + dir_.Native("install/") +
                   "\"\n");
  }

  // Runs the program; its standard output and error land in out_ and err_.
  int Run(const std::vector<std::u16string>& arguments) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = headless_import::Run(ParseArguments(arguments));
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return code;
  }

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable registry_{"BASTIONEL_REGISTRY",
                                                       dir_.Native("registry.reg")};
  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scoped_ui_{&ui_};
  std::string out_;
  std::string err_;
};

TEST_F(RunTest, HelpAndBadCommandLinesNeedNoServer) {
  EXPECT_EQ(Run({u"-h"}), kExitImported);
  EXPECT_EQ(out_, platform::Utf16ToUtf8(Usage()));
  EXPECT_EQ(err_, "");
  EXPECT_EQ(Run({u"a.zip", u"--force"}), kExitBadCommandLine);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_.substr(0, err_.find('\n')), "portelle-import: unknown option --force");
  EXPECT_EQ(Run({u"--version", u"a.zip"}), kExitImported);
  EXPECT_EQ(out_, "portelle-import " + platform::Utf16ToUtf8(app::PortelleVersion()) + "\n");
  EXPECT_EQ(err_, "");
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(RunTest, DiscoveryFailsAsPortellesDoes) {
  EXPECT_EQ(Run({u"--yes", dir_.Wide("a.zip")}), kExitFailed);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text, platform::LoadMessageText(platform::kMsgServerNotInstalled));
  EXPECT_NE(err_.find("does not exist (the variable BASTIONEL_REGISTRY names another)."),
            std::string::npos);
  EXPECT_EQ(out_, "");
}

TEST_F(RunTest, OnlyA106Sp2ServerWithoutPatchImports) {
  struct Case {
    std::string version;
    int service_pack, patch;
    std::string named;
  };
  const Case cases[] = {
      {"10.5", 0, 0, "this server is version 10.5, service pack 0, patch 0."},
      {"10.6", 1, 0, "this server is version 10.6, service pack 1, patch 0."},
      {"8.0", 2, 0, "this server is version 8, service pack 2, patch 0."},
  };
  for (const Case& c : cases) {
    WriteRegistry(c.version, c.service_pack, c.patch);
    EXPECT_EQ(Run({u"--yes", dir_.Wide("a.zip")}), kExitFailed) << c.version;
    EXPECT_EQ(err_,
              "Unable to continue. This tool only imports into Bastionel 10.6 SP2 without a "
              "patch; " +
                  c.named + "\n");
    EXPECT_EQ(out_, "");
  }
  // Discovery itself refuses a patched 10.6 with its own message.
  WriteRegistry("10.6", 2, 1);
  EXPECT_EQ(Run({u"--yes", dir_.Wide("a.zip")}), kExitFailed);
  EXPECT_EQ(ui_.messages().back().text,
            platform::LoadMessageText(platform::kMsgVersionNotSupported));
}

}  // namespace
}  // namespace headless_import
