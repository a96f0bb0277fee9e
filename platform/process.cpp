// The Windows rules for splitting a command line, the same on every system.
#include "platform/process.h"

#include <utility>

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> words;
  size_t p = 0;
  const size_t end = command_line.size();

  // The program name: quotes only group, backslashes are plain.
  std::string program;
  bool quoted = false;
  for (; p < end && (quoted || !IsBlank(command_line[p])); ++p) {
    if (command_line[p] == '"') {
      quoted = !quoted;
    } else {
      program += command_line[p];
    }
  }
  words.push_back(std::move(program));

  for (;;) {
    while (p < end && IsBlank(command_line[p])) ++p;
    if (p >= end) break;
    std::string word;
    quoted = false;
    while (p < end) {
      size_t backslashes = 0;
      while (p < end && command_line[p] == '\\') {
        ++backslashes;
        ++p;
      }
      if (p < end && command_line[p] == '"') {
        word.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          word += '"';
        } else if (quoted && p + 1 < end && command_line[p + 1] == '"') {
          word += '"';
          ++p;
        } else {
          quoted = !quoted;
        }
        ++p;
        continue;
      }
      word.append(backslashes, '\\');
      if (p >= end || (!quoted && IsBlank(command_line[p]))) break;
      word += command_line[p++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace platform
