#include "platform/string_table.h"

#include <gtest/gtest.h>

#include "platform/testing/recording_user_interface.h"

namespace platform {
namespace {

TEST(StringTableTest, ReplacesPercentOneWithTheArgument) {
  EXPECT_EQ(FormatMessageText(kMsgArchiveExists, u"/tmp/a.zip"),
            u"/tmp/a.zip already exists. Do you want to overwrite it?");
  EXPECT_EQ(FormatMessageText(kMsgLibraryMissing, u"zlibwapi.dll"),
            u"Unable to continue. \nUnable to locate dll (zlibwapi.dll). \nPlease contact your "
            u"support provider for the missing file.");
  EXPECT_EQ(FormatMessageText(kMsgToolSucceeded), u"Tool has executed successfully");
  EXPECT_EQ(FormatMessageText(131), u"");  // no such entry
}

TEST(StringTableTest, PortellesOwnEntriesTakeUpToThreeArguments) {
  AppMessage message{kMsgArchiveNotWritten, u"/no/such/a.zip", u"No such file or directory",
                     u"unused"};
  EXPECT_EQ(FormatMessageText(message),
            u"Unable to continue. \nUnable to write the data file /no/such/a.zip: No such file "
            u"or directory. \nSelect another path and try again.");
  EXPECT_EQ(FormatMessageText(AppMessage{kMsgVersionFound, u"10.6", u"3", u"0"}),
            u"Found Bastionel server version 10.6, service pack 3, patch 0.");
  // A %1 inside an argument is not replaced again; %4 is no placeholder.
  EXPECT_EQ(FormatMessageText(AppMessage{kMsgRegistryFileRead, u"%2 100%"}),
            u"Registry file read: %2 100%");
  EXPECT_TRUE(AppMessage{}.empty());
}

TEST(StringTableTest, OneLineJoinsTheLinesOfAMessageBoxText) {
  EXPECT_EQ(OneLine(FormatMessageText(kMsgDataFileCorrupted)),
            u"Unable to continue. Selected data file is incorrect or corrupted. Verify the data "
            u"file and try again.");
  EXPECT_EQ(OneLine(FormatMessageText(kMsgInstallFolderUnknown)),
            u"Unable to continue. Unable to determine Bastionel server install folder.");
  EXPECT_EQ(OneLine(u"\n lead and trail \n\n"), u"lead and trail");
  EXPECT_EQ(OneLine(u"no breaks"), u"no breaks");
}

TEST(StringTableTest, ShowsEntriesThroughTheInstalledInterface) {
  RecordingUserInterface ui;
  ScopedUserInterface scope(&ui);
  ui.QueueAnswer(MessageAnswer::kYes);
  EXPECT_EQ(ShowAppMessage(kMsgImportWarning, MessageIcon::kQuestion, MessageButtons::kYesNo),
            MessageAnswer::kYes);
  EXPECT_EQ(
      ShowAppMessage(kMsgArchiveExists, MessageIcon::kQuestion, MessageButtons::kYesNo, u"x.zip"),
      MessageAnswer::kNo);  // unanswered questions are answered No
  ASSERT_EQ(ui.messages().size(), 2u);
  EXPECT_EQ(ui.messages()[0].caption, u"Korvane Bastionel Portelle");
  EXPECT_EQ(ui.messages()[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(ui.messages()[1].text, u"x.zip already exists. Do you want to overwrite it?");
}

TEST(StringTableTest, StandardErrorInterfaceAnswersQuestionsNo) {
  StderrUserInterface ui;
  EXPECT_EQ(ui.ShowMessage(u"c", u"t", MessageIcon::kQuestion, MessageButtons::kYesNo),
            MessageAnswer::kNo);
  EXPECT_EQ(ui.ShowMessage(u"c", u"t", MessageIcon::kError, MessageButtons::kOk),
            MessageAnswer::kOk);
  EXPECT_FALSE(ui.ChooseFile(u"C:\\SkvaMigrate.zip", u"Zip Files (*.zip)|*.zip|").has_value());
}

}  // namespace
}  // namespace platform
