// Starting another program from a Windows-style command line and waiting for
// it, as CreateProcess and WaitForSingleObject do on Windows.
//
// The command line is narrow text in the system code page. Its first token
// names the program and the rest are the arguments, split by the Windows
// rules (SplitCommandLine). A program named without a folder is searched for
// in ProgramSearchFolders(): the running program's folder, the current
// folder, then each folder of PATH. In each folder, on POSIX systems, the
// name as given and, when it ends in ".exe", the name without that ending
// ("SvcCfgRunner.exe", then "SvcCfgRunner"); on Windows the name as given,
// with ".exe" added when it has no extension, as CreateProcess does. A name
// with a folder is taken relative to the current folder, with the same
// spellings. The child gets the caller's environment and current folder and
// inherits no open file. On POSIX systems it has no console of its own: its
// standard streams are the null device, as a hidden window's are. On Windows
// it gets a new console whose window is hidden, and the command line reaches
// it exactly as given (GetCommandLineW).
//
//   platform::Process process;
//   if (!process.Start("SvcCfgRunner.exe -x \"a b\" 1").ok()) ...
//   process.Wait();
#ifndef PORTELLE_PLATFORM_PROCESS_H_
#define PORTELLE_PLATFORM_PROCESS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

// Splits `command_line` into the program name and the arguments, the way the
// Windows C runtime builds argv:
//   - the program name ends at the first blank (space or tab) outside double
//     quotes; its quotes are removed and backslashes are plain characters;
//   - arguments are separated by runs of blanks outside double quotes; a
//     double quote toggles quoting and is removed; inside quotes, two double
//     quotes give one literal double quote;
//   - 2n backslashes before a double quote give n backslashes and the quote
//     acts as above; 2n + 1 backslashes give n backslashes and a literal
//     double quote; backslashes before anything else are kept as they are.
// The first element is the program name (possibly empty).
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// The folders a program named without a folder is looked for in, in order:
// the running program's folder, the current folder, then the folders of PATH
// (an empty PATH entry is the current folder). Native paths.
std::vector<std::string> ProgramSearchFolders();

// The native path of the program `name` (as written in a command line) found
// in `folders`, or relative to the current folder when `name` holds a
// folder. kErrorFileNotFound when no executable regular file matches.
Status FindProgram(std::string_view name, const std::vector<std::string>& folders,
                   std::string* path);

// Makes the program search use `folders` instead of ProgramSearchFolders()
// for the lifetime of this object, so that tests decide what can be found.
class ScopedProgramSearchFoldersForTesting {
 public:
  explicit ScopedProgramSearchFoldersForTesting(std::vector<std::string> folders);
  ~ScopedProgramSearchFoldersForTesting();
  ScopedProgramSearchFoldersForTesting(const ScopedProgramSearchFoldersForTesting&) = delete;
  ScopedProgramSearchFoldersForTesting& operator=(const ScopedProgramSearchFoldersForTesting&) =
      delete;

 private:
  std::vector<std::string> previous_;
  bool had_previous_;
};

// One started program.
class Process {
 public:
  Process() = default;
  // A program that was started and not waited for is left running.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts the program `command_line` names (see above). Fails with the
  // system error (kErrorFileNotFound when the program cannot be found,
  // kErrorInvalidParameter for a command line without a program name);
  // GetLastError() holds it as well.
  Status Start(std::string_view command_line);

  // Waits, without a time limit, for the program to end. *exit_code (when
  // given) receives its exit status, or 128 + the signal that ended it.
  // kErrorNoProcess when no program was started.
  Status Wait(int* exit_code = nullptr);

  bool started() const { return child_ != 0; }

 private:
  // The started program: its process id on POSIX systems, its process
  // handle on Windows; 0 when there is none.
  intptr_t child_ = 0;
};

// The error of waiting without a started program: ECHILD, or
// ERROR_INVALID_HANDLE on Windows.
extern const int kErrorNoProcess;

}  // namespace platform

#endif  // PORTELLE_PLATFORM_PROCESS_H_
