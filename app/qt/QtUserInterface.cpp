#include "app/qt/QtUserInterface.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "platform/file_system.h"

namespace {

using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError:
      return QMessageBox::Critical;
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

// The window a box belongs to: the running modal dialog, else the active
// window, so that the box opens centred over the main dialog.
QWidget* OwnerWindow() {
  QWidget* owner = QApplication::activeModalWidget();
  return owner != nullptr ? owner : QApplication::activeWindow();
}

// Calls `observer` with `dialog` once the dialog's own event loop runs.
template <typename Dialog>
void ObserveWhenRunning(const std::function<void(Dialog&)>& observer, Dialog& dialog) {
  if (observer) QTimer::singleShot(0, &dialog, [&observer, &dialog] { observer(dialog); });
}

}  // namespace

MessageAnswer CQtUserInterface::ShowMessage(std::u16string_view caption, std::u16string_view text,
                                            MessageIcon icon, MessageButtons buttons) {
  QMessageBox box(OwnerWindow());
  box.setWindowTitle(QString::fromStdU16String(std::u16string(caption)));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdU16String(std::u16string(text)));
  box.setIcon(QtIcon(icon));
  if (buttons == MessageButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  ObserveWhenRunning(message_observer_, box);
  box.exec();
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  return box.clickedButton() == box.button(QMessageBox::Yes) ? MessageAnswer::kYes
                                                             : MessageAnswer::kNo;
}

std::optional<std::u16string> CQtUserInterface::ChooseFile(std::u16string_view initial_path,
                                                           std::u16string_view filter) {
  QFileDialog dialog(OwnerWindow());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(QtNameFilters(filter));
  const QFileInfo initial(QString::fromStdString(platform::NativePath(initial_path)));
  if (initial.absoluteDir().exists()) dialog.setDirectory(initial.absoluteDir());
  dialog.selectFile(initial.fileName());
  ObserveWhenRunning(file_observer_, dialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.front().toStdU16String();
}

QStringList QtNameFilters(std::u16string_view windows_filter) {
  static const QRegularExpression kTrailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
  const QStringList parts = QString::fromStdU16String(std::u16string(windows_filter)).split(u'|');
  QStringList filters;
  // The list ends at its last complete pair, or at an empty description.
  for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
    QString description = parts[i];
    description.remove(kTrailingPatterns);
    QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    filters << QStringLiteral("%1 (%2)").arg(description, patterns.join(u' '));
  }
  return filters;
}
