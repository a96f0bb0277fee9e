// The error of a full disk on POSIX systems.
#include <cerrno>

#include "platform/file_faults.h"

namespace platform {

int DiskFullError() { return ENOSPC; }

}  // namespace platform
