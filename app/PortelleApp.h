// CPortelleApp: the program's entry object. InitInstance parses the command
// line, discovers the installed server and runs exactly one mode — the main
// dialog, or the console export with /c — and then the program ends with
// ExitInstance's exit code. Asked for help (/?, -h, --help), it prints the
// usage text instead and ends with exit code 0, before discovery; asked for
// --version (and not for help), the same with the version line.
#ifndef PORTELLE_APP_PORTELLEAPP_H_
#define PORTELLE_APP_PORTELLEAPP_H_

#include <cstdint>
#include <string>
#include <vector>

class CPortelleApp {
 public:
  CPortelleApp() = default;
  virtual ~CPortelleApp() = default;

  // Runs the chosen mode. Returns false in every case: there is no message
  // loop of the application's own.
  bool InitInstance(const std::vector<std::u16string>& arguments);

  // The process exit code: in console mode 0 for success and 1 for failure;
  // 1 in either mode when discovery or the zip-library check failed; in
  // dialog mode otherwise what the dialog mode gave.
  int ExitInstance() const { return m_nExitCode; }

  bool IsConsoleMode() const { return m_bConsoleMode; }

  // What /?, -h and --help print on standard output: every flag, the exit
  // codes and, where the platform has them, the environment variables.
  static std::u16string Usage();

 protected:
  // Dialog mode, before discovery: opens the user interface the dialog and
  // its message boxes appear in, so that discovery's messages appear there
  // too. False when no dialog can be shown; the run then ends with exit
  // code 1 (the implementation has said why).
  virtual bool OpenDialogUserInterface() { return true; }

  // Dialog mode: shows the main dialog for the discovered server and returns
  // the exit code.
  virtual int RunDialog(double server_version, int32_t service_pack, int32_t patch,
                        const std::u16string& install_path) = 0;

 private:
  bool m_bConsoleMode = false;
  int m_nExitCode = 0;
};

#endif  // PORTELLE_APP_PORTELLEAPP_H_
