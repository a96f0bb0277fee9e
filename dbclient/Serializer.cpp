#include "dbclient/Serializer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "dbclient/LittleEndian.h"

namespace {

constexpr uint32_t kCountBytes = 4;

// String items up to this size are built on the stack.
constexpr size_t kLocalItemBytes = 1024;

}  // namespace

ISerializable::~ISerializable() = default;
ISerializer::~ISerializer() = default;

CSerializer::CSerializer() { WriteVersion(); }

CSerializer::~CSerializer() = default;

void CSerializer::WriteVersion() {
  *this << kVersion;
  SkipItem();
}

bool CSerializer::ReadBlock(void* buffer, uint32_t& size) {
  const uint32_t count = PeekCount();
  if (buffer == nullptr || size < count) {
    size = count;
    return false;
  }
  std::memset(buffer, 0, size);
  const Item item = ReadItem(true);
  if (item.dwCount != 0) std::memcpy(buffer, item.pBytes, std::min(size, item.dwCount));
  return true;
}

bool CSerializer::WriteBlock(const void* bytes, uint32_t size) {
  if (bytes == nullptr) return false;
  AppendCount(size);
  Append(bytes, size);
  return true;
}

bool CSerializer::WriteObject(const ISerializable& object) { return object.Serialize(*this); }

bool CSerializer::ReadObject(ISerializable& object) { return object.Deserialize(*this); }

bool CSerializer::Reset() {
  Clear();
  WriteVersion();
  return true;
}

void CSerializer::Load(const void* bytes, uint32_t size) {
  DiscardTemporaryFile();
  Clear();
  if (bytes != nullptr) Append(bytes, size);
  uint32_t version = 0;
  *this >> version;
}

void CSerializer::AppendCount(uint32_t count) {
  uint8_t bytes[4];
  little_endian::Put32(bytes, count);
  Append(bytes, sizeof bytes);
}

CSerializer& CSerializer::operator<<(uint16_t value) {
  uint8_t item[6];
  little_endian::Put32(item, 2);
  little_endian::Put16(item + 4, value);
  Append(item, sizeof item);
  return *this;
}

CSerializer& CSerializer::operator<<(int16_t value) {
  return *this << static_cast<uint16_t>(value);
}

CSerializer& CSerializer::operator<<(uint32_t value) {
  uint8_t item[8];
  little_endian::Put32(item, 4);
  little_endian::Put32(item + 4, value);
  Append(item, sizeof item);
  return *this;
}

CSerializer& CSerializer::operator<<(int32_t value) {
  return *this << static_cast<uint32_t>(value);
}

CSerializer& CSerializer::operator<<(std::u16string_view text) {
  // The count field cannot describe a longer string.
  if (text.size() > (std::numeric_limits<uint32_t>::max() - 6) / 2) throw std::bad_alloc();
  const uint32_t count = static_cast<uint32_t>(text.size() * 2 + 2);
  const size_t size = kCountBytes + count;
  // The item is appended in one piece: the block grows by what one append
  // needs, so appending a long string in parts would copy the block again and
  // again.
  uint8_t local[kLocalItemBytes];
  std::unique_ptr<uint8_t[]> heap;
  uint8_t* item = local;
  if (size > sizeof local) {
    heap.reset(new uint8_t[size]);
    item = heap.get();
  }
  little_endian::Put32(item, count);
  for (size_t i = 0; i < text.size(); ++i)
    little_endian::Put16(item + kCountBytes + 2 * i, text[i]);
  little_endian::Put16(item + size - 2, 0);
  Append(item, static_cast<uint32_t>(size));
  return *this;
}

CSerializer& CSerializer::operator<<(const char16_t* text) {
  return *this << (text == nullptr ? std::u16string_view() : std::u16string_view(text));
}

CSerializer& CSerializer::operator<<(const std::vector<std::u16string>& list) {
  AppendCount(static_cast<uint32_t>(list.size()));
  for (const std::u16string& text : list) *this << text;
  return *this;
}

CSerializer& CSerializer::operator<<(const std::vector<int32_t>& list) {
  AppendCount(static_cast<uint32_t>(list.size()));
  for (int32_t value : list) *this << value;
  return *this;
}

uint32_t CSerializer::ReadInteger(uint32_t size) {
  const Item item = ReadItem(false);
  // A count that differs from the type's size is accepted; only bytes the
  // item really has are used, so a short item cannot expose what follows.
  uint8_t bytes[4] = {};
  if (item.dwCount != 0) std::memcpy(bytes, item.pBytes, std::min(size, item.dwCount));
  return little_endian::Get32(bytes);
}

CSerializer& CSerializer::operator>>(uint16_t& value) {
  value = static_cast<uint16_t>(ReadInteger(2));
  return *this;
}

CSerializer& CSerializer::operator>>(int16_t& value) {
  value = static_cast<int16_t>(ReadInteger(2));
  return *this;
}

CSerializer& CSerializer::operator>>(uint32_t& value) {
  value = ReadInteger(4);
  return *this;
}

CSerializer& CSerializer::operator>>(int32_t& value) {
  value = static_cast<int32_t>(ReadInteger(4));
  return *this;
}

CSerializer& CSerializer::operator>>(std::u16string& text) {
  const Item item = ReadItem(false);
  const size_t chars = item.dwCount / 2;
  size_t length = 0;
  while (length < chars && little_endian::Get16(item.pBytes + 2 * length) != 0) ++length;
  text.resize(length);
  for (size_t i = 0; i < length; ++i) text[i] = little_endian::Get16(item.pBytes + 2 * i);
  return *this;
}

CSerializer& CSerializer::operator>>(std::vector<std::u16string>& list) {
  list.clear();
  // No room is reserved from the count: it comes from the peer, and every
  // element must still be found in the data.
  const uint32_t count = little_endian::Get32(ReadBare(4));
  for (uint32_t i = 0; i < count; ++i) {
    std::u16string text;
    *this >> text;
    list.push_back(std::move(text));
  }
  return *this;
}

CSerializer& CSerializer::operator>>(std::vector<int32_t>& list) {
  list.clear();
  const uint32_t count = little_endian::Get32(ReadBare(4));
  for (uint32_t i = 0; i < count; ++i) {
    int32_t value = 0;
    *this >> value;
    list.push_back(value);
  }
  return *this;
}
