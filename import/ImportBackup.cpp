#include "import/ImportBackup.h"

#include <set>

#include "import/ImportPlan.h"
#include "import/SystemPath.h"
#include "log/DebugLog.h"
#include "platform/dos_time.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/text.h"
#include "zip/Unzip.h"
#include "zip/Zip.h"
#include "zip/ZipException.h"

namespace import_backup {
namespace {

constexpr char16_t kLogSource[] = u"ImportBackup";
constexpr char kManifestHeader[] = "portelle-backup 1";
constexpr int kCompressionLevel = 9;
// A manifest longer than this is not one the backup wrote.
constexpr size_t kMaxManifestBytes = size_t{16} << 20;

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

bool ParseNumber(std::string_view text, int64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  int64_t number = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 0 && text[i] == '-' && text.size() > 1) continue;
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + (text[i] - '0');
  }
  *value = text[0] == '-' ? -number : number;
  return true;
}

// "YYYYMMDD-HHMMSS" of the local time now.
std::u16string TimeStamp() {
  uint16_t date = 0;
  uint16_t time = 0;
  platform::FileTimeToDosDateTime(platform::CurrentFileTime(), &date, &time);
  return platform::Format(u"%04d%02d%02d-%02d%02d%02d", 1980 + (date >> 9), (date >> 5) & 15,
                          date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
}

// A name for a new backup that no backup has yet; a second one within the
// same two seconds gets "_2", which sorts after the first.
std::u16string NewBackupPath(const std::u16string& folder) {
  const std::u16string base = folder + std::u16string(kBackupPrefix) + TimeStamp();
  std::u16string path = base + u".zip";
  for (int n = 2; platform::PathExists(path); ++n) path = base + platform::Format(u"_%d.zip", n);
  return path;
}

// The manifest of the backup open in `unzip`, checked with its names
// against `install` (system code page).
bool ReadManifest(CUnzip& unzip, const std::string& install, Manifest* manifest,
                  std::u16string* error) {
  UnzipWantedMember wanted;
  wanted.name = platform::ToSystemCodePage(kManifestName);
  wanted.max_size = kMaxManifestBytes;
  UnzipProblem problem;
  if (unzip.Verify(install.c_str(), &wanted, &problem) != 0) {
    *error = platform::FromSystemCodePage(problem.reason);
    return false;
  }
  if (!wanted.found) {
    *error = u"it holds no " + std::u16string(kManifestName);
    return false;
  }
  return ParseManifest(wanted.data, manifest, error);
}

struct RestoreContext {
  std::set<std::string> names;  // folded names of the saved files
};

// Lets through the members the manifest lists as saved files.
bool ExtractSavedFile(void* context, const char* path, int phase) {
  if (phase != 0) return true;
  const auto* restore = static_cast<const RestoreContext*>(context);
  return restore->names.count(platform::Utf16ToUtf8(
             platform::FoldCaseCopy(platform::FromSystemCodePage(path)))) != 0;
}

}  // namespace

std::string ManifestText(const Manifest& manifest) {
  std::string text = std::string(kManifestHeader) + "\n";
  text += "archive\t" + platform::Utf16ToUtf8(manifest.archive) + "\n";
  for (const SavedFile& file : manifest.files) {
    const std::string name = platform::Utf16ToUtf8(file.name);
    if (file.present) {
      text +=
          platform::FormatA("file\t%llu\t%lld\t%s\n", static_cast<unsigned long long>(file.size),
                            static_cast<long long>(file.modified_ns), name);
    } else {
      text += "absent\t" + name + "\n";
    }
  }
  return text;
}

bool ParseManifest(std::string_view text, Manifest* manifest, std::u16string* error) {
  *manifest = Manifest();
  std::vector<std::string_view> lines = Split(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty() || lines[0] != kManifestHeader) {
    *error = u"its file list is not one this tool writes";
    return false;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string_view> fields = Split(lines[i], '\t');
    SavedFile file;
    int64_t size = 0;
    if (fields[0] == "archive" && fields.size() == 2) {
      manifest->archive = platform::Utf8ToUtf16(fields[1]);
      continue;
    } else if (fields[0] == "file" && fields.size() == 4 && ParseNumber(fields[1], &size) &&
               size >= 0 && ParseNumber(fields[2], &file.modified_ns)) {
      file.present = true;
      file.size = static_cast<uint64_t>(size);
    } else if (!(fields[0] == "absent" && fields.size() == 2)) {
      *error =
          platform::Format(u"line %d of its file list cannot be read", static_cast<int32_t>(i + 1));
      return false;
    }
    const std::string_view name = fields.back();
    if (name.empty() || !IsSafeMemberName(name)) {
      *error =
          u"its file list names a file outside the install folder: " + platform::Utf8ToUtf16(name);
      return false;
    }
    file.name = platform::Utf8ToUtf16(name);
    manifest->files.push_back(std::move(file));
  }
  return true;
}

std::u16string BackupFolder(const std::u16string& install_path) {
  return install_path + std::u16string(kBackupFolderName) + platform::kPathSeparator;
}

bool WriteBackup(const std::u16string& install_path, const std::u16string& archive,
                 const std::vector<std::u16string>& names, std::u16string* backup_path,
                 platform::AppMessage* failure) {
  static constexpr char16_t kFunc[] = u"import_backup::WriteBackup";
  const std::u16string folder = BackupFolder(install_path);
  const auto fail = [&](const std::u16string& path, const std::u16string& reason) {
    DEBUG_LOG(70, u"%s - cannot write the backup %s: %s", kFunc, path, reason);
    *failure = platform::AppMessage(platform::kMsgBackupNotWritten, path, reason);
    return false;
  };
  const auto reason_of = [](int code) {
    return platform::FromSystemCodePage(platform::SystemErrorText(code));
  };
  const platform::Status made = platform::CreateFolder(folder);
  if (!made.ok() && made.code() != platform::kErrorAlreadyExists)
    return fail(folder, reason_of(made.code()));

  Manifest manifest;
  manifest.archive = archive;
  for (const std::u16string& name : names) {
    SavedFile file;
    file.name = name;
    platform::FileInfo info;
    const platform::Status found = platform::GetFileInfo(install_path + name, &info);
    if (found.ok() && !info.is_folder) {
      file.present = true;
      file.size = info.size;
      file.modified_ns = info.modified_ns;
    } else if (found.ok() || !platform::IsNotFound(found.code())) {
      return fail(install_path + name, found.ok() ? u"it is a folder" : reason_of(found.code()));
    }
    manifest.files.push_back(std::move(file));
  }

  const std::u16string path = NewBackupPath(folder);
  const std::u16string manifest_path = folder + std::u16string(kManifestName);
  const platform::Status listed =
      platform::WriteFileAtomically(manifest_path, ManifestText(manifest));
  if (!listed.ok()) return fail(manifest_path, reason_of(listed.code()));

  std::u16string reason;
  std::u16string failed_path = path;
  std::string narrow_install;
  std::string narrow_folder;
  if (!import_paths::ToSystemPath(install_path, &narrow_install) ||
      !import_paths::ToSystemPath(folder, &narrow_folder)) {
    reason = u"the install folder's path is longer than 259 bytes";
  } else {
    try {
      CZip zip;
      if (zip.Open(platform::ToSystemCodePage(path).c_str(), false) != 0) {
        reason = reason_of(zip.open_status().code());
      } else {
        for (const SavedFile& file : manifest.files) {
          if (!file.present) continue;
          const int added =
              zip.AddFile(narrow_install.c_str(), platform::ToSystemCodePage(file.name).c_str(),
                          kCompressionLevel);
          if (added != 0) {
            reason = platform::Format(u"zip error %d while adding %s", added, file.name);
            break;
          }
        }
        if (reason.empty() &&
            zip.AddFile(narrow_folder.c_str(), platform::ToSystemCodePage(kManifestName).c_str(),
                        kCompressionLevel) != 0) {
          reason = u"its file list could not be added";
        }
        if (zip.Close() != 0 && reason.empty()) reason = u"it could not be completed";
        if (reason.empty() && !zip.write_status().ok()) {
          reason = reason_of(zip.write_status().code());
        }
      }
    } catch (const CWinFileException& e) {
      if (!e.GetPath().empty()) failed_path = platform::FromSystemCodePage(e.GetPath());
      reason = reason_of(e.GetError());
    } catch (const CZipCommonException& e) {
      reason = reason_of(e.GetError());
    }
  }
  platform::DeleteFile(manifest_path);
  if (!reason.empty()) {
    platform::DeleteFile(path);
    return fail(failed_path, reason);
  }
  *backup_path = path;
  DEBUG_LOG(68, u"%s - saved %d file(s) the import changes into %s", kFunc,
            static_cast<int32_t>(manifest.files.size()), *backup_path);
  return true;
}

bool BackUpBeforeImport(const std::u16string& install_path, const std::u16string& archive,
                        std::u16string* backup_path, platform::AppMessage* failure) {
  backup_path->clear();
  import_plan::ImportPlan plan;
  import_plan::PlanOptions files_only;
  files_only.ini = false;
  files_only.domains = false;
  platform::AppMessage refused;
  if (!import_plan::MakePlan(install_path, archive, files_only, &plan, &refused)) return true;
  return WriteBackup(install_path, archive, plan.TouchedFiles(), backup_path, failure);
}

bool RestoreBackup(const std::u16string& install_path, const std::u16string& backup_path,
                   RestoreResult* result, platform::AppMessage* failure) {
  static constexpr char16_t kFunc[] = u"import_backup::RestoreBackup";
  *result = RestoreResult();
  const auto fail = [&](const std::u16string& reason) {
    DEBUG_LOG(70, u"%s - cannot restore %s: %s", kFunc, backup_path, reason);
    *failure = platform::AppMessage(platform::kMsgRestoreFailed, backup_path, reason);
    return false;
  };
  std::string install;
  std::string backup;
  if (!import_paths::ToSystemPath(install_path, &install) ||
      !import_paths::ToSystemPath(backup_path, &backup)) {
    return fail(u"its path or the install folder's is longer than 259 bytes");
  }
  Manifest manifest;
  std::u16string reason;
  try {
    CUnzip unzip;
    RestoreContext context;
    if (unzip.Open(backup.c_str()) != 0) {
      reason = u"it cannot be read as a backup";
    } else if (ReadManifest(unzip, install, &manifest, &reason)) {
      for (const SavedFile& file : manifest.files) {
        if (file.present) {
          context.names.insert(platform::Utf16ToUtf8(platform::FoldCaseCopy(file.name)));
        }
      }
      const int extracted =
          unzip.ExtractAll(install.c_str(), true, true, &ExtractSavedFile, &context);
      if (extracted != 0)
        reason = platform::Format(u"its extraction stopped (zip error %d)", extracted);
    }
  } catch (const CWinFileException& e) {
    reason = u"unable to write " + platform::FromSystemCodePage(e.GetPath()) + u": " +
             platform::FromSystemCodePage(platform::SystemErrorText(e.GetError()));
  } catch (const CZipCommonException& e) {
    reason = platform::FromSystemCodePage(platform::SystemErrorText(e.GetError()));
  }
  if (!reason.empty()) return fail(reason);

  for (const SavedFile& file : manifest.files) {
    const std::u16string path = install_path + file.name;
    if (!file.present) {
      if (!platform::PathExists(path)) continue;
      const platform::Status deleted = platform::DeleteFile(path);
      if (!deleted.ok())
        return fail(u"unable to delete " + path + u": " +
                    platform::FromSystemCodePage(deleted.message()));
      ++result->removed;
      continue;
    }
    // Extraction leaves out empty files.
    if (file.size == 0) {
      const platform::Status written = platform::WriteFileAtomically(path, "");
      if (!written.ok()) return fail(u"unable to write " + path);
    }
    platform::FileInfo info;
    if (!platform::GetFileInfo(path, &info).ok() || info.size != file.size ||
        !platform::SetFileTimes(path, file.modified_ns, file.modified_ns).ok()) {
      return fail(u"unable to restore " + path);
    }
    ++result->restored;
  }
  DEBUG_LOG(68, u"%s - restored %d file(s) and removed %d from %s", kFunc, result->restored,
            result->removed, backup_path);
  return true;
}

std::vector<BackupInfo> ListBackups(const std::u16string& install_path) {
  std::vector<BackupInfo> backups;
  const std::u16string folder = BackupFolder(install_path);
  std::vector<platform::FolderEntry> entries;
  std::string install;
  if (!platform::ListFolder(folder, &entries).ok() ||
      !import_paths::ToSystemPath(install_path, &install)) {
    return backups;
  }
  for (const platform::FolderEntry& entry : entries) {
    const std::u16string_view name = entry.name;
    if (entry.is_folder || name.size() < kBackupPrefix.size() + 4 ||
        name.substr(0, kBackupPrefix.size()) != kBackupPrefix ||
        name.substr(name.size() - 4) != u".zip") {
      continue;
    }
    BackupInfo info;
    info.path = folder + entry.name;
    try {
      CUnzip unzip;
      std::u16string error;
      info.readable = unzip.Open(platform::ToSystemCodePage(info.path).c_str()) == 0 &&
                      ReadManifest(unzip, install, &info.manifest, &error);
    } catch (const CZipCommonException&) {
      info.readable = false;
    }
    backups.push_back(std::move(info));
  }
  return backups;
}

}  // namespace import_backup
