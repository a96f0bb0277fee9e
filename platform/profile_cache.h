// The process-wide cache of parsed INI files behind the private-profile
// functions.
//
// An entry is keyed by the file name exactly as the caller gives it and holds
// the resolved native path, the parsed document and the device, inode, size
// and modification time the file had when it was read. A lookup trusts the
// entry while one stat of that path shows the same four values, so a change
// made by another process is seen by the next call (an atomic replace always
// brings a new inode) and a file that disappears reads as missing. A change
// that keeps inode, size and modification time - an in-place rewrite within
// one tick of the file system's clock - is not seen. Relative names are
// resolved again on every call, because the current folder may have changed.
// This process's own writes update the entry instead of dropping it.
//
// A write batch defers the writes to one file: its edits change the cached
// document only (the entry is then pinned: trusted without a stat and never
// evicted), and the file is replaced once, when the outermost batch of that
// file ends. Other processes see the old file until then.
//
// All access is serialised by one mutex, which is also held across an
// update's read, edit and write, so that two threads editing one file do not
// lose each other's changes.
#ifndef PORTELLE_PLATFORM_PROFILE_CACHE_H_
#define PORTELLE_PLATFORM_PROFILE_CACHE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/file_system.h"
#include "platform/ini_document.h"
#include "platform/status.h"

namespace platform {

class ProfileCache {
 public:
  ProfileCache() = default;
  ProfileCache(const ProfileCache&) = delete;
  ProfileCache& operator=(const ProfileCache&) = delete;

  // The one cache of the process.
  static ProfileCache& Process();

  // Calls read(const IniDocument*) with the current content of `file`, or with
  // null when the file does not exist or cannot be read, and returns its
  // result. The document is valid only during the call.
  template <typename Read>
  auto WithDocument(std::u16string_view file, Read&& read) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Lookup found = Load(file, true);
    return read(static_cast<const IniDocument*>(found.document));
  }

  // Applies `edit` to the current content of `file` (an empty document when
  // the file does not exist) and, when it changed something, replaces the
  // file by the new version. An edit that changes nothing writes nothing; a
  // missing file then stays missing, but its folder must exist. Errors:
  // kErrorFileNotFound for an empty name, a not-found error for a missing
  // folder, the reading error when the file exists but cannot be read (it is
  // never overwritten then), kErrorInvalidParameter when the edit refuses its
  // input, or the error of the write.
  Status Update(std::u16string_view file, const std::function<IniEdit(IniDocument*)>& edit);

  // Opens and closes a read batch; batches nest, and only the outermost
  // counts. While one is open, an entry of an absolute name that has been
  // checked against its file once in the batch is trusted without another
  // stat, so that an operation reading many keys of one file pays for a
  // single stat. This process's own writes still update the entry; changes
  // by others made during the batch are seen after it.
  void BeginReadBatch();
  void EndReadBatch();

  // Opens and closes a write batch of `file`, named exactly as the writes
  // name it; batches of one file nest, and only the outermost counts. While
  // one is open, Update edits the cached document and writes nothing; a
  // missing file's folder must still exist. The end of the outermost batch
  // writes the file when an edit changed it, and returns the write's error
  // (the entry is then dropped, so that the next read sees the file as it
  // is); other ends return success.
  void BeginWriteBatch(std::u16string_view file);
  Status EndWriteBatch(std::u16string_view file);

 private:
  // More files than this are never used at once; the least recently used
  // entry goes first.
  static constexpr size_t kMaxFiles = 16;

  struct Entry {
    std::u16string native_path;
    FileInfo info;
    std::unique_ptr<IniDocument> document;
    uint64_t last_use = 0;
    uint64_t checked_in_batch = 0;  // the batch that last checked it, 0: none
    // Holds edits of a write batch that are not in the file yet; `info` is
    // then that of the file before them (all zero when it did not exist).
    bool unwritten = false;
  };

  struct Lookup {
    IniDocument* document = nullptr;  // null: missing or unreadable
    std::u16string native_path;       // resolved name, set when document is null
    int error = 0;                    // why document is null
  };

  // `in_batch`: an entry already checked in the open read batch is taken
  // as it is. Edits always check, so that they never overwrite a newer file.
  Lookup Load(std::u16string_view file, bool in_batch);
  Entry& Store(std::u16string_view file, std::u16string native_path, const FileInfo& info,
               std::unique_ptr<IniDocument> document);

  std::mutex mutex_;
  std::unordered_map<std::u16string, Entry> entries_;
  uint64_t uses_ = 0;
  int batch_depth_ = 0;
  uint64_t batch_ = 0;  // number of the open or the last batch
  // The files with an open write batch, and how deep their batches nest.
  std::unordered_map<std::u16string, int> write_batches_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_PROFILE_CACHE_H_
