// Error codes, their texts and the last error on POSIX systems: errno values,
// strerror, and a per-thread last error kept the way Windows keeps its own.
#include <cerrno>
#include <cstring>

#include "platform/status.h"

namespace platform {

const int kErrorInvalidHandle = EBADF;
const int kErrorNotEnoughMemory = ENOMEM;
const int kErrorInvalidParameter = EINVAL;
const int kErrorFileNotFound = ENOENT;
const int kErrorPathNotFound = ENOTDIR;
const int kErrorAlreadyExists = EEXIST;
const int kErrorIsFolder = EISDIR;
const int kErrorWriteFault = EIO;
const int kErrorTimeout = ETIMEDOUT;
const int kErrorPipeBusy = EBUSY;
const int kErrorPipeNameTaken = EADDRINUSE;
const int kErrorPipeBusyWaitExpired = EBUSY;
const int kErrorBrokenPipe = EPIPE;
const int kErrorPipeClosing = EPIPE;
const int kErrorMoreData = EMSGSIZE;
const int kErrorNoSystemResources = ENOBUFS;

namespace {
thread_local int g_last_error = 0;
}  // namespace

std::string SystemErrorText(int code) { return std::strerror(code); }

int GetLastError() { return g_last_error; }
void SetLastError(int code) { g_last_error = code; }

}  // namespace platform
