// The backup an import takes before it writes anything, and its restore.
//
// A backup is one zip archive in the backup folder of the install folder,
// named after the local date and time it was taken
// (portelle-backup-YYYYMMDD-HHMMSS.zip). It holds every file the import is
// about to change, as a member under the file's name relative to the
// install folder, and a list of those files, kManifestName, that records
// each file's size and last-write time to the nanosecond, or that the file
// did not exist: the restore puts each file back with its bytes and time,
// and removes the files the import created.
//
// Only files are saved. Domains and scan configurations an import sends to
// the database service stay: no database command removes them.
#ifndef PORTELLE_IMPORT_IMPORTBACKUP_H_
#define PORTELLE_IMPORT_IMPORTBACKUP_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_table.h"

namespace import_backup {

// The folder below the install folder that holds the backups.
inline constexpr std::u16string_view kBackupFolderName = u"Backup";
inline constexpr std::u16string_view kBackupPrefix = u"portelle-backup-";
// The member listing the saved files (frozen: restores of every release read
// it). UTF-8 text, one line each, fields separated by TAB:
//   "portelle-backup 1"
//   "archive" TAB the archive imported
//   "file" TAB size TAB last-write time (ns since 1970, UTC) TAB name
//   "absent" TAB name
// Names are relative to the install folder, with backslashes.
inline constexpr std::u16string_view kManifestName = u"portelle-backup.txt";

struct SavedFile {
  std::u16string name;
  bool present = false;
  uint64_t size = 0;
  int64_t modified_ns = 0;
};

struct Manifest {
  std::u16string archive;
  std::vector<SavedFile> files;
};

std::string ManifestText(const Manifest& manifest);
// False, with *error, for text that is not a manifest or names a file
// outside the install folder.
bool ParseManifest(std::string_view text, Manifest* manifest, std::u16string* error);

// install_path + kBackupFolderName, with a trailing separator.
std::u16string BackupFolder(const std::u16string& install_path);

// Saves the files `names` (relative to the install folder) that exist, and
// records those that do not, into a new backup for an import of `archive`.
// *backup_path receives its full path. On failure no backup is left and
// *failure names the path and the system's reason.
bool WriteBackup(const std::u16string& install_path, const std::u16string& archive,
                 const std::vector<std::u16string>& names, std::u16string* backup_path,
                 platform::AppMessage* failure);

// What an import's starter calls before the engine runs: works out the
// files an import of `archive` would change (import_plan) and saves them.
// True with *backup_path empty when the archive would be refused: the
// import then writes nothing, and there is nothing to save.
bool BackUpBeforeImport(const std::u16string& install_path, const std::u16string& archive,
                        std::u16string* backup_path, platform::AppMessage* failure);

struct RestoreResult {
  int restored = 0;  // files put back
  int removed = 0;   // files the import had created, removed
};

// Puts the files of the backup at `backup_path` back into the install
// folder, each with its bytes and last-write time, and removes the files
// that did not exist when it was taken. False, with *failure, for a backup
// that cannot be read or a file that cannot be written; files restored
// before it stay restored.
bool RestoreBackup(const std::u16string& install_path, const std::u16string& backup_path,
                   RestoreResult* result, platform::AppMessage* failure);

struct BackupInfo {
  std::u16string path;
  bool readable = false;  // its file list could be read
  Manifest manifest;
};

// The backups in the backup folder, oldest first (their names sort by time).
std::vector<BackupInfo> ListBackups(const std::u16string& install_path);

}  // namespace import_backup

#endif  // PORTELLE_IMPORT_IMPORTBACKUP_H_
