// The console of console mode: the terminal (or the streams) the program was
// started from. Windows attaches to the parent's console or allocates one;
// here the program always has its streams, so only the final key wait
// depends on the caller.
#ifndef PORTELLE_PLATFORM_CONSOLE_H_
#define PORTELLE_PLATFORM_CONSOLE_H_

#include <string_view>

namespace platform {

// Writes text to standard output (UTF-8) and flushes it.
void ConsoleWrite(std::u16string_view text);
// Writes text to standard error (UTF-8): failures and warnings, so that a
// script reading standard output sees only the results.
void ConsoleWriteError(std::u16string_view text);

// Reads one key. From a terminal the key is read in raw mode, without
// waiting for Enter, echoed when `echo` is set; otherwise one byte is read
// from standard input. Returns the character, or -1 at the end of the input
// (which counts as a key).
int ConsoleReadKey(bool echo);

// True when standard error is a terminal (not a pipe or a file): only then is
// a progress line, rewritten in place, written there.
bool ConsoleErrorIsTerminal();

}  // namespace platform

#endif  // PORTELLE_PLATFORM_CONSOLE_H_
