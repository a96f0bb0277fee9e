// Process-level services on Windows: CoCreateGuid, the tick count, thread
// and process ids, GetModuleFileNameW, and the product type that tells a
// server-core edition.
#include <windows.h>
// windows.h first: objbase.h needs its types.
#include <objbase.h>

#include <cstring>
#include <vector>

#include "platform/system.h"

namespace platform {

bool CreateGuid(Guid* guid) {
  GUID created;
  const HRESULT result = ::CoCreateGuid(&created);
  if (FAILED(result)) {
    ::SetLastError(static_cast<DWORD>(result));
    return false;
  }
  guid->data1 = created.Data1;
  guid->data2 = created.Data2;
  guid->data3 = created.Data3;
  std::memcpy(guid->data4, created.Data4, sizeof guid->data4);
  return true;
}

uint32_t GetTickCount() { return ::GetTickCount(); }

uint32_t GetCurrentThreadId() { return ::GetCurrentThreadId(); }

uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

bool IsProcessAlive(uint32_t process_id) {
  // 0 is the idle process, never a program.
  if (process_id == 0) return false;
  const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       static_cast<DWORD>(process_id));
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  // A process that has ended lives on as an object while handles to it are
  // open; only one whose object is not yet signalled still runs.
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

Status GetProgramPath(std::u16string* path) {
  // GetModuleFileNameW does not say how long the path is; grow until it fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return Status::Error(static_cast<int>(::GetLastError()), "GetModuleFileNameW");
    if (n < buffer.size()) {
      path->assign(reinterpret_cast<const char16_t*>(buffer.data()), n);
      return Status();
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The server is found in the registry and its pipes by name: no variables.
std::u16string_view EnvironmentUsage() { return std::u16string_view(); }

// The product type of the running system, asked of GetProductInfo with the
// version GetVersionExA gives; GetProductInfo is looked up by name, as
// systems before it lack it. Server-core editions: 12, 13, 14 (datacenter,
// standard, enterprise), 29 (web), 39, 40, 41 (the editions without
// Hyper-V).
bool IsServerCoreSystem() {
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  using GetProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
  const auto get_product_info = reinterpret_cast<GetProductInfoFunction>(
      reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "GetProductInfo")));
  if (get_product_info == nullptr) return false;
  DWORD product = 0;
  if (!get_product_info(version.dwMajorVersion, version.dwMinorVersion, version.wServicePackMajor,
                        version.wServicePackMinor, &product)) {
    return false;
  }
  switch (product) {
    case 12:
    case 13:
    case 14:
    case 29:
    case 39:
    case 40:
    case 41:
      return true;
    default:
      return false;
  }
}

}  // namespace platform
