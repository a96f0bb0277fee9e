#include "platform/string_table.h"

#include <gtest/gtest.h>

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

TEST(StringTableTest, ShowsEntriesThroughTheInstalledInterface) {
  RecordingUserInterface ui;
  ScopedUserInterface scope(&ui);
  ui.QueueAnswer(MessageAnswer::kYes);
  EXPECT_EQ(ShowAppMessage(kMsgImportWarning, MessageIcon::kQuestion, MessageButtons::kYesNo),
            MessageAnswer::kYes);
  EXPECT_EQ(ShowAppMessage(kMsgArchiveExists, MessageIcon::kQuestion, MessageButtons::kYesNo,
                           u"x.zip"),
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
