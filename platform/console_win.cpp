// The console of console mode on Windows. The program is started from a
// console (cmd), from a script that captures its streams, or from a Unix
// shell under Wine, where AttachConsole fails and an allocated console's
// output never reaches a redirected stream. Each standard stream therefore
// keeps an inherited file or pipe handle, and only a stream without one is
// moved to the console ("CONOUT$", "CONIN$").
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/text.h"

namespace platform {
namespace {

struct Stream {
  DWORD std_id;
  HANDLE handle = nullptr;   // null: the inherited standard handle
  bool opened_here = false;  // a CONOUT$ or CONIN$ handle of ours
};

Stream g_output{STD_OUTPUT_HANDLE};
Stream g_error{STD_ERROR_HANDLE};
Stream g_input{STD_INPUT_HANDLE};
bool g_console_ours = false;  // attached or allocated by ConsoleOpen

bool Usable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

HANDLE HandleOf(const Stream& stream) {
  return stream.handle != nullptr ? stream.handle : ::GetStdHandle(stream.std_id);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return Usable(handle) && ::GetConsoleMode(handle, &mode) != 0;
}

// A file, a pipe or a device such as NUL that the caller gave the stream.
bool IsRedirected(HANDLE handle) {
  return Usable(handle) && !IsConsole(handle) && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void Write(const Stream& stream, std::u16string_view text) {
  const HANDLE handle = HandleOf(stream);
  if (!Usable(handle) || text.empty()) return;
  if (IsConsole(handle)) {
    // The console takes the UTF-16 text itself, whatever its code page.
    const wchar_t* data = reinterpret_cast<const wchar_t*>(text.data());
    size_t left = text.size();
    while (left > 0) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
      if (!::WriteConsoleW(handle, data, chunk, &written, nullptr) || written == 0) return;
      data += written;
      left -= written;
    }
    return;
  }
  // A file or pipe gets UTF-8, the same bytes as on the POSIX side, so that
  // whoever reads the captured output need not know the system code page.
  const std::string bytes = Utf16ToUtf8(text);
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteFile(handle, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
      return;
    }
    data += written;
    left -= written;
  }
}

// Moves a stream without a redirected handle to the console's `device`.
void UseConsole(Stream* stream, const wchar_t* device, const char* c_device, FILE* c_stream,
                const char* c_mode) {
  if (IsRedirected(::GetStdHandle(stream->std_id))) return;
  const HANDLE handle =
      ::CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (!Usable(handle)) return;
  stream->handle = handle;
  stream->opened_here = true;
  ::SetStdHandle(stream->std_id, handle);
  // The C runtime's stream too, for whatever writes through it.
  FILE* reopened = nullptr;
  ::freopen_s(&reopened, c_device, c_mode, c_stream);
}

void Release(Stream* stream) {
  if (stream->opened_here) ::CloseHandle(stream->handle);
  stream->handle = nullptr;
  stream->opened_here = false;
}

}  // namespace

void ConsoleOpen(bool attach_to_parent) {
  // A console serves only the streams that have nowhere else to go.
  const bool needed = !IsRedirected(::GetStdHandle(STD_OUTPUT_HANDLE)) ||
                      !IsRedirected(::GetStdHandle(STD_ERROR_HANDLE)) ||
                      !IsRedirected(::GetStdHandle(STD_INPUT_HANDLE));
  if (!needed || g_console_ours) return;
  if (attach_to_parent && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    g_console_ours = true;
  } else if (::AllocConsole()) {
    g_console_ours = true;
  } else if (::GetConsoleWindow() == nullptr) {
    return;  // neither: the inherited standard handles stay as they are
  }
  UseConsole(&g_output, L"CONOUT$", "CONOUT$", stdout, "w");
  UseConsole(&g_error, L"CONOUT$", "CONOUT$", stderr, "w");
  UseConsole(&g_input, L"CONIN$", "CONIN$", stdin, "r");
}

void ConsoleClose() {
  std::fflush(stdout);
  std::fflush(stderr);
  Release(&g_output);
  Release(&g_error);
  Release(&g_input);
  if (g_console_ours) ::FreeConsole();
  g_console_ours = false;
}

void ConsoleWrite(std::u16string_view text) { Write(g_output, text); }

void ConsoleWriteError(std::u16string_view text) { Write(g_error, text); }

int ConsoleReadKey(bool echo) {
  std::fflush(stdout);
  const HANDLE input = HandleOf(g_input);
  if (!Usable(input)) return -1;
  int key = -1;
  if (IsConsole(input)) {
    // One character without waiting for Enter and without the console's
    // own echo.
    DWORD saved = 0;
    ::GetConsoleMode(input, &saved);
    ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
    wchar_t c = 0;
    DWORD read = 0;
    if (::ReadConsoleW(input, &c, 1, &read, nullptr) && read == 1) key = c;
    ::SetConsoleMode(input, saved);
  } else {
    unsigned char c = 0;
    DWORD read = 0;
    if (::ReadFile(input, &c, 1, &read, nullptr) && read == 1) key = c;
  }
  if (key >= 0 && echo) Write(g_output, std::u16string(1, static_cast<char16_t>(key)));
  return key;
}

bool ConsoleErrorIsTerminal() { return IsConsole(HandleOf(g_error)); }

}  // namespace platform
