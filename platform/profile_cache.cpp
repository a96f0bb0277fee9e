#include "platform/profile_cache.h"

#include <utility>

#include "platform/text.h"

namespace platform {
namespace {

bool SameVersion(const FileInfo& a, const FileInfo& b) {
  return a.size == b.size && a.modified_ns == b.modified_ns && a.inode == b.inode &&
         a.device == b.device;
}

// A name that does not depend on the current folder: rooted ("/x", "\\x",
// "\\\\server\\x") or with a drive ("C:\\x").
bool IsAbsolute(std::u16string_view file) {
  return file[0] == u'/' || file[0] == u'\\' ||
         (file.size() >= 3 && file[1] == u':' && (file[2] == u'\\' || file[2] == u'/'));
}

// A name whose file or folder is missing: a write may create it.
bool IsMissing(int error) { return IsNotFound(error); }

std::u16string FolderOf(const std::u16string& native_path) {
  const size_t slash = native_path.find_last_of(u"/\\");
  if (slash == std::u16string::npos) return u".";
  // The root keeps its separator ("/", "C:\\").
  if (slash == 0 || (slash == 2 && native_path[1] == u':')) return native_path.substr(0, slash + 1);
  return native_path.substr(0, slash);
}

}  // namespace

ProfileCache& ProfileCache::Process() {
  static ProfileCache cache;
  return cache;
}

ProfileCache::Lookup ProfileCache::Load(std::u16string_view file, bool in_batch) {
  Lookup result;
  if (file.empty()) {
    result.error = kErrorFileNotFound;
    return result;
  }
  const auto cached = entries_.find(std::u16string(file));
  if (cached != entries_.end()) {
    Entry& entry = cached->second;
    // Edits of a write batch that the file does not hold yet are the
    // current content.
    if (entry.unwritten) {
      entry.last_use = ++uses_;
      result.document = entry.document.get();
      return result;
    }
    const uint64_t open_batch = batch_depth_ > 0 ? batch_ : 0;
    if (in_batch && open_batch != 0 && entry.checked_in_batch == open_batch && IsAbsolute(file)) {
      entry.last_use = ++uses_;
      result.document = entry.document.get();
      return result;
    }
    // An absolute name keeps its resolution while the file exists; this keeps
    // a hit to a single stat.
    const bool same_path = IsAbsolute(file) || NativeWidePath(file) == entry.native_path;
    FileInfo info;
    if (same_path && GetNativeFileInfo(entry.native_path, &info).ok() &&
        SameVersion(info, entry.info)) {
      entry.last_use = ++uses_;
      entry.checked_in_batch = open_batch;
      result.document = entry.document.get();
      return result;
    }
    entries_.erase(cached);
  }
  result.native_path = NativeWidePath(file);
  FileInfo info;
  Status status = GetNativeFileInfo(result.native_path, &info);
  if (status.ok() && info.is_folder) status = Status::Error(kErrorIsFolder, "read profile", file);
  std::string bytes;
  // The stat comes before the read: if the file changes in between, the entry
  // holds newer content than its stat and the next call reads it again.
  if (status.ok()) status = ReadNativeFile(result.native_path, &bytes);
  if (!status.ok()) {
    result.error = status.code();
    return result;
  }
  Entry& entry =
      Store(file, std::move(result.native_path), info, std::make_unique<IniDocument>(bytes));
  result.native_path.clear();
  result.document = entry.document.get();
  return result;
}

ProfileCache::Entry& ProfileCache::Store(std::u16string_view file, std::u16string native_path,
                                         const FileInfo& info,
                                         std::unique_ptr<IniDocument> document) {
  Entry& entry = entries_[std::u16string(file)];
  entry.native_path = std::move(native_path);
  entry.info = info;
  if (document != nullptr) entry.document = std::move(document);
  entry.last_use = ++uses_;
  entry.checked_in_batch = batch_depth_ > 0 ? batch_ : 0;
  if (entries_.size() > kMaxFiles) {
    // An entry with unwritten edits stays until its batch ends.
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->second.unwritten) continue;
      if (oldest == entries_.end() || it->second.last_use < oldest->second.last_use) oldest = it;
    }
    if (oldest != entries_.end() && &oldest->second != &entry) entries_.erase(oldest);
  }
  return entry;
}

Status ProfileCache::Update(std::u16string_view file,
                            const std::function<IniEdit(IniDocument*)>& edit) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file.empty()) return Status::Error(kErrorFileNotFound, "write profile", file);
  Lookup found = Load(file, false);
  if (found.document == nullptr && !IsMissing(found.error)) {
    return Status::Error(found.error, "read profile", file);
  }
  std::unique_ptr<IniDocument> created;
  IniDocument* document = found.document;
  if (document == nullptr) {
    created = std::make_unique<IniDocument>();
    document = created.get();
  }
  // A file that does not exist yet can only be created in an existing folder.
  const auto check_folder = [&]() {
    if (found.document != nullptr) return Status();
    FileInfo folder;
    const Status status = GetNativeFileInfo(FolderOf(found.native_path), &folder);
    if (!status.ok()) return Status::Error(status.code(), "write profile", file);
    if (!folder.is_folder) return Status::Error(kErrorPathNotFound, "write profile", file);
    return Status();
  };
  switch (edit(document)) {
    case IniEdit::kInvalid:
      return Status::Error(kErrorInvalidParameter, "write profile", file);
    case IniEdit::kUnchanged:
      return check_folder();
    case IniEdit::kChanged:
      break;
  }
  if (write_batches_.contains(std::u16string(file))) {
    if (created != nullptr) {
      const Status folder = check_folder();
      if (!folder.ok()) return folder;
      Store(file, std::move(found.native_path), FileInfo{}, std::move(created));
    }
    entries_.at(std::u16string(file)).unwritten = true;
    return Status();
  }
  FileInfo written;
  const Status status = WriteFileAtomically(file, document->Serialize(), &written);
  if (!status.ok()) {
    // The cached document already holds the edit that did not reach the file.
    if (created == nullptr) entries_.erase(std::u16string(file));
    return status;
  }
  Store(file, NativeWidePath(file), written, std::move(created));
  return Status();
}

void ProfileCache::BeginReadBatch() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (batch_depth_++ == 0) ++batch_;
}

void ProfileCache::EndReadBatch() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (batch_depth_ > 0) --batch_depth_;
}

void ProfileCache::BeginWriteBatch(std::u16string_view file) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++write_batches_[std::u16string(file)];
}

Status ProfileCache::EndWriteBatch(std::u16string_view file) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::u16string name(file);
  const auto batch = write_batches_.find(name);
  if (batch == write_batches_.end() || --batch->second > 0) return Status();
  write_batches_.erase(batch);
  const auto cached = entries_.find(name);
  if (cached == entries_.end() || !cached->second.unwritten) return Status();
  Entry& entry = cached->second;
  FileInfo written;
  const Status status = WriteFileAtomically(file, entry.document->Serialize(), &written);
  if (!status.ok()) {
    entries_.erase(cached);
    return status;
  }
  entry.unwritten = false;
  entry.info = written;
  entry.native_path = NativeWidePath(file);
  entry.checked_in_batch = batch_depth_ > 0 ? batch_ : 0;
  return Status();
}

}  // namespace platform
