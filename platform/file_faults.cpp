// The fault plan of the file layer's tests; the error of a full disk is the
// system's own (file_faults_posix.cpp, file_faults_win.cpp).
#include "platform/file_faults.h"

namespace platform {

namespace internal {
FileFaults* g_file_faults = nullptr;
}  // namespace internal

namespace {

bool Concerns(const FileFaults& faults, const std::string& path) {
  return faults.only_paths_containing.empty() ||
         path.find(faults.only_paths_containing) != std::string::npos;
}

}  // namespace

int FileFaults::BeforeWrite(const std::string& path, size_t) {
  if (!Concerns(*this, path)) return 0;
  ++writes;
  const bool fails =
      fail_write_at != 0 && (writes == fail_write_at || (disk_full && writes > fail_write_at));
  if (!fails) return 0;
  ++failed_writes;
  return write_error != 0 ? write_error : DiskFullError();
}

int FileFaults::BeforeRename(const std::string& path) {
  if (!Concerns(*this, path)) return 0;
  ++renames;
  if (!fail_renames) return 0;
  return error != 0 ? error : (write_error != 0 ? write_error : DiskFullError());
}

int FileFaults::BeforeCreate(const std::string& path) {
  if (!Concerns(*this, path)) return 0;
  ++creates;
  if (!fail_creates) return 0;
  return error != 0 ? error : (write_error != 0 ? write_error : DiskFullError());
}

ScopedFileFaults::ScopedFileFaults(FileFaults* faults) : previous_(internal::g_file_faults) {
  internal::g_file_faults = faults;
}

ScopedFileFaults::~ScopedFileFaults() { internal::g_file_faults = previous_; }

}  // namespace platform
