// Error codes, their texts and the last error on Windows: the Win32 codes,
// FormatMessageW's text, and the thread's own last-error value.
#include <windows.h>

#include <string>

#include "platform/status.h"
#include "platform/text.h"

namespace platform {

const int kErrorInvalidHandle = ERROR_INVALID_HANDLE;
const int kErrorNotEnoughMemory = ERROR_NOT_ENOUGH_MEMORY;
const int kErrorInvalidParameter = ERROR_INVALID_PARAMETER;
const int kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
const int kErrorPathNotFound = ERROR_PATH_NOT_FOUND;
const int kErrorAlreadyExists = ERROR_ALREADY_EXISTS;
const int kErrorIsFolder = ERROR_ACCESS_DENIED;
const int kErrorWriteFault = ERROR_WRITE_FAULT;
const int kErrorTimeout = WAIT_TIMEOUT;
const int kErrorPipeBusy = ERROR_PIPE_BUSY;
const int kErrorPipeNameTaken = ERROR_PIPE_BUSY;
const int kErrorPipeBusyWaitExpired = ERROR_SEM_TIMEOUT;
const int kErrorBrokenPipe = ERROR_BROKEN_PIPE;
const int kErrorPipeClosing = ERROR_NO_DATA;
const int kErrorMoreData = ERROR_MORE_DATA;
const int kErrorNoSystemResources = ERROR_NO_SYSTEM_RESOURCES;

std::string SystemErrorText(int code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message;
  if (length > 0 && text != nullptr) {
    message.assign(reinterpret_cast<const char16_t*>(text), length);
    // The system's texts end with a line break (and often a full stop).
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' ||
                                message.back() == u' ' || message.back() == u'.')) {
      message.pop_back();
    }
  }
  if (text != nullptr) ::LocalFree(text);
  if (message.empty()) return "Unknown error " + std::to_string(code);
  return Utf16ToUtf8(message);
}

int GetLastError() { return static_cast<int>(::GetLastError()); }
void SetLastError(int code) { ::SetLastError(static_cast<DWORD>(code)); }

}  // namespace platform
