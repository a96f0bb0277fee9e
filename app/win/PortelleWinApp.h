// CPortelleWinApp: the Windows program. Dialog mode runs the main dialog
// from the program's resources and shows every message box with the
// system's own; console mode is CPortelleApp's.
#ifndef PORTELLE_APP_WIN_PORTELLEWINAPP_H_
#define PORTELLE_APP_WIN_PORTELLEWINAPP_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/PortelleApp.h"
#include "app/win/Win32UserInterface.h"
#include "platform/user_interface.h"

class CPortelleWinApp : public CPortelleApp {
 public:
  CPortelleWinApp();
  ~CPortelleWinApp() override;

  // What is written to standard error when the dialog cannot be shown:
  // the reason, and that /c runs the console export instead.
  static std::u16string NoDialogMessage(std::u16string_view reason);

 protected:
  // Installs the system's message boxes. When no window can be created —
  // no desktop or display to show it on — says so on standard error and
  // returns false, so that the run ends with exit code 1 instead of doing
  // nothing.
  bool OpenDialogUserInterface() override;

  // Runs the main dialog modally: 0 once it is closed; 1, after saying why
  // on standard error, when it could not be shown.
  int RunDialog(double server_version, int32_t service_pack, int32_t patch,
                const std::u16string& install_path) override;

 private:
  CWin32UserInterface m_ui;
  std::unique_ptr<platform::ScopedUserInterface> m_installed_ui;
};

#endif  // PORTELLE_APP_WIN_PORTELLEWINAPP_H_
