#include "app/qt/PortelleQtApp.h"

#include <QApplication>
#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/PortelleOperations.h"
#include "app/qt/PortelleDlgWindow.h"
#include "app/qt/QtUserInterface.h"
#include "platform/user_interface.h"

namespace {

constexpr char kConsoleHint[] =
    " Run \"portelle /c [/t] ARCHIVE\" to export from the console instead.\n";

void WriteError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// The display the Qt platform would open, for the messages.
std::string DisplayName() {
  for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
    if (!qEnvironmentVariableIsEmpty(name)) {
      return std::string(name) + "=" + qgetenv(name).toStdString();
    }
  }
  return {};
}

QtMessageHandler g_previous_handler = nullptr;

// Installed while the Qt application opens the display. Qt ends the process
// when no platform can be opened; this ends it first, with a message that
// says what to do, instead of Qt's abort. Qt's other messages pass on.
void ExitWhenTheDisplayFails(QtMsgType type, const QMessageLogContext& context,
                             const QString& message) {
  if (type != QtFatalMsg) {
    if (g_previous_handler != nullptr) g_previous_handler(type, context, message);
    return;
  }
  WriteError("Portelle: the dialog cannot be shown: the display (" + DisplayName() +
             ") cannot be opened." + kConsoleHint);
  std::_Exit(1);
}

}  // namespace

CPortelleQtApp::CPortelleQtApp() = default;

CPortelleQtApp::~CPortelleQtApp() = default;

bool CPortelleQtApp::OpenDialogUserInterface() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    WriteError(std::string("Portelle: the dialog cannot be shown: there is no display "
                           "(DISPLAY and WAYLAND_DISPLAY are not set).") +
               kConsoleHint);
    return false;
  }
  g_previous_handler = qInstallMessageHandler(ExitWhenTheDisplayFails);
  m_application = std::make_unique<QApplication>(m_argc, m_argv);
  qInstallMessageHandler(g_previous_handler);
  QApplication::setWindowIcon(CPortelleDlgWindow::ApplicationIcon());
  m_ui = std::make_unique<CQtUserInterface>();
  m_installed_ui = std::make_unique<platform::ScopedUserInterface>(m_ui.get());
  return true;
}

int CPortelleQtApp::RunDialog(double server_version, int32_t service_pack, int32_t patch,
                              const std::u16string& install_path) {
  CPortelleOperations operations;
  CPortelleDlgWindow window(operations, server_version, service_pack, patch, install_path);
  operations.SetProgressObserver(&window.progress());
  window.exec();
  return 0;
}
