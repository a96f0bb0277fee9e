// What the Qt tests share: the test program's Qt application on the
// offscreen platform, and a user interface whose message boxes the test
// answers.
#ifndef PORTELLE_APP_QT_TESTING_QTTESTSUPPORT_H_
#define PORTELLE_APP_QT_TESTING_QTTESTSUPPORT_H_

#include <QMessageBox>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "app/qt/QtUserInterface.h"
#include "platform/user_interface.h"

namespace qt_testing {

// The Qt application of the test program, created on first use on the
// offscreen platform so that windows open without a display.
void EnsureApplication();

// The Qt message boxes and file dialogs, installed as the current user
// interface for the lifetime of this object. Every box is recorded and
// answered with the next queued button, by default OK or No.
class AnsweredUserInterface {
 public:
  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };

  AnsweredUserInterface();

  void QueueAnswer(QMessageBox::StandardButton button) { answers_.push_back(button); }
  // Called with each box before it is answered.
  void OnEachBox(std::function<void(const Box&)> check) { on_box_ = std::move(check); }
  // Answers the next file dialog with `path` typed as the file name, or
  // cancels it when `path` is empty.
  void ChooseNextFile(const QString& path);

  const std::vector<Box>& boxes() const { return boxes_; }
  void Clear() { boxes_.clear(); }
  CQtUserInterface& ui() { return ui_; }

 private:
  CQtUserInterface ui_;
  platform::ScopedUserInterface installed_{&ui_};
  std::vector<Box> boxes_;
  std::deque<QMessageBox::StandardButton> answers_;
  std::function<void(const Box&)> on_box_;
};

}  // namespace qt_testing

#endif  // PORTELLE_APP_QT_TESTING_QTTESTSUPPORT_H_
