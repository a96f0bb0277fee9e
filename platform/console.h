// The console of console mode: the terminal (or the streams) the program was
// started from. On Windows ConsoleOpen attaches to the parent's console or
// allocates one; on POSIX systems the program always has its streams, so
// only the final key wait depends on the caller.
#ifndef PORTELLE_PLATFORM_CONSOLE_H_
#define PORTELLE_PLATFORM_CONSOLE_H_

#include <string_view>

namespace platform {

// Opens the console for console mode. On Windows: with `attach_to_parent`
// the console of the parent process, else (or when that fails) a console of
// its own. A standard stream redirected to a file or a pipe stays where it
// is, so that a caller that captures the output gets it; the others are
// written through "CONOUT$" and read through "CONIN$". When no console can
// be had, the inherited standard handles are used as they are. Nothing to do
// on POSIX systems.
void ConsoleOpen(bool attach_to_parent);
// Closes what ConsoleOpen opened and frees the console.
void ConsoleClose();

// Writes text to standard output (UTF-8; on Windows a console gets the
// UTF-16 text itself) and flushes it.
void ConsoleWrite(std::u16string_view text);
// Writes text to standard error (as ConsoleWrite): failures and warnings, so
// that a script reading standard output sees only the results.
void ConsoleWriteError(std::u16string_view text);

// Reads one key. From a terminal the key is read in raw mode, without
// waiting for Enter, echoed when `echo` is set; otherwise one byte is read
// from standard input. Returns the character, or -1 at the end of the input
// (which counts as a key).
int ConsoleReadKey(bool echo);

// True when standard error is a terminal or console (not a pipe or a file): only then is
// a progress line, rewritten in place, written there.
bool ConsoleErrorIsTerminal();

}  // namespace platform

#endif  // PORTELLE_PLATFORM_CONSOLE_H_
