#include "platform/process.h"
#include "platform/program_arguments.h"
#include "platform/text.h"

namespace platform {

std::vector<std::u16string> ProgramArguments(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(FromSystemCodePage(argv[i]));
  return arguments;
}

std::vector<std::u16string> SplitProgramCommandLine(std::u16string_view command_line) {
  std::vector<std::u16string> tokens;
  if (command_line.find_first_not_of(u" \t") == std::u16string_view::npos) return tokens;
  for (const std::string& token : SplitCommandLine(ToSystemCodePage(command_line))) {
    tokens.push_back(FromSystemCodePage(token));
  }
  return tokens;
}

}  // namespace platform
