// The package data file skva.dat: one SettingAggregation, serialised and
// compressed with zlib, in the server's install folder.
//
// Byte layout (frozen; archives of every release carry it):
//   the serialised length N as unsigned decimal ASCII digits, no sign, no
//   padding, no separator, immediately followed by the zlib stream (RFC 1950,
//   as compress() writes it) of the N serialised bytes, to the end of the
//   file. The stream's first byte 0x78 is what ends the number.
//
// Both functions take `caller`, the qualified name of the operation they
// serve (u"CExportSkvaSettings::ExportConfigToFile"), as the first argument
// of their log lines. They show nothing: they return what went wrong, and
// the caller shows message 133 (kMsgDataFileCorrupted, error icon) when
// PackageStatus::corrupted() says so.
#ifndef PORTELLE_PACKAGE_PACKAGEDATAFILE_H_
#define PORTELLE_PACKAGE_PACKAGEDATAFILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "package/ServerSettings.pb.h"
#include "platform/status.h"

namespace package {

// The outcome of writing or reading a package data file.
class PackageStatus {
 public:
  enum class Kind {
    kOk,
    kCorrupted,    // compression, decompression or parse failed, or a length refused
    kOutOfMemory,  // logged only
    kCannotWrite,  // export: the file could not be created or written
    kCannotRead,   // import: the file could not be opened or read
  };

  PackageStatus() = default;
  PackageStatus(Kind kind, platform::Status file = {}) : kind_(kind), file_(std::move(file)) {}

  bool ok() const { return kind_ == Kind::kOk; }
  Kind kind() const { return kind_; }
  // Whether the user is shown message 133 for it: the package is damaged,
  // or the archive did not deliver a readable one.
  bool corrupted() const { return kind_ == Kind::kCorrupted || kind_ == Kind::kCannotRead; }
  // For kCannotWrite and kCannotRead: the system's reason, the operation and
  // the path.
  const platform::Status& file_status() const { return file_; }

 private:
  Kind kind_ = Kind::kOk;
  platform::Status file_;
};

inline constexpr std::u16string_view kPackageDataFileName = u"skva.dat";

// The largest stored length a reader accepts: beyond it the file is refused
// as corrupt before anything is allocated.
inline constexpr uint64_t kMaxPackageBytes = uint64_t{1} << 30;
// zlib's largest expansion: a deflate stream never yields more than 1032
// bytes per compressed byte, so a stored length above
// kMaxExpansion * C + kExpansionMargin cannot come from C compressed bytes.
inline constexpr uint64_t kMaxExpansion = 1032;
inline constexpr uint64_t kExpansionMargin = 64;

// Domain records serialised one at a time, as an export reads them, so that
// the package is never held as parsed records as well as serialised. They
// are kept in chunks of about 1 MiB, each filled before the next is begun:
// one buffer grown to the package's size would be copied as it grows.
class SerializedRecords {
 public:
  // Appends `record` as one more scanConfigs entry of a SettingAggregation:
  // its tag, its length and its bytes.
  void Append(const SKVA_Server_Settings::ScanConfigs& record);

  size_t bytes() const { return bytes_; }
  size_t count() const { return count_; }
  const std::vector<std::string>& chunks() const { return chunks_; }

  // Adds every record appended, parsed again, to package->scanConfigs.
  void ParseInto(SKVA_Server_Settings::SettingAggregation* package) const;

 private:
  std::vector<std::string> chunks_;
  size_t bytes_ = 0;
  size_t count_ = 0;
};

// The domain records of a decoded package, kept serialised: an import
// parses one record at a time, so that the package is never held parsed as
// well as serialised. Every record was checked to parse when the package was
// decoded.
class PackageRecords {
 public:
  size_t size() const { return spans_.size(); }
  // Parses record `index` (below size()) into *record.
  void Parse(size_t index, SKVA_Server_Settings::ScanConfigs* record) const;
  // Takes the decoded package's bytes and where each record lies in them.
  void Assign(std::string bytes, std::vector<std::pair<size_t, size_t>> spans);
  // Releases the records.
  void Clear() { Assign({}, {}); }

 private:
  std::string bytes_;
  std::vector<std::pair<size_t, size_t>> spans_;  // offset and length
};

// install_path + "skva.dat"; `install_path` ends in a separator.
std::u16string PackageDataFilePath(std::u16string_view install_path);

// Serialises `package` and writes it, compressed, to install_path +
// "skva.dat", replacing an existing file. The output buffer of compress() is
// exactly as large as the serialised message, so a package that does not
// shrink under compression cannot be written: that is kCorrupted, like every
// other compression error. A file that cannot be created or written is
// kFileError with the system's reason. The bytes go to install_path +
// "skva.dat.part" first, which is renamed to skva.dat when complete (and
// removed when not), so skva.dat is never there half-written. The file is
// left for the caller, which archives and deletes it.
PackageStatus WritePackageDataFile(const SKVA_Server_Settings::SettingAggregation& package,
                                   std::u16string_view install_path, std::u16string_view caller);

// The same for `package` with `records` after its own scanConfigs entries:
// the file holds exactly what the one message would give. The serialised
// bytes are compressed piece by piece, never copied into one buffer, and the
// records are released before the file is written.
PackageStatus WritePackageDataFile(const SKVA_Server_Settings::SettingAggregation& package,
                                   SerializedRecords records, std::u16string_view install_path,
                                   std::u16string_view caller);

// Reads install_path + "skva.dat" into *package. corrupted() when the file
// cannot be opened or read (with its file_status()), when its stored length
// is refused (above kMaxPackageBytes, beyond zlib's expansion of the
// compressed bytes, or out of range), when uncompress() fails and when the
// bytes are not a SettingAggregation; kOutOfMemory when memory runs out.
// Bytes after the zlib stream are ignored. On failure *package is empty. The
// file is not deleted: the import deletes it after every call, whatever the
// result.
PackageStatus ReadPackageDataFile(std::u16string_view install_path, std::u16string_view caller,
                                  SKVA_Server_Settings::SettingAggregation* package);

// Decodes the bytes of a package data file held in memory (the length
// prefix and the zlib stream) into *package, which the caller has cleared,
// with the checks and results of ReadPackageDataFile. On failure *package
// may hold a part of the message.
PackageStatus DecodePackageData(std::string_view file_bytes, std::u16string_view caller,
                                SKVA_Server_Settings::SettingAggregation* package);

// The same, with the package's domain records left serialised in *records
// (set only on success) and *package holding every other field. A package is
// accepted or refused exactly as by the function above.
PackageStatus DecodePackageData(std::string_view file_bytes, std::u16string_view caller,
                                SKVA_Server_Settings::SettingAggregation* package,
                                PackageRecords* records);

}  // namespace package

#endif  // PORTELLE_PACKAGE_PACKAGEDATAFILE_H_
