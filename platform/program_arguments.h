// The program's command-line arguments as wide text. On Windows they are
// taken from the wide command line of the process, so that characters
// outside the system code page survive; elsewhere from argv, converted from
// the system code page.
#ifndef PORTELLE_PLATFORM_PROGRAM_ARGUMENTS_H_
#define PORTELLE_PLATFORM_PROGRAM_ARGUMENTS_H_

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The arguments after the program name. `argc` and `argv` are main's; on
// Windows they are not looked at (the narrow argv has lost what the code
// page cannot hold), and an entry point without them may pass 0 and nullptr.
std::vector<std::u16string> ProgramArguments(int argc, char** argv);

// Splits a whole command line the way the system builds a program's
// arguments from it; the first element is the program name. Windows: the
// shell's own splitting (CommandLineToArgvW); elsewhere the rules of
// SplitCommandLine (platform/process.h).
std::vector<std::u16string> SplitProgramCommandLine(std::u16string_view command_line);

}  // namespace platform

#endif  // PORTELLE_PLATFORM_PROGRAM_ARGUMENTS_H_
