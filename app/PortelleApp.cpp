#include "app/PortelleApp.h"

#include "app/CustomCommandLineInfo.h"
#include "app/PortelleCmdLineMode.h"
#include "app/program_version.h"
#include "app/server_info.h"
#include "platform/console.h"
#include "platform/system.h"
#include "platform/text.h"

bool CPortelleApp::InitInstance(const std::vector<std::u16string>& arguments) {
  CCustomCommandLineInfo command_line;
  ParseCommandLine(arguments, command_line);
  if (command_line.IsHelp()) {
    platform::ConsoleWrite(Usage());
    m_nExitCode = 0;
    return false;
  }
  if (command_line.IsVersion()) {
    platform::ConsoleWrite(app::VersionText(u"portelle"));
    m_nExitCode = 0;
    return false;
  }
  if (command_line.IsConsoleMode()) m_bConsoleMode = true;
  if (!m_bConsoleMode && !OpenDialogUserInterface()) {
    m_nExitCode = 1;
    return false;
  }

  // A failed discovery fails the run in either mode, so that a script that
  // starts the program sees it.
  app::ServerInfo server;
  if (!app::DiscoverServer(&server)) {
    m_nExitCode = 1;
    return false;
  }
  const double version = server.version;
  const std::u16string& install_path = server.install_path;
  const int32_t service_pack = server.service_pack;
  const int32_t patch = server.patch;

  if (!m_bConsoleMode) {
    m_nExitCode = RunDialog(version, service_pack, patch, install_path);
    return false;
  }

  // The console is opened only now: a failed discovery has shown its own
  // message and ends the run without one.
  platform::ConsoleOpen(command_line.IsAttachToParentConsole());
  CPortelleCmdLineMode mode;
  mode.m_dServerVer = version;
  mode.m_nServicePackVer = service_pack;
  mode.m_nPatchVer = patch;
  mode.m_wstrServerPath = install_path;
  mode.m_bIsImport = command_line.IsImport();
  mode.m_wstrDataFilePath = command_line.GetDataFilePath();
  m_nExitCode = mode.Run() ? 0 : 1;
  // A console of its own would close with the program: give the user time
  // to read it. Attached to the caller's console (/t), the prompt returns.
  if (!command_line.IsAttachToParentConsole()) {
    platform::ConsoleWrite(u"Press any key to exit...");
    platform::ConsoleReadKey(false);
    platform::ConsoleWrite(u"\n");
  }
  platform::ConsoleClose();
  return false;
}

std::u16string CPortelleApp::Usage() {
  std::u16string usage =
      u"Usage: portelle [/c [/t] [/e | /i] ARCHIVE]\n"
      u"       portelle /? | -h | --help\n"
      u"       portelle --version\n"
      u"\n"
      u"Carries a Bastionel server's configuration to another installation in one archive.\n"
      u"Without /c the dialog opens, with C:\\SkvaMigrate.zip as its archive path.\n"
      u"\n"
      u"  /c       console mode: export the server's settings to ARCHIVE without the dialog\n"
      u"           (\".Zip\" is added to a name without \".zip\")\n"
      u"  /t       with /c: write to the console the program was started from and end\n"
      u"           without waiting for a key (otherwise \"Press any key to exit...\")\n"
      u"  /e       export (the default); of /e and /i the later one counts\n"
      u"  /i       import: refused in console mode; portelle-import imports without the\n"
      u"           dialog\n"
      u"  /?, -h, --help  show this text\n"
      u"  --version  show the program's version\n"
      u"  ARCHIVE  the archive to write; the last one given counts\n"
      u"\n"
      u"Flags may also be written -c, -t, -e, -i. Without /c, ARCHIVE, /e and /i are not\n"
      u"used.\n"
      u"\n"
      u"Exit codes: 0 exported (console mode) or the dialog was closed; 1 the export failed\n"
      u"or was aborted, import was asked for in console mode, the server was not found or\n"
      u"is not supported, or no dialog can be shown.\n";
  const std::u16string_view environment = platform::EnvironmentUsage();
  if (!environment.empty()) usage.append(u"\n").append(environment);
  return usage;
}
