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

}  // namespace package

#endif  // PORTELLE_PACKAGE_PACKAGEDATAFILE_H_
