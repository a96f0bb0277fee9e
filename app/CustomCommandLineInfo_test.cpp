#include "app/CustomCommandLineInfo.h"

#include <gtest/gtest.h>

#include "platform/testing/recording_user_interface.h"
#include "platform/text.h"
#include "platform/user_interface.h"

namespace {

struct Parsed {
  bool console, import, attach;
  std::u16string path;
  std::vector<std::u16string> messages;
};

Parsed Parse(std::vector<std::u16string> arguments) {
  platform::RecordingUserInterface ui;
  platform::ScopedUserInterface scope(&ui);
  CCustomCommandLineInfo info;
  ParseCommandLine(arguments, info);
  Parsed p{info.IsConsoleMode(),
           info.IsImport(),
           info.IsAttachToParentConsole(),
           info.GetDataFilePath(),
           {}};
  for (const auto& m : ui.messages()) {
    EXPECT_EQ(m.icon, platform::MessageIcon::kWarning);
    p.messages.push_back(m.text);
  }
  return p;
}

TEST(CommandLineTest, NoArgumentsMeansDialogMode) {
  const Parsed p = Parse({});
  EXPECT_FALSE(p.console);
  EXPECT_FALSE(p.import);
  EXPECT_TRUE(p.path.empty());
}

TEST(CommandLineTest, FlagsInSlashAndDashForms) {
  Parsed p = Parse({u"/c", u"/i", u"/tmp/Skva Migrate.zip"});
  EXPECT_TRUE(p.console);
  EXPECT_TRUE(p.import);
  EXPECT_EQ(p.path, u"/tmp/Skva Migrate.zip");  // a longer slash token is a path
  p = Parse({u"-c", u"-t", u"out.zip"});
  EXPECT_TRUE(p.console);
  EXPECT_TRUE(p.attach);
  EXPECT_TRUE(p.messages.empty());
}

TEST(CommandLineTest, TheLaterOfImportAndExportWins) {
  EXPECT_FALSE(Parse({u"/c", u"/i", u"/e", u"a.zip"}).import);
  EXPECT_TRUE(Parse({u"/c", u"/e", u"/i", u"a.zip"}).import);
}

TEST(CommandLineTest, UnknownFlagsAreReportedAndSkipped) {
  const Parsed p = Parse({u"/C", u"-print", u"/c", u"x.zip"});
  EXPECT_TRUE(p.console);
  ASSERT_EQ(p.messages.size(), 2u);
  EXPECT_EQ(p.messages[0], u"Unknown flag C");  // flags are case-sensitive
  EXPECT_EQ(p.messages[1], u"Unknown flag print");
  EXPECT_EQ(p.path, u"x.zip");
}

TEST(CommandLineTest, HelpInItsThreeSpellingsAndNothingNear) {
  for (const char16_t* token : {u"/?", u"-h", u"--help", u"-?"}) {
    CCustomCommandLineInfo info;
    ParseCommandLine({token}, info);
    EXPECT_TRUE(info.IsHelp()) << platform::Utf16ToUtf8(token);
  }
  // Other spellings stay unknown flags, and a longer slash token a path.
  const Parsed p = Parse({u"-H", u"-help", u"/help", u"--h"});
  EXPECT_EQ(p.messages, (std::vector<std::u16string>{u"Unknown flag H", u"Unknown flag help",
                                                     u"Unknown flag -h"}));
  EXPECT_EQ(p.path, u"/help");
  CCustomCommandLineInfo info;
  ParseCommandLine({u"/c", u"/help"}, info);
  EXPECT_FALSE(info.IsHelp());
}

TEST(CommandLineTest, VersionIsTheLongFlagOnlyAndLeavesTheOthersAlone) {
  CCustomCommandLineInfo info;
  ParseCommandLine({u"/c", u"--version", u"x.zip"}, info);
  EXPECT_TRUE(info.IsVersion());
  EXPECT_FALSE(info.IsHelp());
  EXPECT_TRUE(info.IsConsoleMode());
  EXPECT_EQ(info.GetDataFilePath(), u"x.zip");
  // Near spellings stay unknown flags, and a slash word a path.
  const Parsed p = Parse({u"-version", u"-v", u"--Version", u"/version"});
  EXPECT_EQ(p.messages, (std::vector<std::u16string>{u"Unknown flag version", u"Unknown flag v",
                                                     u"Unknown flag -Version"}));
  EXPECT_EQ(p.path, u"/version");
  CCustomCommandLineInfo none;
  ParseCommandLine({u"-version", u"/version"}, none);
  EXPECT_FALSE(none.IsVersion());
}

TEST(CommandLineTest, LastPathWinsAndIsTrimmed) {
  EXPECT_EQ(Parse({u"first.zip", u"  \tsecond.zip  "}).path, u"second.zip");
  EXPECT_EQ(Parse({u"-"}).path, u"-");  // a lone dash is no flag
}

}  // namespace
