// A program that tests start to see what reaches it: it writes the command
// line it was given (GetCommandLineW) as UTF-16LE to command_line.txt in its
// current folder, then ends with exit code 7.
#include <windows.h>

int main() {
  const wchar_t* line = ::GetCommandLineW();
  const HANDLE file = ::CreateFileW(L"command_line.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  const DWORD bytes = static_cast<DWORD>(::lstrlenW(line) * sizeof(wchar_t));
  DWORD written = 0;
  const bool ok = ::WriteFile(file, line, bytes, &written, nullptr) && written == bytes;
  ::CloseHandle(file);
  return ok ? 7 : 3;
}
