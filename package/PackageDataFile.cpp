#include "package/PackageDataFile.h"

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/wire_format_lite.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

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

// Parses the serialised package `data` into *package but for its domain
// records, whose places go to *spans instead; each of them is parsed once,
// to check it, and dropped. False where parsing the whole message would fail.
bool SplitRecords(const std::string& data, SKVA_Server_Settings::SettingAggregation* package,
                  std::vector<std::pair<size_t, size_t>>* spans) {
  using google::protobuf::internal::WireFormatLite;
  constexpr uint32_t kRecordTag = (2 << 3) | WireFormatLite::WIRETYPE_LENGTH_DELIMITED;
  google::protobuf::io::CodedInputStream input(reinterpret_cast<const uint8_t*>(data.data()),
                                               static_cast<int>(data.size()));
  input.SetTotalBytesLimit(static_cast<int>(data.size()));
  package->Clear();
  std::string others;  // every other field, as it stands
  SKVA_Server_Settings::ScanConfigs record;
  for (;;) {
    const auto start = static_cast<size_t>(input.CurrentPosition());
    const uint32_t tag = input.ReadTag();
    if (tag == 0) break;
    if (tag == kRecordTag) {
      uint32_t length = 0;
      if (!input.ReadVarint32(&length) || length > data.size() - input.CurrentPosition()) {
        return false;
      }
      const auto offset = static_cast<size_t>(input.CurrentPosition());
      if (!record.ParseFromArray(data.data() + offset, static_cast<int>(length))) return false;
      spans->emplace_back(offset, length);
      input.Skip(static_cast<int>(length));
      continue;
    }
    if (!WireFormatLite::SkipField(&input, tag)) return false;
    others.append(data, start, static_cast<size_t>(input.CurrentPosition()) - start);
  }
  // A zero tag, or a tag that cannot be read, ends a message only at its end.
  return input.ConsumedEntireMessage() && package->ParseFromString(others);
}

// What compress() makes of the concatenated `pieces`, into `out` of
// *out_size bytes: deflate's output does not depend on how its input is
// split, so the stream is byte for byte the one compress() writes for the
// pieces joined. Returns compress()'s codes; *out_size becomes the length.
int CompressPieces(const std::vector<std::string_view>& pieces, char* out, uLongf* out_size) {
  z_stream stream = {};
  int result = deflateInit(&stream, Z_DEFAULT_COMPRESSION);
  if (result != Z_OK) return result;
  stream.next_out = reinterpret_cast<Bytef*>(out);
  stream.avail_out = static_cast<uInt>(*out_size);
  for (const std::string_view piece : pieces) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    stream.avail_in = static_cast<uInt>(piece.size());
    while (stream.avail_in > 0 && result == Z_OK) result = deflate(&stream, Z_NO_FLUSH);
  }
  if (result == Z_OK) result = deflate(&stream, Z_FINISH);
  *out_size = stream.total_out;
  deflateEnd(&stream);
  if (result == Z_STREAM_END) return Z_OK;
  // Output space ran out before the stream was complete.
  return result == Z_OK ? Z_BUF_ERROR : result;
}

}  // namespace

void SerializedRecords::Append(const SKVA_Server_Settings::ScanConfigs& record) {
  constexpr size_t kChunkBytes = size_t{1} << 20;
  constexpr char kRecordTag = (2 << 3) | 2;  // field 2, length-delimited
  const size_t length = record.ByteSizeLong();
  char prefix[1 + 10] = {kRecordTag};
  size_t prefix_size = 1;
  for (uint64_t rest = length;; rest >>= 7) {
    const auto low = static_cast<char>(rest & 0x7F);
    if (rest < 0x80) {
      prefix[prefix_size++] = low;
      break;
    }
    prefix[prefix_size++] = static_cast<char>(low | 0x80);
  }
  const size_t needed = prefix_size + length;
  if (chunks_.empty() || chunks_.back().size() + needed > chunks_.back().capacity()) {
    chunks_.emplace_back().reserve(std::max(kChunkBytes, needed));
  }
  std::string& chunk = chunks_.back();
  chunk.append(prefix, prefix_size);
  record.AppendToString(&chunk);
  bytes_ += needed;
  ++count_;
}

void PackageRecords::Parse(size_t index, SKVA_Server_Settings::ScanConfigs* record) const {
  const auto [offset, length] = spans_[index];
  record->ParseFromArray(bytes_.data() + offset, static_cast<int>(length));
}

void PackageRecords::Assign(std::string bytes, std::vector<std::pair<size_t, size_t>> spans) {
  bytes_ = std::move(bytes);
  spans_ = std::move(spans);
}

void SerializedRecords::ParseInto(SKVA_Server_Settings::SettingAggregation* package) const {
  SKVA_Server_Settings::SettingAggregation parsed;
  for (const std::string& chunk : chunks_) parsed.MergeFromString(chunk);
  package->MergeFrom(parsed);
}

PackageStatus DecodePackageData(std::string_view file_bytes, std::u16string_view caller,
                                SKVA_Server_Settings::SettingAggregation* package) {
  return DecodePackageData(file_bytes, caller, package, nullptr);
}

PackageStatus DecodePackageData(std::string_view file_bytes, std::u16string_view caller,
                                SKVA_Server_Settings::SettingAggregation* package,
                                PackageRecords* records) {
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
  data.resize(produced);
  std::vector<std::pair<size_t, size_t>> spans;
  const bool parsed =
      records == nullptr ? package->ParseFromString(data) : SplitRecords(data, package, &spans);
  if (!parsed) {
    DEBUG_LOG(70, u"%s - ImportSetting:parse error -> not a settings package", caller);
    return Kind::kCorrupted;
  }
  if (records != nullptr) records->Assign(std::move(data), std::move(spans));
  return {};
}

std::u16string PackageDataFilePath(std::u16string_view install_path) {
  std::u16string path(install_path);
  path += kPackageDataFileName;
  return path;
}

PackageStatus WritePackageDataFile(const SKVA_Server_Settings::SettingAggregation& package,
                                   std::u16string_view install_path, std::u16string_view caller) {
  return WritePackageDataFile(package, SerializedRecords(), install_path, caller);
}

PackageStatus WritePackageDataFile(const SKVA_Server_Settings::SettingAggregation& package,
                                   SerializedRecords records, std::u16string_view install_path,
                                   std::u16string_view caller) {
  // A message serialises its fields in the order of their numbers: the
  // version (1), the records (2), then the rest (3 to 5).
  std::string head;
  std::string tail;
  SerializedRecords own;
  std::unique_ptr<char[]> compressed;
  size_t size = 0;
  try {
    SKVA_Server_Settings::SettingAggregation fields;
    if (package.has_original_skva_ver()) fields.set_original_skva_ver(package.original_skva_ver());
    bool serialised = fields.SerializeToString(&head);
    for (const SKVA_Server_Settings::ScanConfigs& record : package.scanconfigs()) {
      own.Append(record);
    }
    fields.Clear();
    if (package.has_global_config_string()) {
      fields.set_global_config_string(package.global_config_string());
    }
    if (package.has_original_servicepack_ver()) {
      fields.set_original_servicepack_ver(package.original_servicepack_ver());
    }
    if (package.has_original_patch_ver()) {
      fields.set_original_patch_ver(package.original_patch_ver());
    }
    serialised = serialised && fields.SerializeToString(&tail);
    if (!serialised) {
      DEBUG_LOG(69, u"%s - ExportSetting:serialize error", caller);
      return Kind::kCorrupted;
    }
    size = head.size() + own.bytes() + records.bytes() + tail.size();
    // As large as the input, not compressBound(): the layout has always been
    // written this way, and a package that does not shrink is refused. Left
    // uninitialised, so that only the pages compress() fills become
    // resident: a package of 10,000 domains compresses to a thirtieth.
    compressed.reset(new char[std::max<size_t>(size, 1)]);
  } catch (const std::bad_alloc&) {
    DEBUG_LOG(69, u"%s - failed to allocate memory!", caller);
    return Kind::kOutOfMemory;
  }

  std::vector<std::string_view> pieces = {head};
  for (const SerializedRecords* part : {&own, &records}) {
    for (const std::string& chunk : part->chunks()) pieces.push_back(chunk);
  }
  pieces.push_back(tail);
  uLongf compressed_size = static_cast<uLongf>(size);
  const int result = CompressPieces(pieces, compressed.get(), &compressed_size);
  if (result != Z_OK) {
    if (result == Z_BUF_ERROR) {
      DEBUG_LOG(68, u"%s - ExportSetting:compress error -> buffer too small", caller);
    } else if (result == Z_MEM_ERROR) {
      DEBUG_LOG(69, u"%s - ExportSetting:compress error -> not enough memory", caller);
    }
    return Kind::kCorrupted;
  }
  // The serialised records are no longer needed.
  pieces.clear();
  records = SerializedRecords();
  own = SerializedRecords();

  return WriteFileContent(PackageDataFilePath(install_path), std::to_string(size),
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
