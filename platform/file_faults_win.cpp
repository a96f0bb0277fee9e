// The error of a full disk on Windows.
#include <windows.h>

#include "platform/file_faults.h"

namespace platform {

int DiskFullError() { return ERROR_DISK_FULL; }

}  // namespace platform
