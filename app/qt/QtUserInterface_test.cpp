#include "app/qt/QtUserInterface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt/testing/QtTestSupport.h"
#include "tests/support/temp_folder.h"
#include "zip/testing/ZipTestTools.h"

namespace {

using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

TEST(QtNameFiltersTest, WindowsFiltersBecomeQtNameFilters) {
  EXPECT_EQ(QtNameFilters(u"Zip Files (*.zip)|*.zip|"), QStringList{"Zip Files (*.zip)"});
  // Several patterns; the list ends at an empty pair.
  EXPECT_EQ(QtNameFilters(u"Logs|*.log;*.txt|All Files (*.*)|*.*||Ignored|*.x|"),
            (QStringList{"Logs (*.log *.txt)", "All Files (*.*)"}));
  // The patterns that filter are the ones shown, not those the description
  // happened to name.
  EXPECT_EQ(QtNameFilters(u"Archives (*.zip)|*.zip;*.Zip|"), QStringList{"Archives (*.zip *.Zip)"});
  EXPECT_EQ(QtNameFilters(u""), QStringList{});
  EXPECT_EQ(QtNameFilters(u"No patterns"), QStringList{});
}

class QtUserInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { qt_testing::EnsureApplication(); }

  // Shows a box and answers it by `answer(box)`; returns what ShowMessage
  // returned and the box as it was shown.
  MessageAnswer Show(MessageIcon icon, MessageButtons buttons,
                     const std::function<void(QMessageBox&)>& answer) {
    ui_.SetMessageBoxObserverForTesting([&](QMessageBox& box) {
      shown_title_ = box.windowTitle();
      shown_text_ = box.text();
      shown_icon_ = box.icon();
      shown_buttons_ = box.standardButtons();
      shown_format_ = box.textFormat();
      default_ = box.defaultButton() != nullptr ? box.standardButton(box.defaultButton())
                                                : QMessageBox::NoButton;
      answer(box);
    });
    return ui_.ShowMessage(u"Caption", u"<b>1</b> & \nnext", icon, buttons);
  }

  CQtUserInterface ui_;
  QString shown_title_, shown_text_;
  QMessageBox::Icon shown_icon_ = QMessageBox::NoIcon;
  QMessageBox::StandardButtons shown_buttons_;
  QMessageBox::StandardButton default_ = QMessageBox::NoButton;
  Qt::TextFormat shown_format_ = Qt::AutoText;
};

TEST_F(QtUserInterfaceTest, MessageBoxesShowTheirCaptionTextIconAndButtons) {
  const auto click = [](QMessageBox::StandardButton which) {
    return [which](QMessageBox& box) { box.button(which)->click(); };
  };
  const struct {
    MessageIcon icon;
    QMessageBox::Icon shown;
  } icons[] = {{MessageIcon::kError, QMessageBox::Critical},
               {MessageIcon::kWarning, QMessageBox::Warning},
               {MessageIcon::kInformation, QMessageBox::Information},
               {MessageIcon::kQuestion, QMessageBox::Question},
               {MessageIcon::kNone, QMessageBox::NoIcon}};
  for (const auto& c : icons) {
    EXPECT_EQ(Show(c.icon, MessageButtons::kOk, click(QMessageBox::Ok)), MessageAnswer::kOk);
    EXPECT_EQ(shown_icon_, c.shown);
    EXPECT_EQ(shown_buttons_, QMessageBox::Ok);
  }
  EXPECT_EQ(shown_title_, "Caption");
  // The text is shown as it is: no markup, line breaks kept.
  EXPECT_EQ(shown_text_, "<b>1</b> & \nnext");
  EXPECT_EQ(shown_format_, Qt::PlainText);

  EXPECT_EQ(Show(MessageIcon::kQuestion, MessageButtons::kYesNo, click(QMessageBox::Yes)),
            MessageAnswer::kYes);
  EXPECT_EQ(shown_buttons_, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(default_, QMessageBox::Yes);
  EXPECT_EQ(Show(MessageIcon::kQuestion, MessageButtons::kYesNo, click(QMessageBox::No)),
            MessageAnswer::kNo);
  // Escape and closing the box answer No.
  EXPECT_EQ(Show(MessageIcon::kQuestion, MessageButtons::kYesNo,
                 [](QMessageBox& box) {
                   QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                   QApplication::sendEvent(&box, &escape);
                 }),
            MessageAnswer::kNo);
  EXPECT_EQ(
      Show(MessageIcon::kQuestion, MessageButtons::kYesNo, [](QMessageBox& box) { box.close(); }),
      MessageAnswer::kNo);
}

TEST_F(QtUserInterfaceTest, FileDialogTakesANameThatDoesNotExistYet) {
  testing_support::TempFolder dir;
  dir.Write("old.zip", "zip");
  const QString folder = QDir(QString::fromStdString(dir.path())).absolutePath();
  ui_.SetFileDialogObserverForTesting([&](QFileDialog& dialog) {
    EXPECT_EQ(dialog.nameFilters(), QStringList{"Zip Files (*.zip)"});
    EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.directory().absolutePath(), folder);
    EXPECT_EQ(dialog.selectedFiles(), QStringList{folder + "/old.zip"});
    dialog.selectFile("new.zip");
    static_cast<QDialog&>(dialog).accept();  // public as a QDialog
  });
  EXPECT_EQ(ui_.ChooseFile(dir.Wide("old.zip"), u"Zip Files (*.zip)|*.zip|"),
            (folder + "/new.zip").toStdU16String());
  EXPECT_FALSE(dir.Exists("new.zip"));

  // A relative name with backslashes starts in its folder below the current
  // one; cancelling chooses nothing.
  dir.MakeFolder("sub");
  zip_testing::ScopedCurrentFolder current(dir.path());
  ui_.SetFileDialogObserverForTesting([&](QFileDialog& dialog) {
    EXPECT_EQ(dialog.directory().absolutePath(), folder + "/sub");
    EXPECT_EQ(dialog.selectedFiles(), QStringList{folder + "/sub/a.zip"});
    dialog.reject();
  });
  EXPECT_EQ(ui_.ChooseFile(u"sub\\a.zip", u"Zip Files (*.zip)|*.zip|"), std::nullopt);
}

}  // namespace
