// Injected failures of the file layer, for tests: while a FileFaults object
// is installed (ScopedFileFaults), the file layer asks it before each write,
// rename and file creation whether that call should fail, and with which
// error. Nothing is asked when none is installed.
#ifndef PORTELLE_PLATFORM_FILE_FAULTS_H_
#define PORTELLE_PLATFORM_FILE_FAULTS_H_

#include <cstddef>
#include <string>

namespace platform {

class FileFaults {
 public:
  virtual ~FileFaults() = default;

  // Each returns 0 to let the call happen, or the error code it fails with.
  // `path` is the native path the call works on (for a rename, the target).
  virtual int BeforeWrite(const std::string& path, size_t size);
  virtual int BeforeRename(const std::string& path);
  virtual int BeforeCreate(const std::string& path);

  // The plan of the default answers: the `fail_write_at`-th write (counted
  // from 1; 0 never) fails with `write_error`; with `disk_full` so does
  // every write after it, as on a full disk. Every rename fails while
  // `fail_renames`, every creation while `fail_creates`.
  size_t fail_write_at = 0;
  bool disk_full = false;
  int write_error = 0;  // the full-disk error when 0
  bool fail_renames = false;
  bool fail_creates = false;
  int error = 0;  // of renames and creations; the write error when 0
  // When not empty, only calls on paths that contain this text are counted
  // and may fail; all others go through.
  std::string only_paths_containing;

  // What was asked so far.
  size_t writes = 0;
  size_t renames = 0;
  size_t creates = 0;
  size_t failed_writes = 0;
};

// Installs `faults` for the lifetime of this object; the one installed
// before is restored afterwards.
class ScopedFileFaults {
 public:
  explicit ScopedFileFaults(FileFaults* faults);
  ~ScopedFileFaults();
  ScopedFileFaults(const ScopedFileFaults&) = delete;
  ScopedFileFaults& operator=(const ScopedFileFaults&) = delete;

 private:
  FileFaults* previous_;
};

// The error code of a full disk.
int DiskFullError();

namespace internal {
// The installed object, or null; read by the file layer.
extern FileFaults* g_file_faults;
}  // namespace internal

}  // namespace platform

#endif  // PORTELLE_PLATFORM_FILE_FAULTS_H_
