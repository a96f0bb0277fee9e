#include "app/qt/testing/QtTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QPushButton>

// Fontconfig, which Qt's font database loads, keeps its configuration until
// the process ends; under LeakSanitizer that shows as a leak of every test.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace qt_testing {

namespace {

QtMessageHandler g_default_handler = nullptr;

// The offscreen platform warns each time a window's size hints change.
void QuietOffscreenWarnings(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
  if (message.contains(QStringLiteral("does not support propagateSizeHints"))) return;
  g_default_handler(type, context, message);
}

}  // namespace

void EnsureApplication() {
  if (QApplication::instance() != nullptr) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  g_default_handler = qInstallMessageHandler(QuietOffscreenWarnings);
  static int argc = 1;
  static char name[] = "app_qt_test";
  static char* argv[] = {name, nullptr};
  // Lives until the program ends.
  new QApplication(argc, argv);
}

AnsweredUserInterface::AnsweredUserInterface() {
  EnsureApplication();
  ui_.SetMessageBoxObserverForTesting([this](QMessageBox& box) {
    boxes_.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons()});
    if (on_box_) on_box_(boxes_.back());
    QMessageBox::StandardButton answer =
        box.standardButtons() & QMessageBox::No ? QMessageBox::No : QMessageBox::Ok;
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    }
    QAbstractButton* button = box.button(answer);
    if (button == nullptr) {
      ADD_FAILURE() << "the box has no button " << answer << ": " << box.text().toStdString();
      box.reject();
      return;
    }
    button->click();
  });
}

void AnsweredUserInterface::ChooseNextFile(const QString& path) {
  ui_.SetFileDialogObserverForTesting([path](QFileDialog& dialog) {
    if (path.isEmpty()) {
      dialog.reject();
      return;
    }
    dialog.selectFile(path);
    static_cast<QDialog&>(dialog).accept();  // public as a QDialog
  });
}

}  // namespace qt_testing
