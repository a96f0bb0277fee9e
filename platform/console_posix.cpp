#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/text.h"

namespace platform {

// The program always has the terminal or the streams it was started with.
void ConsoleOpen(bool) {}
void ConsoleClose() {}

void ConsoleWrite(std::u16string_view text) {
  const std::string bytes = Utf16ToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void ConsoleWriteError(std::u16string_view text) {
  const std::string bytes = Utf16ToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

int ConsoleReadKey(bool echo) {
  std::fflush(stdout);
  const bool terminal = ::isatty(STDIN_FILENO) == 1;
  termios saved{};
  if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  unsigned char c = 0;
  ssize_t n;
  do {
    n = ::read(STDIN_FILENO, &c, 1);
  } while (n < 0 && errno == EINTR);
  if (terminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  if (n != 1) return -1;
  if (echo) {
    std::fputc(c, stdout);
    std::fflush(stdout);
  }
  return c;
}

bool ConsoleErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace platform
