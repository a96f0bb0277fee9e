// The outcome of an operating-system call, converted once where it arises:
// the system's error code and a text naming the operation and the file.
#ifndef PORTELLE_PLATFORM_STATUS_H_
#define PORTELLE_PLATFORM_STATUS_H_

#include <string>
#include <string_view>

namespace platform {

// The system error codes the core raises or tests for by meaning, in the
// system's own numbering: errno values on POSIX systems; on Windows
// ERROR_INVALID_HANDLE (6), ERROR_NOT_ENOUGH_MEMORY (8),
// ERROR_INVALID_PARAMETER (87), ERROR_FILE_NOT_FOUND (2),
// ERROR_PATH_NOT_FOUND (3), ERROR_ALREADY_EXISTS (183), ERROR_WRITE_FAULT
// (29) and, for a folder where a file is wanted, ERROR_ACCESS_DENIED (5, what
// Windows itself reports then; EISDIR on POSIX systems). Each system's status
// file defines them.
extern const int kErrorInvalidHandle;
extern const int kErrorNotEnoughMemory;
extern const int kErrorInvalidParameter;
extern const int kErrorFileNotFound;
extern const int kErrorPathNotFound;
extern const int kErrorAlreadyExists;
extern const int kErrorWriteFault;
extern const int kErrorIsFolder;

// The pipe and wait errors, by meaning (Windows code / POSIX errno):
// a wait or read that ran out of time (WAIT_TIMEOUT 258 / ETIMEDOUT); every
// instance of a pipe taken, for a client that does not wait
// (ERROR_PIPE_BUSY 231 / EBUSY); a pipe name held by a live server
// (ERROR_PIPE_BUSY 231 / EADDRINUSE); the wait for a busy pipe ran out
// (ERROR_SEM_TIMEOUT 121 / EBUSY); the peer has closed its end
// (ERROR_BROKEN_PIPE 109, or ERROR_NO_DATA 232 while the pipe is being
// closed / EPIPE); more data than the reader takes (ERROR_MORE_DATA 234 /
// EMSGSIZE); a write the system cannot take now
// (ERROR_NO_SYSTEM_RESOURCES 1450 / ENOBUFS).
extern const int kErrorTimeout;
extern const int kErrorPipeBusy;
extern const int kErrorPipeNameTaken;
extern const int kErrorPipeBusyWaitExpired;
extern const int kErrorBrokenPipe;
extern const int kErrorPipeClosing;
extern const int kErrorMoreData;
extern const int kErrorNoSystemResources;

// True when `code` says that the peer of a pipe has closed its end.
inline bool IsPipeClosed(int code) { return code == kErrorBrokenPipe || code == kErrorPipeClosing; }

// True when `code` says that there is no file at the path.
inline bool IsNotFound(int code) {
  return code == kErrorFileNotFound || code == kErrorPathNotFound;
}

// The system's message text for an error code (an unknown code still gets a
// text naming it).
std::string SystemErrorText(int code);

class Status {
 public:
  Status() = default;  // success

  // `code` is errno here (the system error code on Windows); it must not be 0.
  static Status Error(int code, std::string_view operation, std::u16string_view path = {});

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  // "operation 'path': system text", empty on success.
  const std::string& message() const { return message_; }

 private:
  int code_ = 0;
  std::string message_;
};

// The calling thread's last system error, as Windows' GetLastError keeps it:
// platform functions that report failure through a plain boolean or count set
// it, so that callers can log the reason.
int GetLastError();
void SetLastError(int code);

}  // namespace platform

#endif  // PORTELLE_PLATFORM_STATUS_H_
