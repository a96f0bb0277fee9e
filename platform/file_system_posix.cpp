#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/file_faults.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"

namespace platform {
namespace {

// The descriptor a File keeps in its system-neutral handle.
int Fd(intptr_t handle) { return static_cast<int>(handle); }

constexpr size_t kCopyChunk = 64 * 1024;
constexpr mode_t kOwnerOnlyMode = 0600;
constexpr mode_t kDefaultMode = 0666;  // narrowed by the umask

mode_t CreationMode(Access access) {
  return access == Access::kOwnerOnly ? kOwnerOnlyMode : kDefaultMode;
}

// An injected failure of the tests' fault plan: sets errno and returns true.
bool Injected(int code) {
  if (code == 0) return false;
  errno = code;
  return true;
}

// rename(2), unless the fault plan fails it.
int Rename(const std::string& from, const std::string& to) {
  if (FileFaults* faults = internal::g_file_faults;
      faults != nullptr && Injected(faults->BeforeRename(to))) {
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

// open(2) for writing, unless the fault plan fails a creation.
int OpenForWriting(const std::string& path, int flags, mode_t mode) {
  if (FileFaults* faults = internal::g_file_faults;
      faults != nullptr && (flags & O_CREAT) != 0 && Injected(faults->BeforeCreate(path))) {
    return -1;
  }
  return ::open(path.c_str(), flags, mode);
}

Status Errno(std::string_view operation, std::u16string_view name) {
  return Status::Error(errno, operation, name);
}

Status ErrnoNative(std::string_view operation, const std::string& native) {
  return Status::Error(errno, operation, Utf8ToUtf16(native));
}

bool LstatExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Finds the entry of `folder` whose name equals `component` ignoring case;
// the first one in byte order wins so that the choice is stable.
bool FindCaseInsensitive(const std::string& folder, const std::string& component,
                         std::string* found) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  const std::u16string wanted = FoldCaseCopy(Utf8ToUtf16(component));
  bool any = false;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (FoldCaseCopy(Utf8ToUtf16(name)) == wanted && (!any || name < *found)) {
      *found = name;
      any = true;
    }
  }
  ::closedir(dir);
  return any;
}

std::string Resolve(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || LstatExists(path)) return path;
  const bool absolute = path[0] == '/';
  const bool trailing = path.back() == '/';
  std::string result = absolute ? "/" : "";
  size_t pos = absolute ? 1 : 0;
  bool resolving = true;
  bool first = true;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string component = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (component.empty()) continue;
    const std::string folder = result;
    if (!first && result.back() != '/') result += '/';
    first = false;
    if (resolving && component != "." && component != "..") {
      if (!LstatExists(result + component)) {
        std::string match;
        if (FindCaseInsensitive(folder, component, &match)) {
          result += match;
          continue;
        }
        resolving = false;
      }
    }
    result += component;
  }
  if (trailing && !result.empty() && result.back() != '/') result += '/';
  return result;
}

std::string TempSiblingName(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%d.%u.tmp", static_cast<int>(::getpid()),
                counter.fetch_add(1));
  return folder + "." + base + suffix;
}

Status WriteAll(int fd, const char* data, size_t size, const std::string& native) {
  if (FileFaults* faults = internal::g_file_faults;
      faults != nullptr && Injected(faults->BeforeWrite(native, size))) {
    return ErrnoNative("write", native);
  }
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoNative("write", native);
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return Status();
}

// Creates a fresh sibling of `target` for writing. O_EXCL makes it a new
// file of its own: a link planted under the name fails the attempt rather
// than being followed. Its mode follows the umask unless owner-only.
int CreateSibling(const std::string& target, std::string* temp, Access access) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = TempSiblingName(target);
    const int fd = OpenForWriting(*temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                  CreationMode(access));
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void FillInfo(const struct stat& st, FileInfo* info) {
  info->is_folder = S_ISDIR(st.st_mode);
  info->size = static_cast<uint64_t>(st.st_size);
  info->modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info->device = st.st_dev;
  info->inode = st.st_ino;
}

// Writes `bytes` (or the content of `source_fd`) into a sibling and renames it
// over `target`, with `mode` (or the default mode when mode is 0). `written`,
// when given, receives the sibling's information once its content, mode and
// times are final; the rename keeps all of them.
Status ReplaceWith(const std::string& target, std::string_view bytes, int source_fd, mode_t mode,
                   const struct timespec* times, FileInfo* written) {
  std::string temp;
  const int fd =
      CreateSibling(target, &temp, mode == kOwnerOnlyMode ? Access::kOwnerOnly : Access::kDefault);
  if (fd < 0) return ErrnoNative("create", target);
  Status status;
  if (source_fd >= 0) {
    char buffer[kCopyChunk];
    for (;;) {
      const ssize_t n = ::read(source_fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        status = ErrnoNative("read", target);
        break;
      }
      if (n == 0) break;
      status = WriteAll(fd, buffer, static_cast<size_t>(n), temp);
      if (!status.ok()) break;
    }
  } else {
    status = WriteAll(fd, bytes.data(), bytes.size(), temp);
  }
  if (status.ok() && mode != 0 && ::fchmod(fd, mode) != 0) status = ErrnoNative("chmod", temp);
  if (status.ok() && times != nullptr && ::futimens(fd, times) != 0) {
    status = ErrnoNative("set times", temp);
  }
  if (status.ok() && written != nullptr) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      status = ErrnoNative("stat", temp);
    } else {
      FillInfo(st, written);
    }
  }
  if (::close(fd) != 0 && status.ok()) status = ErrnoNative("close", temp);
  if (status.ok() && Rename(temp, target) != 0) {
    status = ErrnoNative("rename", target);
  }
  if (!status.ok()) ::unlink(temp.c_str());
  return status;
}

// Nanoseconds since 1970 as a timespec, whose nanoseconds never go negative.
struct timespec ToTimespec(int64_t ns) {
  int64_t seconds = ns / 1000000000;
  int64_t rest = ns % 1000000000;
  if (rest < 0) {
    --seconds;
    rest += 1000000000;
  }
  return {static_cast<time_t>(seconds), static_cast<long>(rest)};
}

}  // namespace

const char16_t kPathSeparator = u'/';

std::string NativePath(std::u16string_view name) { return Resolve(Utf16ToUtf8(name)); }
std::string NativePath(std::string_view name) { return Resolve(std::string(name)); }
std::u16string NativeWidePath(std::u16string_view name) { return Utf8ToUtf16(NativePath(name)); }

bool PathExists(std::u16string_view name, int* error) {
  return PathExists(std::string_view(Utf16ToUtf8(name)), error);
}

bool PathExists(std::string_view name, int* error) {
  const std::string native = NativePath(name);
  if (::access(native.c_str(), F_OK) == 0) return true;
  if (error != nullptr) *error = errno;
  return false;
}

Status GetNativeFileInfo(const std::string& native_path, FileInfo* info) {
  struct stat st;
  if (::stat(native_path.c_str(), &st) != 0) return ErrnoNative("stat", native_path);
  FillInfo(st, info);
  return Status();
}

Status GetNativeFileInfo(std::u16string_view native_wide_path, FileInfo* info) {
  return GetNativeFileInfo(Utf16ToUtf8(native_wide_path), info);
}

Status GetFileInfo(std::u16string_view name, FileInfo* info) {
  return GetNativeFileInfo(NativePath(name), info);
}

Status ReadNativeFile(const std::string& native_path, std::string* bytes) {
  bytes->clear();
  const int fd = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoNative("open", native_path);
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return ErrnoNative("read", native_path);
  }
  if (st.st_size > 0) bytes->reserve(static_cast<size_t>(st.st_size));
  char buffer[kCopyChunk];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const Status status = ErrnoNative("read", native_path);
      ::close(fd);
      return status;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return Status();
}

Status ReadNativeFile(std::u16string_view native_wide_path, std::string* bytes) {
  return ReadNativeFile(Utf16ToUtf8(native_wide_path), bytes);
}

Status ReadFile(std::u16string_view name, std::string* bytes) {
  return ReadNativeFile(NativePath(name), bytes);
}

Status WriteFileAtomically(std::u16string_view name, std::string_view bytes, FileInfo* written,
                           Access access) {
  const std::string native = NativePath(name);
  // lstat: a link at the name lends no permissions; the rename replaces it.
  struct stat st;
  mode_t mode = ::lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? (st.st_mode & 07777) : 0;
  if (access == Access::kOwnerOnly) mode = kOwnerOnlyMode;
  return ReplaceWith(native, bytes, -1, mode, nullptr, written);
}

bool IsSymbolicLink(std::u16string_view name) {
  struct stat st;
  return ::lstat(NativePath(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool HasLinkBelow(std::string_view folder, std::string_view relative) {
  std::string base = NativePath(folder);
  if (!base.empty() && base.back() != '/') base += '/';
  std::string rest(relative);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  // Each level is resolved like every other name, so that a link reached
  // under another letter case is found as well.
  std::string path = base;
  for (size_t start = 0; start < rest.size();) {
    size_t slash = rest.find('/', start);
    if (slash == std::string::npos) slash = rest.size();
    const std::string component = rest.substr(start, slash - start);
    start = slash + 1;
    if (component.empty() || component == ".") continue;
    path = NativePath(std::string_view(path + component));
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) return true;
    path += '/';
  }
  return false;
}

Status CopyFile(std::u16string_view from, std::u16string_view to, bool fail_if_exists) {
  const std::string source = NativePath(from);
  const std::string target = NativePath(to);
  const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Errno("open", from);
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (errno == 0 || S_ISDIR(st.st_mode)) errno = EISDIR;
    const Status status = Errno("copy", from);
    ::close(fd);
    return status;
  }
  if (fail_if_exists && LstatExists(target)) {
    ::close(fd);
    errno = EEXIST;
    return Errno("copy", to);
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  const Status status = ReplaceWith(target, {}, fd, st.st_mode & 07777, times, nullptr);
  ::close(fd);
  return status;
}

Status MoveFile(std::u16string_view from, std::u16string_view to, bool replace_existing) {
  const std::string source = NativePath(from);
  const std::string target = NativePath(to);
  if (!LstatExists(source)) return Errno("move", from);
  if (!replace_existing && LstatExists(target)) {
    errno = EEXIST;
    return Errno("move", to);
  }
  if (Rename(source, target) == 0) return Status();
  if (errno != EXDEV) return Errno("move", to);
  Status status = CopyFile(from, to, !replace_existing);
  if (status.ok()) status = DeleteFile(from);
  return status;
}

Status DeleteFile(std::u16string_view name) {
  const std::string native = NativePath(name);
  struct stat st;
  if (::lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return Errno("delete", name);
  }
  if (::unlink(native.c_str()) != 0) return Errno("delete", name);
  return Status();
}

Status CreateFolder(std::u16string_view name) {
  if (::mkdir(NativePath(name).c_str(), 0777) != 0) return Errno("create folder", name);
  return Status();
}

Status RemoveFolder(std::u16string_view name) {
  if (::rmdir(NativePath(name).c_str()) != 0) return Errno("remove folder", name);
  return Status();
}

Status ListFolder(std::u16string_view name, std::vector<FolderEntry>* entries) {
  entries->clear();
  std::string native = NativePath(name);
  if (native.empty()) native.push_back('.');
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return Errno("list", name);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string entry_name = entry->d_name;
    if (entry_name == "." || entry_name == "..") continue;
    FolderEntry e;
    e.name = Utf8ToUtf16(entry_name);
    struct stat st;
    std::string full = native;
    if (full.back() != '/') full += '/';
    full += entry_name;
    e.is_folder = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    entries->push_back(std::move(e));
  }
  ::closedir(dir);
  std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
    const std::u16string fa = FoldCaseCopy(a.name);
    const std::u16string fb = FoldCaseCopy(b.name);
    return fa != fb ? fa < fb : a.name < b.name;
  });
  return Status();
}

Status GetCurrentFolder(std::u16string* folder) {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return Errno("current folder", u"");
  *folder = Utf8ToUtf16(buffer);
  return Status();
}

Status GetFullPath(std::u16string_view name, std::u16string* full_path) {
  const std::string native = NativePath(name);
  if (!native.empty() && native.front() == '/') {
    *full_path = Utf8ToUtf16(native);
    return Status();
  }
  std::u16string folder;
  const Status current = GetCurrentFolder(&folder);
  if (!current.ok()) return current;
  if (folder.empty() || folder.back() != u'/') folder.push_back(u'/');
  *full_path = folder + Utf8ToUtf16(native);
  return Status();
}

Status SetCurrentFolder(std::u16string_view name) {
  if (::chdir(NativePath(name).c_str()) != 0) return Errno("change folder", name);
  return Status();
}

Status SetFileTimes(std::u16string_view name, int64_t accessed_ns, int64_t modified_ns) {
  const struct timespec times[2] = {ToTimespec(accessed_ns), ToTimespec(modified_ns)};
  if (::utimensat(AT_FDCWD, NativePath(name).c_str(), times, 0) != 0) {
    return Errno("set times", name);
  }
  return Status();
}

Status File::Open(std::u16string_view name, Mode mode, Access access) {
  Close();
  // A writer never follows a link at the name: it would write wherever the
  // link points.
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kCreateAlways:
      flags |= O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
      break;
    case Mode::kCreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
    case Mode::kAppend:
      flags |= O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW;
      break;
  }
  const std::string native = NativePath(name);
  handle_ = mode == Mode::kRead ? ::open(native.c_str(), flags)
                                : OpenForWriting(native, flags, CreationMode(access));
  if (handle_ == kNoHandle) return Errno("open", name);
  struct stat st;
  if (::fstat(Fd(handle_), &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(Fd(handle_));
    handle_ = kNoHandle;
    errno = EISDIR;
    return Errno("open", name);
  }
  // A file that holds secrets is owner-only also when it existed before.
  if (access == Access::kOwnerOnly && mode != Mode::kRead &&
      (st.st_mode & 07777) != kOwnerOnlyMode && ::fchmod(Fd(handle_), kOwnerOnlyMode) != 0) {
    const Status status = Errno("chmod", name);
    ::close(Fd(handle_));
    handle_ = kNoHandle;
    return status;
  }
  name_ = name;
  return Status();
}

Status File::Read(void* buffer, size_t size, size_t* read) {
  *read = 0;
  if (handle_ == kNoHandle) {
    errno = EBADF;
    return Errno("read", name_);
  }
  for (;;) {
    const ssize_t n = ::read(Fd(handle_), buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Errno("read", name_);
    *read = static_cast<size_t>(n);
    return Status();
  }
}

Status File::Write(const void* data, size_t size) {
  if (handle_ == kNoHandle) {
    errno = EBADF;
    return Errno("write", name_);
  }
  return WriteAll(Fd(handle_), static_cast<const char*>(data), size, Utf16ToUtf8(name_));
}

Status File::Seek(int64_t offset, Origin origin, int64_t* position) {
  if (handle_ == kNoHandle) {
    errno = EBADF;
    return Errno("seek", name_);
  }
  const int whence = origin == Origin::kBegin     ? SEEK_SET
                     : origin == Origin::kCurrent ? SEEK_CUR
                                                  : SEEK_END;
  const off_t moved = ::lseek(Fd(handle_), static_cast<off_t>(offset), whence);
  if (moved < 0) return Errno("seek", name_);
  if (position != nullptr) *position = static_cast<int64_t>(moved);
  return Status();
}

Status File::Flush() {
  if (handle_ == kNoHandle) {
    errno = EBADF;
    return Errno("flush", name_);
  }
  return Status();  // writes go straight to the kernel; nothing is buffered here
}

Status File::SetTimes(int64_t accessed_ns, int64_t modified_ns) {
  if (handle_ == kNoHandle) {
    errno = EBADF;
    return Errno("set times", name_);
  }
  const struct timespec times[2] = {ToTimespec(accessed_ns), ToTimespec(modified_ns)};
  if (::futimens(Fd(handle_), times) != 0) return Errno("set times", name_);
  return Status();
}

Status File::Close() {
  if (handle_ == kNoHandle) return Status();
  const int fd = Fd(handle_);
  handle_ = kNoHandle;
  if (::close(fd) != 0) return Errno("close", name_);
  return Status();
}

FileReplacement::~FileReplacement() { Abandon(); }

Status FileReplacement::Begin(std::u16string_view name, Access access) {
  Abandon();
  const std::string target = NativePath(name);
  std::string temp;
  const int fd = CreateSibling(target, &temp, access);
  if (fd < 0) return Errno("create", name);
  file_.handle_ = fd;
  file_.name_ = Utf8ToUtf16(temp);
  name_ = name;
  target_ = target;
  temporary_ = file_.name_;
  // The new version keeps the permissions of the file it replaces; a link
  // at the name lends none (lstat), and an owner-only file keeps 0600.
  struct stat st;
  if (access != Access::kOwnerOnly && ::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::fchmod(fd, st.st_mode & 07777) != 0) {
    const Status status = Errno("chmod", temporary_);
    Abandon();
    return status;
  }
  return Status();
}

Status FileReplacement::Write(const void* data, size_t size) { return file_.Write(data, size); }

Status FileReplacement::SetTimes(int64_t accessed_ns, int64_t modified_ns) {
  return file_.SetTimes(accessed_ns, modified_ns);
}

Status FileReplacement::Commit(bool replace_existing) {
  if (!file_.is_open()) {
    errno = EBADF;
    return Errno("write", name_);
  }
  Status status = file_.Close();
  if (status.ok() && !replace_existing && LstatExists(target_)) {
    errno = EEXIST;
    status = Errno("create", name_);
  }
  if (status.ok() && Rename(Utf16ToUtf8(temporary_), target_) != 0) {
    status = Errno("rename", name_);
  }
  if (!status.ok()) {
    Abandon();
    return status;
  }
  temporary_.clear();
  return status;
}

void FileReplacement::Abandon() {
  file_.Close();
  if (!temporary_.empty()) ::unlink(Utf16ToUtf8(temporary_).c_str());
  temporary_.clear();
}

void RemoveFilesOfEndedProcesses(std::u16string_view folder, std::u16string_view prefix,
                                 std::u16string_view suffix) {
  std::string native = NativePath(folder);
  if (native.empty()) native = ".";
  if (native.back() != '/') native += '/';
  const std::string head = Utf16ToUtf8(prefix);
  const std::string tail = Utf16ToUtf8(suffix);
  DIR* dir = ::opendir(native.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> ended;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= head.size() + tail.size() || !name.starts_with(head) ||
        !name.ends_with(tail)) {
      continue;
    }
    const std::string digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const unsigned long long pid = std::strtoull(digits.c_str(), nullptr, 10);
    if (pid == 0 || pid > UINT32_MAX) continue;
    if (!IsProcessAlive(static_cast<uint32_t>(pid))) ended.push_back(native + name);
  }
  ::closedir(dir);
  for (const std::string& path : ended) {
    struct stat st;
    // Only files (or links, removed themselves): never a folder.
    if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(path.c_str());
  }
}

std::u16string TemporaryFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string folder = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  if (folder.back() != '/') folder += '/';
  return Utf8ToUtf16(folder);
}

Status CreateTemporaryFile(std::u16string_view prefix, std::u16string* path, File* file) {
  file->Close();
  std::string pattern = NativePath(TemporaryFolder()) + Utf16ToUtf8(prefix) + "XXXXXX";
  // mkostemp creates the file exclusively with mode 0600 whatever the umask,
  // so no other user can read or plant the data on its way.
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return ErrnoNative("create temporary file", pattern);
  file->handle_ = fd;
  file->name_ = Utf8ToUtf16(pattern);
  *path = file->name_;
  return Status();
}

}  // namespace platform
