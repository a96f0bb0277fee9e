#include "package/PackageDataFile.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>

#include "log/DebugLog.h"
#include "platform/file_system.h"

namespace package {
namespace {

constexpr char16_t kLogSource[] = u"PackageDataFile";

using Kind = PackageStatus::Kind;

// Writes the length prefix and the stream under a temporary name beside
// `path` and renames it to `path` once complete, so that a stopped or failed
// export never leaves a truncated package under the file's name. A partly
// written temporary file is removed. The file holds clear-text passwords:
// it is created owner-only, as a new file of its own (whatever was left
// under the temporary name, a planted link included, is removed first and
// never written through), and the rename replaces a link at `path` itself.
PackageStatus WriteFileContent(const std::u16string& path, std::string_view prefix,
                               std::string_view stream, std::u16string_view caller) {
  const std::u16string partial = path + u".part";
  platform::DeleteFile(partial);
  platform::File file;
  platform::Status status =
      file.Open(partial, platform::File::Mode::kCreateNew, platform::Access::kOwnerOnly);
  if (!status.ok()) {
    DEBUG_LOG(70, u"%s - ExportSetting:write error -> %S", caller, status.message());
    return PackageStatus(Kind::kCannotWrite, status);
  }
  status = file.Write(prefix.data(), prefix.size());
  if (status.ok()) status = file.Write(stream.data(), stream.size());
  const platform::Status closed = file.Close();
  if (status.ok()) status = closed;
  if (status.ok()) status = platform::MoveFile(partial, path, true);
  if (!status.ok()) {
    DEBUG_LOG(70, u"%s - ExportSetting:write error -> %S", caller, status.message());
    platform::DeleteFile(partial);
    return PackageStatus(Kind::kCannotWrite, status);
  }
  return {};
}

// The length prefix as a stream's formatted unsigned extraction reads it:
// white space skipped, then the digits up to the first non-digit.
struct StoredLength {
  bool found = false;    // at least one digit
  bool in_range = true;  // the digits fit 64 bits
  uint64_t value = 0;
  size_t end = 0;  // offset just after the digits
  std::string_view digits;
};

bool IsStreamSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

StoredLength ParseStoredLength(std::string_view bytes) {
  StoredLength length;
  size_t pos = 0;
  while (pos < bytes.size() && IsStreamSpace(bytes[pos])) ++pos;
  const size_t first = pos;
  for (; pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9'; ++pos) {
    const uint64_t digit = static_cast<uint64_t>(bytes[pos] - '0');
    if (length.value > (UINT64_MAX - digit) / 10) {
      length.in_range = false;
    } else {
      length.value = length.value * 10 + digit;
    }
  }
  length.found = pos > first;
  length.end = pos;
  length.digits = bytes.substr(first, pos - first);
  return length;
}

// Reads the whole file; the system's reason when it cannot be opened or read.
platform::Status ReadFileContent(const std::u16string& path, std::u16string_view caller,
                                 std::string* bytes) {
  platform::File file;
  platform::Status status = file.Open(path, platform::File::Mode::kRead);
  if (!status.ok()) return status;
  char chunk[65536];
  for (;;) {
    size_t read = 0;
    status = file.Read(chunk, sizeof chunk, &read);
    if (!status.ok()) {
      DEBUG_LOG(70, u"%s - ImportSetting:read error -> %S", caller, status.message());
      return status;
    }
    if (read == 0) return status;
    bytes->append(chunk, read);
  }
}

PackageStatus ReadPackage(std::u16string_view install_path, std::u16string_view caller,
                          SKVA_Server_Settings::SettingAggregation* package) {
  std::string file_bytes;
  try {
    const platform::Status read =
        ReadFileContent(PackageDataFilePath(install_path), caller, &file_bytes);
    if (!read.ok()) return PackageStatus(Kind::kCannotRead, read);
  } catch (const std::bad_alloc&) {
    DEBUG_LOG(70, u"%s - failed to allocate memory!", caller);
    return Kind::kOutOfMemory;
  }
  return DecodePackageData(file_bytes, caller, package);
}

}  // namespace

PackageStatus DecodePackageData(std::string_view file_bytes, std::u16string_view caller,
                                SKVA_Server_Settings::SettingAggregation* package) {
  // Without a number nothing is read as stream either; uncompress() then
  // fails on the empty input.
  const StoredLength length = ParseStoredLength(file_bytes);
  const std::string_view stream =
      length.found ? std::string_view(file_bytes).substr(length.end) : std::string_view();
  const uint64_t stored = length.found ? length.value : 0;

  // The stored length is the size of the buffer allocated below, so a
  // corrupt or hostile prefix must not reach the allocation unchecked.
  if (!length.in_range || stored > kMaxPackageBytes ||
      stored > kMaxExpansion * stream.size() + kExpansionMargin) {
    DEBUG_LOG(70, u"%s - ImportSetting:data length %S refused for %llu compressed bytes", caller,
              length.digits, static_cast<uint64_t>(stream.size()));
    return Kind::kCorrupted;
  }

  std::string data;
  try {
    data.resize(stored);
  } catch (const std::bad_alloc&) {
    DEBUG_LOG(70, u"%s - failed to allocate memory!", caller);
    return Kind::kOutOfMemory;
  }

  uLongf produced = static_cast<uLongf>(stored);
  const int result =
      uncompress(reinterpret_cast<Bytef*>(data.data()), &produced,
                 reinterpret_cast<const Bytef*>(stream.data()), static_cast<uLong>(stream.size()));
  if (result != Z_OK) {
    if (result == Z_BUF_ERROR) {
      DEBUG_LOG(70, u"%s - ImportSetting:decompress error -> buffer too small", caller);
    } else if (result == Z_MEM_ERROR) {
      DEBUG_LOG(70, u"%s - ImportSetting:decompress error -> not enough memory", caller);
    }
    return Kind::kCorrupted;
  }

  // A package that does not parse is refused as a whole: importing the
  // fields read before the fault would apply a part of someone's settings.
  if (!package->ParseFromArray(data.data(), static_cast<int>(produced))) {
    DEBUG_LOG(70, u"%s - ImportSetting:parse error -> not a settings package", caller);
    return Kind::kCorrupted;
  }
  return {};
}

std::u16string PackageDataFilePath(std::u16string_view install_path) {
  std::u16string path(install_path);
  path += kPackageDataFileName;
  return path;
}

PackageStatus WritePackageDataFile(const SKVA_Server_Settings::SettingAggregation& package,
                                   std::u16string_view install_path, std::u16string_view caller) {
  std::string serialised;
  std::unique_ptr<char[]> compressed;
  try {
    if (!package.SerializeToString(&serialised)) {
      DEBUG_LOG(69, u"%s - ExportSetting:serialize error", caller);
      return Kind::kCorrupted;
    }
    // As large as the input, not compressBound(): the layout has always been
    // written this way, and a package that does not shrink is refused. Left
    // uninitialised, so that only the pages compress() fills become
    // resident: a package of 10,000 domains compresses to a thirtieth.
    compressed.reset(new char[std::max<size_t>(serialised.size(), 1)]);
  } catch (const std::bad_alloc&) {
    DEBUG_LOG(69, u"%s - failed to allocate memory!", caller);
    return Kind::kOutOfMemory;
  }

  uLongf compressed_size = static_cast<uLongf>(serialised.size());
  const int result = compress(reinterpret_cast<Bytef*>(compressed.get()), &compressed_size,
                              reinterpret_cast<const Bytef*>(serialised.data()),
                              static_cast<uLong>(serialised.size()));
  if (result != Z_OK) {
    if (result == Z_BUF_ERROR) {
      DEBUG_LOG(68, u"%s - ExportSetting:compress error -> buffer too small", caller);
    } else if (result == Z_MEM_ERROR) {
      DEBUG_LOG(69, u"%s - ExportSetting:compress error -> not enough memory", caller);
    }
    return Kind::kCorrupted;
  }

  return WriteFileContent(PackageDataFilePath(install_path), std::to_string(serialised.size()),
                          std::string_view(compressed.get(), compressed_size), caller);
}

PackageStatus ReadPackageDataFile(std::u16string_view install_path, std::u16string_view caller,
                                  SKVA_Server_Settings::SettingAggregation* package) {
  package->Clear();
  const PackageStatus status = ReadPackage(install_path, caller, package);
  if (!status.ok()) package->Clear();
  return status;
}

}  // namespace package
