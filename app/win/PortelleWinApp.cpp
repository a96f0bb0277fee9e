#include "app/win/PortelleWinApp.h"

// clang-format off
#include <windows.h>
// clang-format on

#include "app/PortelleOperations.h"
#include "app/win/PortelleDlgWin.h"
#include "platform/console.h"
#include "platform/format.h"
#include "platform/status.h"
#include "platform/text.h"

namespace {

// The system's text for an error code.
std::u16string ErrorText(DWORD code) {
  return platform::FromSystemCodePage(platform::SystemErrorText(static_cast<int>(code)));
}

// True when a top-level window can be created: there is a desktop to show
// one on.
bool CanCreateWindow(DWORD* error) {
  SetLastError(0);
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  *error = GetLastError();
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

}  // namespace

CPortelleWinApp::CPortelleWinApp() = default;

CPortelleWinApp::~CPortelleWinApp() = default;

std::u16string CPortelleWinApp::NoDialogMessage(std::u16string_view reason) {
  return platform::Format(
      u"Portelle: the dialog cannot be shown: %s. Run \"portelle /c [/t] ARCHIVE\" to export "
      u"from the console instead.\n",
      reason);
}

bool CPortelleWinApp::OpenDialogUserInterface() {
  DWORD error = 0;
  if (!CanCreateWindow(&error)) {
    platform::ConsoleWriteError(NoDialogMessage(
        error == 0 ? std::u16string(u"no window can be created (there is no display)")
                   : u"no window can be created (" + ErrorText(error) + u")"));
    return false;
  }
  m_installed_ui = std::make_unique<platform::ScopedUserInterface>(&m_ui);
  return true;
}

int CPortelleWinApp::RunDialog(double server_version, int32_t service_pack, int32_t patch,
                               const std::u16string& install_path) {
  CPortelleOperations operations;
  CPortelleDlgWin dialog(operations, server_version, service_pack, patch, install_path);
  operations.SetProgressObserver(&dialog.progress());
  uint32_t error = 0;
  if (dialog.DoModal(&error) == -1) {
    platform::ConsoleWriteError(
        NoDialogMessage(u"the dialog template cannot be run (" + ErrorText(error) + u")"));
    return 1;
  }
  return 0;
}
