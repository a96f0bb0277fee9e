// CPortelleQtApp: the program with its dialog mode on screen. In dialog mode
// it opens a Qt application on the display and shows the main dialog and
// every message box with Qt Widgets; console mode never touches the display.
#ifndef PORTELLE_APP_QT_PORTELLEQTAPP_H_
#define PORTELLE_APP_QT_PORTELLEQTAPP_H_

#include <memory>
#include <string>

#include "app/PortelleApp.h"

class CQtUserInterface;
class QApplication;
namespace platform {
class ScopedUserInterface;
}

class CPortelleQtApp : public CPortelleApp {
 public:
  CPortelleQtApp();
  ~CPortelleQtApp() override;

 protected:
  // Without a display — neither DISPLAY nor WAYLAND_DISPLAY set, unless
  // QT_QPA_PLATFORM names a platform — or when Qt cannot open it, writes to
  // standard error that the dialog cannot be shown and that /c runs the
  // console export, and ends: false, or for a display that cannot be opened
  // the process exits with code 1 at once (Qt cannot go on without one).
  // Otherwise the Qt application is created and its user interface
  // installed.
  bool OpenDialogUserInterface() override;

  // Runs the main dialog modally; 0 once it is closed.
  int RunDialog(double server_version, int32_t service_pack, int32_t patch,
                const std::u16string& install_path) override;

 private:
  // QApplication keeps references to its argument count and vector.
  int m_argc = 1;
  char m_program[9] = "portelle";
  char* m_argv[2] = {m_program, nullptr};
  std::unique_ptr<QApplication> m_application;
  std::unique_ptr<CQtUserInterface> m_ui;
  std::unique_ptr<platform::ScopedUserInterface> m_installed_ui;
};

#endif  // PORTELLE_APP_QT_PORTELLEQTAPP_H_
