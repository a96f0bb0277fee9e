// portelle.exe: carries a Bastionel server's configuration to another
// installation in one archive. A program of the window subsystem: dialog
// mode opens no console; console mode (/c) attaches to or allocates one.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "app/win/PortelleWinApp.h"
#include "platform/program_arguments.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
  // Every class of the common controls, before any window or message box.
  INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), 0xFF};
  InitCommonControlsEx(&controls);
  CPortelleWinApp app;
  app.InitInstance(platform::ProgramArguments(0, nullptr));
  return app.ExitInstance();
}
