#include "platform/program_arguments.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace platform {

std::vector<std::u16string> SplitProgramCommandLine(std::u16string_view command_line) {
  // CommandLineToArgvW takes a terminated string and, given an empty one,
  // returns the running program's path: an empty line has no tokens.
  const std::u16string terminated(command_line);
  if (terminated.find_first_not_of(u" \t") == std::u16string::npos) return {};
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(reinterpret_cast<const wchar_t*>(terminated.c_str()), &count);
  std::vector<std::u16string> tokens;
  if (argv == nullptr) return tokens;
  for (int i = 0; i < count; ++i) tokens.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  LocalFree(argv);
  return tokens;
}

std::vector<std::u16string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  const wchar_t* line = GetCommandLineW();
  std::vector<std::u16string> tokens =
      SplitProgramCommandLine(line == nullptr ? u"" : reinterpret_cast<const char16_t*>(line));
  if (!tokens.empty()) tokens.erase(tokens.begin());
  return tokens;
}

}  // namespace platform
