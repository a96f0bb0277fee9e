// CQtUserInterface: the message boxes and the open-file dialog on screen,
// with Qt Widgets. A QApplication must exist while it is used.
#ifndef PORTELLE_APP_QT_QTUSERINTERFACE_H_
#define PORTELLE_APP_QT_QTUSERINTERFACE_H_

#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/user_interface.h"

class QFileDialog;
class QMessageBox;

class CQtUserInterface : public platform::UserInterface {
 public:
  // A modal QMessageBox over the active window: the caption as its title,
  // the text as plain text, the icon and the buttons asked for. Yes/No boxes
  // start on Yes; Escape or closing the box answers No.
  platform::MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                                      platform::MessageIcon icon,
                                      platform::MessageButtons buttons) override;

  // Qt's own file dialog (not the desktop's, which may refuse a name that
  // does not exist yet), in open mode for any file name, existing or not,
  // starting in the folder of `initial_path` with its file name filled in.
  // The chosen path is absolute.
  std::optional<std::u16string> ChooseFile(std::u16string_view initial_path,
                                           std::u16string_view filter) override;

  // Tests answer the boxes and dialogs here: each observer is called once a
  // box or dialog runs its own event loop, and may look at it, pick a button
  // or a file and close it.
  void SetMessageBoxObserverForTesting(std::function<void(QMessageBox&)> observer) {
    message_observer_ = std::move(observer);
  }
  void SetFileDialogObserverForTesting(std::function<void(QFileDialog&)> observer) {
    file_observer_ = std::move(observer);
  }

 private:
  std::function<void(QMessageBox&)> message_observer_;
  std::function<void(QFileDialog&)> file_observer_;
};

// A filter in the Windows form — description and pattern list pairs, each
// ended by '|', patterns separated by ';' ("Zip Files (*.zip)|*.zip|") — as
// Qt's name filters ("Zip Files (*.zip)"). Each description shows its own
// patterns in parentheses, in place of any it ended with.
QStringList QtNameFilters(std::u16string_view windows_filter);

#endif  // PORTELLE_APP_QT_QTUSERINTERFACE_H_
