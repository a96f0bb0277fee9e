// The file layer on Windows: the wide Win32 file calls. The file system
// ignores letter case and takes '/' as well as '\', so a name needs no
// resolving beyond its separators. Times are FILETIMEs (100 ns since 1601)
// converted to nanoseconds since 1970; errors are the Win32 codes.
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>
// <windows.h> turns these into macros of the ...W functions, which would
// rename our own.
#undef CopyFile
#undef MoveFile
#undef DeleteFile
#undef CreateFile
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef GetFileAttributes

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_faults.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr size_t kCopyChunk = 64 * 1024;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// 100 ns units from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000;
// A protected access list that grants the file's owner full access and
// nobody else anything.
constexpr wchar_t kOwnerOnlyDescriptor[] = L"D:P(A;;FA;;;OW)";

HANDLE ToHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

// The name as the wide calls take it: '/' becomes '\'.
std::wstring Wide(std::u16string_view name) {
  std::wstring wide(name.begin(), name.end());
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

std::u16string ToU16(const std::wstring& wide) { return std::u16string(wide.begin(), wide.end()); }

std::string Narrow(const std::wstring& wide) { return ToSystemCodePage(ToU16(wide)); }

// ERROR_FILE_EXISTS (CreateFile, CopyFile) and ERROR_ALREADY_EXISTS
// (CreateDirectory, MoveFileEx) say the same; callers test for the latter.
int Normalized(DWORD code) {
  return code == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : static_cast<int>(code);
}

Status Error(DWORD code, std::string_view operation, std::u16string_view name) {
  return Status::Error(Normalized(code), operation, name);
}

Status LastError(std::string_view operation, std::u16string_view name) {
  return Error(::GetLastError(), operation, name);
}

Status LastError(std::string_view operation, const std::wstring& name) {
  return Error(::GetLastError(), operation, ToU16(name));
}

// An injected failure of the tests' fault plan: sets the last error and
// returns true.
bool Injected(int code) {
  if (code == 0) return false;
  ::SetLastError(static_cast<DWORD>(code));
  return true;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool Exists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolderAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// True when `path` itself is a reparse point that leads elsewhere: a
// symbolic link or a junction (a mount point). Other reparse points (cloud
// placeholders, deduplicated files) are the files themselves.
bool IsLink(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return false;
  }
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return true;  // a reparse point we cannot look into
  ::FindClose(find);
  return data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
         data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
}

// The owner-only list as SDDL: full access for the owner (OW), and the same
// for the user this process runs as, named by its SID. The user is the
// owner of what it creates, except where Windows makes the Administrators
// group the owner; and Wine, which turns the list into Unix permission bits,
// knows the user but not the owner-rights SID: with OW alone it leaves the
// file with no permissions at all, not even for the process that made it.
const std::wstring& OwnerOnlyDescriptor() {
  static const std::wstring descriptor = [] {
    std::wstring text = kOwnerOnlyDescriptor;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return text;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    wchar_t* sid = nullptr;
    if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      text += L"(A;;FA;;;";
      text += sid;
      text += L")";
      ::LocalFree(sid);
    }
    ::CloseHandle(token);
    return text;
  }();
  return descriptor;
}

// The owner-only security descriptor, freed with the object.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            OwnerOnlyDescriptor().c_str(), SDDL_REVISION_1, &descriptor_, nullptr)) {
      error_ = ::GetLastError();
      descriptor_ = nullptr;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  ~OwnerOnlySecurity() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  }
  OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
  OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

  bool ok() const { return descriptor_ != nullptr; }
  DWORD error() const { return error_; }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

  // Puts the owner-only list on an open file (opened with WRITE_DAC).
  DWORD ApplyTo(HANDLE file) const {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted)) {
      return ::GetLastError();
    }
    return ::SetSecurityInfo(file, SE_FILE_OBJECT,
                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, dacl, nullptr);
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {};
  DWORD error_ = 0;
};

// CreateFileW for writing, unless the fault plan fails the creation. With
// Access::kOwnerOnly a created file gets the owner-only list.
HANDLE OpenForWriting(const std::wstring& path, DWORD access, DWORD disposition,
                      Access file_access) {
  if (FileFaults* faults = internal::g_file_faults;
      faults != nullptr && Injected(faults->BeforeCreate(Narrow(path)))) {
    return INVALID_HANDLE_VALUE;
  }
  if (file_access != Access::kOwnerOnly) {
    return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  OwnerOnlySecurity security;
  if (!security.ok()) {
    ::SetLastError(security.error());
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateFileW(path.c_str(), access, kShareAll, security.attributes(), disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// MoveFileExW, unless the fault plan fails the rename. The write-through
// flag returns only when the rename is on the disk.
bool Rename(const std::wstring& from, const std::wstring& to, bool replace_existing) {
  if (FileFaults* faults = internal::g_file_faults;
      faults != nullptr && Injected(faults->BeforeRename(Narrow(to)))) {
    return false;
  }
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  if (replace_existing) flags |= MOVEFILE_REPLACE_EXISTING;
  return ::MoveFileExW(from.c_str(), to.c_str(), flags) != 0;
}

Status WriteAll(HANDLE handle, const char* data, size_t size, const std::wstring& path) {
  if (FileFaults* faults = internal::g_file_faults;
      faults != nullptr && Injected(faults->BeforeWrite(Narrow(path), size))) {
    return LastError("write", path);
  }
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr)) return LastError("write", path);
    if (written == 0) return Error(ERROR_WRITE_FAULT, "write", ToU16(path));
    data += written;
    size -= written;
  }
  return Status();
}

FILETIME ToFileTime(int64_t ns) {
  // Floor division, so that times before 1970 land in the right tick.
  int64_t ticks = ns / 100;
  if (ns % 100 < 0) --ticks;
  const uint64_t value = static_cast<uint64_t>(ticks + kEpochDifference);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

int64_t FromFileTime(const FILETIME& time) {
  const uint64_t value = static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  return (static_cast<int64_t>(value) - kEpochDifference) * 100;
}

void FillInfo(const BY_HANDLE_FILE_INFORMATION& data, FileInfo* info) {
  info->is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  info->modified_ns = FromFileTime(data.ftLastWriteTime);
  info->device = data.dwVolumeSerialNumber;
  info->inode = static_cast<uint64_t>(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
}

Status InfoOfHandle(HANDLE handle, const std::wstring& path, FileInfo* info) {
  BY_HANDLE_FILE_INFORMATION data;
  if (!::GetFileInformationByHandle(handle, &data)) return LastError("stat", path);
  FillInfo(data, info);
  return Status();
}

// Opens a file or folder for its information and times only (backup
// semantics let folders open too); links are followed.
HANDLE OpenForAttributes(const std::wstring& path, DWORD access) {
  return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring TempSiblingName(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = target.find_last_of(L"\\:");
  const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  const std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
  return folder + L"." + base + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
         std::to_wstring(counter.fetch_add(1)) + L".tmp";
}

// Creates a fresh sibling of `target` for writing. CREATE_NEW makes it a new
// file of its own: a link planted under the name fails the attempt rather
// than being followed.
HANDLE CreateSibling(const std::wstring& target, std::wstring* temp, Access access) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = TempSiblingName(target);
    const HANDLE handle = OpenForWriting(*temp, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES | WRITE_DAC,
                                         CREATE_NEW, access);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

// Gives the new version `handle` the access list of the file it replaces,
// as the rename would otherwise leave it with the folder's inherited one. A
// link at the name lends nothing; a list that cannot be read is no error
// (the new version keeps the folder's).
Status KeepAccessList(const std::wstring& target, HANDLE handle, const std::wstring& temp) {
  const DWORD attributes = Attributes(target);
  if (attributes == INVALID_FILE_ATTRIBUTES || IsFolderAttributes(attributes) || IsLink(target)) {
    return Status();
  }
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return Status();
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION);
  const DWORD result =
      ::SetSecurityInfo(handle, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
  ::LocalFree(descriptor);
  if (result != ERROR_SUCCESS) return Error(result, "set access list", ToU16(temp));
  return Status();
}

// Writes `bytes` (or the content of `source`) into a sibling and renames it
// over `target`. The sibling gets the owner-only list, or the list of the
// file it replaces when `keep_access` is set. `written`, when given,
// receives the sibling's information once its content and times are final;
// the rename keeps both, and the file index with them.
Status ReplaceWith(const std::wstring& target, std::string_view bytes, HANDLE source, Access access,
                   bool keep_access, const FILETIME* accessed, const FILETIME* modified,
                   FileInfo* written) {
  std::wstring temp;
  const HANDLE handle = CreateSibling(target, &temp, access);
  if (handle == INVALID_HANDLE_VALUE) return LastError("create", target);
  Status status;
  if (access != Access::kOwnerOnly && keep_access) status = KeepAccessList(target, handle, temp);
  if (status.ok() && source != INVALID_HANDLE_VALUE) {
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
      DWORD n = 0;
      if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
        status = LastError("read", target);
        break;
      }
      if (n == 0) break;
      status = WriteAll(handle, buffer.data(), n, temp);
      if (!status.ok()) break;
    }
  } else if (status.ok()) {
    status = WriteAll(handle, bytes.data(), bytes.size(), temp);
  }
  if (status.ok() && (accessed != nullptr || modified != nullptr) &&
      !::SetFileTime(handle, nullptr, accessed, modified)) {
    status = LastError("set times", temp);
  }
  if (status.ok() && written != nullptr) status = InfoOfHandle(handle, temp, written);
  if (!::CloseHandle(handle) && status.ok()) status = LastError("close", temp);
  if (status.ok() && !Rename(temp, target, true)) status = LastError("rename", target);
  if (!status.ok()) ::DeleteFileW(temp.c_str());
  return status;
}

// The on-disk spelling of the longest existing head of a full path, with
// the rest as given.
std::wstring SpeltAsOnDisk(const std::wstring& full) {
  std::wstring head = full;
  std::wstring rest;
  while (!head.empty()) {
    const DWORD size = ::GetLongPathNameW(head.c_str(), nullptr, 0);
    if (size > 0) {
      std::wstring long_path(size, L'\0');
      const DWORD length = ::GetLongPathNameW(head.c_str(), long_path.data(), size);
      if (length > 0 && length < size) {
        long_path.resize(length);
        return long_path + rest;
      }
    }
    const size_t slash = head.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash + 1 >= head.size()) break;
    rest = head.substr(slash) + rest;
    head.resize(slash);
    if (!head.empty() && head.back() == L':') break;  // the drive itself
  }
  return full;
}

}  // namespace

const char16_t kPathSeparator = u'\\';

std::string NativePath(std::u16string_view name) { return Narrow(Wide(name)); }

std::string NativePath(std::string_view name) {
  std::string path(name);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::u16string NativeWidePath(std::u16string_view name) { return ToU16(Wide(name)); }

bool PathExists(std::u16string_view name, int* error) {
  if (Exists(Wide(name))) return true;
  if (error != nullptr) *error = static_cast<int>(::GetLastError());
  return false;
}

bool PathExists(std::string_view name, int* error) {
  return PathExists(FromSystemCodePage(name), error);
}

Status GetNativeFileInfo(std::u16string_view native_wide_path, FileInfo* info) {
  const std::wstring path = Wide(native_wide_path);
  const HANDLE handle = OpenForAttributes(path, 0);
  if (handle == INVALID_HANDLE_VALUE) return LastError("stat", path);
  const Status status = InfoOfHandle(handle, path, info);
  ::CloseHandle(handle);
  return status;
}

Status GetNativeFileInfo(const std::string& native_path, FileInfo* info) {
  return GetNativeFileInfo(FromSystemCodePage(native_path), info);
}

Status GetFileInfo(std::u16string_view name, FileInfo* info) {
  return GetNativeFileInfo(name, info);
}

Status ReadNativeFile(std::u16string_view native_wide_path, std::string* bytes) {
  bytes->clear();
  const std::wstring path = Wide(native_wide_path);
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // A folder does not open as a file: say which reason it is.
    if (IsFolderAttributes(Attributes(path))) return Error(kErrorIsFolder, "read", ToU16(path));
    return Error(error, "open", ToU16(path));
  }
  LARGE_INTEGER size;
  if (::GetFileSizeEx(handle, &size) && size.QuadPart > 0) {
    bytes->reserve(static_cast<size_t>(size.QuadPart));
  }
  std::vector<char> buffer(kCopyChunk);
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
      const Status status = LastError("read", path);
      ::CloseHandle(handle);
      return status;
    }
    if (n == 0) break;
    bytes->append(buffer.data(), n);
  }
  ::CloseHandle(handle);
  return Status();
}

Status ReadNativeFile(const std::string& native_path, std::string* bytes) {
  return ReadNativeFile(FromSystemCodePage(native_path), bytes);
}

Status ReadFile(std::u16string_view name, std::string* bytes) {
  return ReadNativeFile(name, bytes);
}

Status WriteFileAtomically(std::u16string_view name, std::string_view bytes, FileInfo* written,
                           Access access) {
  return ReplaceWith(Wide(name), bytes, INVALID_HANDLE_VALUE, access, true, nullptr, nullptr,
                     written);
}

bool IsSymbolicLink(std::u16string_view name) { return IsLink(Wide(name)); }

bool HasLinkBelow(std::string_view folder, std::string_view relative) {
  std::wstring path = Wide(FromSystemCodePage(folder));
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  const std::wstring rest = Wide(FromSystemCodePage(relative));
  for (size_t start = 0; start < rest.size();) {
    size_t slash = rest.find(L'\\', start);
    if (slash == std::wstring::npos) slash = rest.size();
    const std::wstring component = rest.substr(start, slash - start);
    start = slash + 1;
    if (component.empty() || component == L".") continue;
    path += component;
    if (!Exists(path)) return false;
    if (IsLink(path)) return true;
    path += L'\\';
  }
  return false;
}

Status CopyFile(std::u16string_view from, std::u16string_view to, bool fail_if_exists) {
  const std::wstring source = Wide(from);
  const std::wstring target = Wide(to);
  const HANDLE handle = ::CreateFileW(source.c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (IsFolderAttributes(Attributes(source))) return Error(kErrorIsFolder, "copy", from);
    return Error(error, "open", from);
  }
  if (fail_if_exists && Exists(target)) {
    ::CloseHandle(handle);
    return Error(ERROR_ALREADY_EXISTS, "copy", to);
  }
  FILETIME accessed;
  FILETIME modified;
  if (!::GetFileTime(handle, nullptr, &accessed, &modified)) {
    const Status status = LastError("copy", from);
    ::CloseHandle(handle);
    return status;
  }
  // The copy keeps the source's times; its access list is the one the
  // target had (or the folder's), as CopyFile gives it too.
  const Status status =
      ReplaceWith(target, {}, handle, Access::kDefault, true, &accessed, &modified, nullptr);
  ::CloseHandle(handle);
  return status;
}

Status MoveFile(std::u16string_view from, std::u16string_view to, bool replace_existing) {
  const std::wstring source = Wide(from);
  const std::wstring target = Wide(to);
  if (!Exists(source)) return LastError("move", from);
  if (!replace_existing && Exists(target)) return Error(ERROR_ALREADY_EXISTS, "move", to);
  if (FileFaults* faults = internal::g_file_faults;
      faults != nullptr && Injected(faults->BeforeRename(Narrow(target)))) {
    return LastError("move", to);
  }
  // Across volumes a file is copied and the source deleted (folders cannot
  // be, and fail).
  DWORD flags = MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
  if (replace_existing) flags |= MOVEFILE_REPLACE_EXISTING;
  if (!::MoveFileExW(source.c_str(), target.c_str(), flags)) return LastError("move", to);
  return Status();
}

Status DeleteFile(std::u16string_view name) {
  const std::wstring path = Wide(name);
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError("delete", name);
  // A link to a folder is removed as the folder entry it is.
  if (IsFolderAttributes(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return Error(kErrorIsFolder, "delete", name);
  }
  const bool removed = IsFolderAttributes(attributes) ? ::RemoveDirectoryW(path.c_str()) != 0
                                                      : ::DeleteFileW(path.c_str()) != 0;
  if (!removed) return LastError("delete", name);
  return Status();
}

Status CreateFolder(std::u16string_view name) {
  if (!::CreateDirectoryW(Wide(name).c_str(), nullptr)) return LastError("create folder", name);
  return Status();
}

Status RemoveFolder(std::u16string_view name) {
  if (!::RemoveDirectoryW(Wide(name).c_str())) return LastError("remove folder", name);
  return Status();
}

Status ListFolder(std::u16string_view name, std::vector<FolderEntry>* entries) {
  entries->clear();
  std::wstring pattern = Wide(name);
  if (pattern.empty()) pattern = L".";
  if (pattern.back() != L'\\' && pattern.back() != L':') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // An existing empty folder has no entries (not even "." at a root).
    if (error == ERROR_FILE_NOT_FOUND && IsFolderAttributes(Attributes(Wide(name)))) {
      return Status();
    }
    return Error(error, "list", name);
  }
  do {
    const std::wstring entry_name = data.cFileName;
    if (entry_name == L"." || entry_name == L"..") continue;
    FolderEntry entry;
    entry.name = ToU16(entry_name);
    entry.is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries->push_back(std::move(entry));
  } while (::FindNextFileW(find, &data));
  const DWORD error = ::GetLastError();
  ::FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return Error(error, "list", name);
  std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
    const std::u16string fa = FoldCaseCopy(a.name);
    const std::u16string fb = FoldCaseCopy(b.name);
    return fa != fb ? fa < fb : a.name < b.name;
  });
  return Status();
}

Status GetCurrentFolder(std::u16string* folder) {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return LastError("current folder", u"");
  std::wstring buffer(size, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(size, buffer.data());
  if (length == 0 || length >= size) return LastError("current folder", u"");
  buffer.resize(length);
  *folder = ToU16(buffer);
  return Status();
}

Status SetCurrentFolder(std::u16string_view name) {
  if (!::SetCurrentDirectoryW(Wide(name).c_str())) return LastError("change folder", name);
  return Status();
}

Status GetFullPath(std::u16string_view name, std::u16string* full_path) {
  const std::wstring path = Wide(name);
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return LastError("full path", name);
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return LastError("full path", name);
  full.resize(length);
  *full_path = ToU16(SpeltAsOnDisk(full));
  return Status();
}

Status SetFileTimes(std::u16string_view name, int64_t accessed_ns, int64_t modified_ns) {
  const std::wstring path = Wide(name);
  const HANDLE handle = OpenForAttributes(path, FILE_WRITE_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return LastError("set times", name);
  const FILETIME accessed = ToFileTime(accessed_ns);
  const FILETIME modified = ToFileTime(modified_ns);
  Status status;
  if (!::SetFileTime(handle, nullptr, &accessed, &modified)) status = LastError("set times", name);
  ::CloseHandle(handle);
  return status;
}

Status File::Open(std::u16string_view name, Mode mode, Access access) {
  Close();
  const std::wstring path = Wide(name);
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (mode == Mode::kRead) {
    handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    // A writer never follows a link at the name: it would write wherever
    // the link points.
    if (IsLink(path)) {
      return Error(mode == Mode::kCreateNew ? ERROR_ALREADY_EXISTS : ERROR_CANT_RESOLVE_FILENAME,
                   "open", name);
    }
    DWORD rights = FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES;
    DWORD disposition = CREATE_ALWAYS;
    switch (mode) {
      case Mode::kRead:
        break;
      case Mode::kCreateAlways:
        rights |= GENERIC_WRITE;
        break;
      case Mode::kCreateNew:
        rights |= GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
      case Mode::kAppend:
        rights |= FILE_APPEND_DATA;
        disposition = OPEN_ALWAYS;
        break;
    }
    if (access == Access::kOwnerOnly) rights |= WRITE_DAC;
    handle = OpenForWriting(path, rights, disposition, access);
    // An existing file opened for its secrets becomes owner-only as well:
    // CREATE_ALWAYS and OPEN_ALWAYS keep an existing file's list.
    if (handle != INVALID_HANDLE_VALUE && access == Access::kOwnerOnly &&
        ::GetLastError() == ERROR_ALREADY_EXISTS) {
      OwnerOnlySecurity security;
      const DWORD error = security.ok() ? security.ApplyTo(handle) : security.error();
      if (error != ERROR_SUCCESS) {
        ::CloseHandle(handle);
        return Error(error, "set access list", name);
      }
    }
  }
  if (handle == INVALID_HANDLE_VALUE) {
    // The reason first: looking at the name sets another last error.
    const DWORD error = ::GetLastError();
    if (IsFolderAttributes(Attributes(path))) return Error(kErrorIsFolder, "open", name);
    return Error(error, "open", name);
  }
  if (mode == Mode::kAppend) {
    LARGE_INTEGER zero = {};
    ::SetFilePointerEx(handle, zero, nullptr, FILE_END);
  }
  handle_ = FromHandle(handle);
  name_ = name;
  return Status();
}

Status File::Read(void* buffer, size_t size, size_t* read) {
  *read = 0;
  if (handle_ == kNoHandle) return Error(ERROR_INVALID_HANDLE, "read", name_);
  DWORD n = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  if (!::ReadFile(ToHandle(handle_), buffer, chunk, &n, nullptr)) return LastError("read", name_);
  *read = n;
  return Status();
}

Status File::Write(const void* data, size_t size) {
  if (handle_ == kNoHandle) return Error(ERROR_INVALID_HANDLE, "write", name_);
  return WriteAll(ToHandle(handle_), static_cast<const char*>(data), size, Wide(name_));
}

Status File::Seek(int64_t offset, Origin origin, int64_t* position) {
  if (handle_ == kNoHandle) return Error(ERROR_INVALID_HANDLE, "seek", name_);
  const DWORD method = origin == Origin::kBegin     ? FILE_BEGIN
                       : origin == Origin::kCurrent ? FILE_CURRENT
                                                    : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER moved;
  if (!::SetFilePointerEx(ToHandle(handle_), distance, &moved, method)) {
    return LastError("seek", name_);
  }
  if (position != nullptr) *position = moved.QuadPart;
  return Status();
}

Status File::Flush() {
  if (handle_ == kNoHandle) return Error(ERROR_INVALID_HANDLE, "flush", name_);
  return Status();  // writes go straight to the system; nothing is buffered here
}

Status File::SetTimes(int64_t accessed_ns, int64_t modified_ns) {
  if (handle_ == kNoHandle) return Error(ERROR_INVALID_HANDLE, "set times", name_);
  const FILETIME accessed = ToFileTime(accessed_ns);
  const FILETIME modified = ToFileTime(modified_ns);
  if (!::SetFileTime(ToHandle(handle_), nullptr, &accessed, &modified)) {
    return LastError("set times", name_);
  }
  return Status();
}

Status File::Close() {
  if (handle_ == kNoHandle) return Status();
  const HANDLE handle = ToHandle(handle_);
  handle_ = kNoHandle;
  if (!::CloseHandle(handle)) return LastError("close", name_);
  return Status();
}

FileReplacement::~FileReplacement() { Abandon(); }

Status FileReplacement::Begin(std::u16string_view name, Access access) {
  Abandon();
  const std::wstring target = Wide(name);
  std::wstring temp;
  const HANDLE handle = CreateSibling(target, &temp, access);
  if (handle == INVALID_HANDLE_VALUE) return LastError("create", name);
  file_.handle_ = FromHandle(handle);
  file_.name_ = ToU16(temp);
  name_ = name;
  target_ = Narrow(target);
  temporary_ = file_.name_;
  // The new version keeps the access list of the file it replaces; a link
  // at the name lends none, and an owner-only file keeps its own.
  if (access != Access::kOwnerOnly) {
    const Status status = KeepAccessList(target, handle, temp);
    if (!status.ok()) {
      Abandon();
      return status;
    }
  }
  return Status();
}

Status FileReplacement::Write(const void* data, size_t size) { return file_.Write(data, size); }

Status FileReplacement::SetTimes(int64_t accessed_ns, int64_t modified_ns) {
  return file_.SetTimes(accessed_ns, modified_ns);
}

Status FileReplacement::Commit(bool replace_existing) {
  if (!file_.is_open()) return Error(ERROR_INVALID_HANDLE, "write", name_);
  Status status = file_.Close();
  const std::wstring target = Wide(name_);
  if (status.ok() && !replace_existing && Exists(target)) {
    status = Error(ERROR_ALREADY_EXISTS, "create", name_);
  }
  if (status.ok() && !Rename(Wide(temporary_), target, true)) status = LastError("rename", name_);
  if (!status.ok()) {
    Abandon();
    return status;
  }
  temporary_.clear();
  return status;
}

void FileReplacement::Abandon() {
  file_.Close();
  if (!temporary_.empty()) ::DeleteFileW(Wide(temporary_).c_str());
  temporary_.clear();
}

void RemoveFilesOfEndedProcesses(std::u16string_view folder, std::u16string_view prefix,
                                 std::u16string_view suffix) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder.empty() ? u"." : folder, &entries).ok()) return;
  std::wstring base = Wide(folder.empty() ? u"." : folder);
  if (base.back() != L'\\') base += L'\\';
  const std::u16string head_folded = FoldCaseCopy(prefix);
  const std::u16string tail_folded = FoldCaseCopy(suffix);
  for (const FolderEntry& entry : entries) {
    if (entry.is_folder) continue;  // never a folder
    const std::u16string& name = entry.name;
    if (name.size() <= prefix.size() + suffix.size()) continue;
    // Windows spells names in any case; so do the matches.
    const std::u16string folded = FoldCaseCopy(name);
    if (!folded.starts_with(head_folded) || !folded.ends_with(tail_folded)) continue;
    const std::u16string digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 10 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
      continue;
    }
    uint64_t pid = 0;
    for (const char16_t c : digits) pid = pid * 10 + static_cast<uint64_t>(c - u'0');
    if (pid == 0 || pid > UINT32_MAX) continue;
    if (IsProcessAlive(static_cast<uint32_t>(pid))) continue;
    const std::wstring path = base + std::wstring(name.begin(), name.end());
    if (IsLink(path) && IsFolderAttributes(Attributes(path))) {
      ::RemoveDirectoryW(path.c_str());  // a link to a folder: the link itself goes
    } else {
      ::DeleteFileW(path.c_str());
    }
  }
}

std::u16string TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
  std::wstring folder =
      length > 0 && length <= MAX_PATH + 1 ? std::wstring(buffer, length) : L".\\";
  if (folder.back() != L'\\') folder += L'\\';
  return ToU16(folder);
}

Status CreateTemporaryFile(std::u16string_view prefix, std::u16string* path, File* file) {
  file->Close();
  static std::atomic<unsigned> counter{0};
  const std::wstring folder = Wide(TemporaryFolder());
  const std::wstring head = folder + Wide(prefix);
  // The name takes the process, a counter and the tick count, so that two
  // processes or two calls do not meet; CREATE_NEW makes sure of it, and
  // that no file planted under the name is taken over.
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[32];
    const unsigned value = static_cast<unsigned>(::GetCurrentProcessId()) * 2654435761u ^
                           ::GetTickCount() ^ (counter.fetch_add(1) * 40503u);
    ::swprintf(suffix, 32, L"%08X", value);
    const std::wstring name = head + suffix;
    const HANDLE handle =
        OpenForWriting(name, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, CREATE_NEW, Access::kOwnerOnly);
    if (handle != INVALID_HANDLE_VALUE) {
      file->handle_ = FromHandle(handle);
      file->name_ = ToU16(name);
      *path = file->name_;
      return Status();
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return Error(error, "create temporary file", ToU16(name));
    }
  }
  return Error(ERROR_FILE_EXISTS, "create temporary file", ToU16(head));
}

}  // namespace platform
