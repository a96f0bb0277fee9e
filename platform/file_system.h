// The file layer. Names are given as the system writes them on Windows:
// backslashes as separators and any letter case. Every function resolves a
// name the same way (NativePath). On Windows the file system itself ignores
// letter case and takes both separators: a name only has its '/' turned into
// '\\'. On POSIX systems each backslash becomes '/', and each component that
// exists in another letter case is taken with its existing spelling (an exact
// match first, else the first case-insensitive match in name order).
// Components that do not exist keep the case given, so that a file created
// under a name gets that spelling. Relative names are relative to the current
// folder.
//
// Error codes are the system's own (errno values, Win32 codes on Windows);
// the kError* constants of status.h name the ones callers test for.
#ifndef PORTELLE_PLATFORM_FILE_SYSTEM_H_
#define PORTELLE_PLATFORM_FILE_SYSTEM_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

// The separator this system shows between folder names ('/' or '\\'), for
// paths built to be shown to the user; either one is understood on input.
extern const char16_t kPathSeparator;

// The native path that `name` resolves to now (see above), as narrow text in
// the system code page: what the C runtime's and the zip libraries' narrow
// file calls take (UTF-8 on POSIX systems, the "ANSI" code page on Windows,
// where a character the code page lacks becomes '?').
std::string NativePath(std::u16string_view name);
std::string NativePath(std::string_view name);  // name in the system code page
// The same path as UTF-16 text, which loses no character on any system: the
// form the file layer's own native-path calls below take best.
std::u16string NativeWidePath(std::u16string_view name);

// Existence test of a file or folder, like the C runtime's access(name, 0):
// true when it exists; otherwise false with the error number in *error.
bool PathExists(std::u16string_view name, int* error = nullptr);
bool PathExists(std::string_view name, int* error = nullptr);

// Who may read and write a file the layer creates. kOwnerOnly gives the
// owner alone read and write rights whatever the process's default (the
// umask; on Windows the folder's inherited access list, replaced by a
// protected list that grants the owner alone full access), for files that
// hold secrets such as clear-text passwords.
enum class Access {
  kDefault,
  kOwnerOnly,
};

struct FileInfo {
  bool is_folder = false;
  uint64_t size = 0;
  int64_t modified_ns = 0;  // last write, nanoseconds since 1970-01-01 UTC
  uint64_t device = 0;      // on Windows the volume serial number
  uint64_t inode = 0;       // on Windows the file index within the volume
};

// Information about an existing file or folder (links are followed).
Status GetFileInfo(std::u16string_view name, FileInfo* info);
// The same for an already resolved native path; one system call on POSIX
// systems.
Status GetNativeFileInfo(const std::string& native_path, FileInfo* info);
Status GetNativeFileInfo(std::u16string_view native_wide_path, FileInfo* info);

// Reads a whole file.
Status ReadFile(std::u16string_view name, std::string* bytes);
Status ReadNativeFile(const std::string& native_path, std::string* bytes);
Status ReadNativeFile(std::u16string_view native_wide_path, std::string* bytes);

// Replaces (or creates) a file by a complete new version: the bytes go to a
// sibling file that is then renamed over the name, so readers see the old or
// the new content, never a part. An existing file's permissions are kept; a
// new file gets the default ones. The folder must exist. When `written` is
// given it receives the information of the new version, taken before the
// rename, so that it describes what this call wrote even if another process
// replaces the file right afterwards.
// With Access::kOwnerOnly the new version is owner-only whatever the old
// one's permissions were. A symbolic link at `name` is replaced by the file
// itself; the file it points to is never written.
Status WriteFileAtomically(std::u16string_view name, std::string_view bytes,
                           FileInfo* written = nullptr, Access access = Access::kDefault);

// True when `name` itself (not what it points to) is a symbolic link (on
// Windows also a junction: any reparse point that leads elsewhere).
bool IsSymbolicLink(std::u16string_view name);

// True when an existing component of `folder` + `relative` below `folder`
// (the components of `relative`, the last one included) is a symbolic link,
// so that a write there could land outside `folder`. Components that do not
// exist end the test. `relative` may use '\\' or '/' as separators.
bool HasLinkBelow(std::string_view folder, std::string_view relative);

// Copies a file, keeping its permissions and last-write time. With
// `fail_if_exists` an existing target is an error (kErrorAlreadyExists);
// otherwise it is replaced atomically.
Status CopyFile(std::u16string_view from, std::u16string_view to, bool fail_if_exists);

// Moves or renames a file or folder, also across file systems for files.
// Without `replace_existing` an existing target is an error
// (kErrorAlreadyExists).
Status MoveFile(std::u16string_view from, std::u16string_view to, bool replace_existing);

// Deletes a file; a folder is kErrorIsFolder.
Status DeleteFile(std::u16string_view name);

// Creates one folder; its parent must exist. An existing folder is
// kErrorAlreadyExists.
Status CreateFolder(std::u16string_view name);

// Removes an empty folder.
Status RemoveFolder(std::u16string_view name);

struct FolderEntry {
  std::u16string name;  // without folder
  bool is_folder = false;
};

// The entries of a folder, without "." and "..", in case-insensitive name
// order (the order Windows lists them in on its file systems).
Status ListFolder(std::u16string_view name, std::vector<FolderEntry>* entries);

// The process's current folder, without a trailing separator (except "/").
Status GetCurrentFolder(std::u16string* folder);
Status SetCurrentFolder(std::u16string_view name);

// Makes `folder` the current folder while it lives and the one before
// current again afterwards, on every way out. When the folder before cannot
// be known, nothing is changed and entered() is false: a process that could
// not find its way back would look for later relative names in the wrong
// place.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(std::u16string_view folder);
  ~ScopedCurrentFolder();
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

  // False when `folder` is not current; status() says why.
  bool entered() const { return status_.ok(); }
  const Status& status() const { return status_; }

 private:
  std::u16string previous_;
  bool restore_ = false;
  Status status_;
};

// The full path of the file `name` names, for telling the user where it is:
// a relative name is taken below the current folder; the result names the
// file as this system does (NativePath), existing components as they are
// spelt on disk.
Status GetFullPath(std::u16string_view name, std::u16string* full_path);

// Sets a file's last-access and last-write times (nanoseconds since 1970).
Status SetFileTimes(std::u16string_view name, int64_t accessed_ns, int64_t modified_ns);

// An open file for streaming reads and writes.
class File {
 public:
  enum class Mode {
    kRead,          // existing file, read only
    kCreateAlways,  // write only; created or truncated
    kCreateNew,     // write only; kErrorAlreadyExists when the file exists
    kAppend,        // write only; created when missing, every write at the end
  };
  enum class Origin { kBegin, kCurrent, kEnd };

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // The writing modes never follow a symbolic link at `name`: opening one
  // fails (kCreateNew with kErrorAlreadyExists, the others with the system's
  // "too many levels of links" error, on Windows "the name of the file
  // cannot be resolved") instead of writing to what it points to. A file
  // created here gets `access`; an existing file keeps its permissions, but
  // becomes owner-only when opened for writing with Access::kOwnerOnly. A
  // folder is kErrorIsFolder.
  Status Open(std::u16string_view name, Mode mode, Access access = Access::kDefault);
  bool is_open() const { return handle_ != kNoHandle; }

  // Reads up to `size` bytes; *read is 0 at the end of the file.
  Status Read(void* buffer, size_t size, size_t* read);
  // Writes all bytes.
  Status Write(const void* data, size_t size);
  // Moves the position; *position (when given) receives the new one.
  Status Seek(int64_t offset, Origin origin, int64_t* position = nullptr);
  // Hands written data to the operating system (no fsync).
  Status Flush();
  // Sets the open file's last-access and last-write times (nanoseconds since
  // 1970); the system keeps no creation time that could be set.
  Status SetTimes(int64_t accessed_ns, int64_t modified_ns);
  Status Close();

 private:
  friend Status CreateTemporaryFile(std::u16string_view prefix, std::u16string* path, File* file);
  friend class FileReplacement;
  // The descriptor (POSIX) or HANDLE (Windows); both systems use -1 for none.
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
  std::u16string name_;
};

// A new version of a file, streamed into a temporary file beside it and
// renamed over the file's name only when it is complete, so that the file
// holds the old or the new content, never a part: a failed write, a full
// disk or a crash leaves the old file (or none) and at worst the temporary
// file, which is never a name the server reads. An existing file's
// permissions are kept. The temporary file is removed by every path that
// does not commit, the destructor included.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();  // abandons an uncommitted replacement
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Creates the temporary file in the folder of `name`, which must exist.
  // A replacement in progress is abandoned first. With Access::kOwnerOnly
  // the new version is owner-only; otherwise it keeps the permissions of
  // the file it replaces (not of what a link there points to).
  Status Begin(std::u16string_view name, Access access = Access::kDefault);
  // Writes all bytes to the temporary file.
  Status Write(const void* data, size_t size);
  // Sets the new version's last-access and last-write times (nanoseconds
  // since 1970); the rename keeps them.
  Status SetTimes(int64_t accessed_ns, int64_t modified_ns);
  // Closes the temporary file and renames it over the name. Without
  // `replace_existing` an existing file is an error (kErrorAlreadyExists). On failure the
  // temporary file is removed and the old file stays as it was.
  Status Commit(bool replace_existing);
  // Closes and removes the temporary file; the old file stays.
  void Abandon();

  // The temporary file's path while a replacement is in progress.
  const std::u16string& temporary_path() const { return temporary_; }

 private:
  File file_;
  std::u16string name_;
  std::string target_;  // native path the new version is renamed to
  std::u16string temporary_;
};

// Deletes the files of `folder` named `prefix` + a process ID + `suffix`
// whose process no longer runs: what a killed run of this program left.
// Files of running processes, and names that do not fit, stay.
void RemoveFilesOfEndedProcesses(std::u16string_view folder, std::u16string_view prefix,
                                 std::u16string_view suffix);

// The folder for temporary files, with a trailing separator: $TMPDIR when
// it is set and not empty, else /tmp; on Windows the system's (GetTempPath:
// %TMP%, %TEMP%, ...).
std::u16string TemporaryFolder();

// Creates a new file of its own in TemporaryFolder(), named `prefix` plus a
// unique suffix, readable and writable by its owner only (Access::kOwnerOnly), and
// opens it in `file` for writing. *path receives the file's full path. The
// caller deletes the file when it is done with it.
Status CreateTemporaryFile(std::u16string_view prefix, std::u16string* path, File* file);

}  // namespace platform

#endif  // PORTELLE_PLATFORM_FILE_SYSTEM_H_
