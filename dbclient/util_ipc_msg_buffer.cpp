#include "dbclient/util_ipc_msg_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "dbclient/LittleEndian.h"
#include "log/DebugLog.h"

namespace {

constexpr char16_t kLogSource[] = u"util_ipc_msg_buffer";

// Bytes of the count in front of every item.
constexpr uint32_t kCountBytes = 4;

// A fetch grows the block at most by this much or by its current capacity,
// whichever is more, so that an item whose count promises more than the file
// holds costs no more memory than the file delivers, while a large item still
// needs only a few reallocations.
constexpr uint64_t kFetchStep = 64 * 1024;

[[noreturn]] void Raise(int32_t code, int32_t line) { throw CIPCMsgBufferException(code, line); }

}  // namespace

CIPCMsgBufferException::CIPCMsgBufferException(int32_t code, int32_t line)
    : OS::CException(code, kCategory, u"", kLogSource, line) {
  SetText(GetCodeDescription());
}

std::u16string CIPCMsgBufferException::GetCodeDescription() const {
  switch (GetCode()) {
    case kOutOfRange:
      return u"Out of range";
    case kInvalidBuffer:
      return u"Invalid buffer";
    case kNotOwner:
      return u"Not owner";
    default:
      return u"";
  }
}

CAccBuffer::~CAccBuffer() { DiscardTemporaryFile(); }

void CAccBuffer::Append(const void* bytes, uint32_t size) {
  if (m_nCapacity > kMaxMemoryCapacity && m_wstrTempFilePath.empty() && !m_bNoTempFile &&
      !MoveToFile()) {
    m_bNoTempFile = true;
  }
  if (IsWritingToFile()) {
    if (!m_bFileWriteFailed && !m_file.Write(bytes, size).ok()) m_bFileWriteFailed = true;
    return;
  }
  if (size == 0) return;
  if (static_cast<uint32_t>(m_nCapacity - m_nBytesUsed) < size) Grow(size);
  std::memcpy(m_pData.get() + m_nBytesUsed, bytes, size);
  m_nBytesUsed += static_cast<int32_t>(size);
}

bool CAccBuffer::MoveToFile() {
  if (!m_wstrTempFilePath.empty()) return false;
  std::u16string path;
  platform::File file;
  if (!platform::CreateTemporaryFile(kTempFilePrefix, &path, &file).ok()) return false;
  // What has been read already (the message start) stays in memory: the file
  // carries the rest, the body.
  const uint32_t from = std::min(UnreadOffset(), static_cast<uint32_t>(m_nBytesUsed));
  if (!file.Write(m_pData.get() + from, m_nBytesUsed - from).ok()) {
    file.Close();
    platform::DeleteFile(path);
    return false;
  }
  m_file = std::move(file);
  m_wstrTempFilePath = path;
  m_bReadingFile = false;
  m_bDeleteFile = true;
  m_bFileWriteFailed = false;
  return true;
}

void CAccBuffer::FreeData() {
  m_pData.reset();
  m_nCapacity = 0;
  m_nBytesUsed = 0;
  m_file.Close();
  m_bReadingFile = false;
}

bool CAccBuffer::CloseFile() {
  const bool closed = m_file.Close().ok();
  m_bReadingFile = false;
  return closed && !m_bFileWriteFailed;
}

void CAccBuffer::DiscardTemporaryFile() {
  m_file.Close();
  if (m_bDeleteFile) platform::DeleteFile(m_wstrTempFilePath);
  m_wstrTempFilePath.clear();
  m_bReadingFile = false;
  m_bDeleteFile = false;
  m_bFileWriteFailed = false;
}

bool CAccBuffer::OpenFileForReading(std::u16string_view path) {
  DiscardTemporaryFile();
  m_wstrTempFilePath = path;
  m_bReadingFile = m_file.Open(path, platform::File::Mode::kRead).ok();
  return m_bReadingFile;
}

uint32_t CAccBuffer::FetchFromFile(uint32_t* position, uint64_t wanted) {
  if (!m_bReadingFile || !m_file.is_open()) return 0;
  const uint32_t rest = static_cast<uint32_t>(m_nBytesUsed) - *position;
  if (rest != 0 && *position != 0) std::memmove(m_pData.get(), m_pData.get() + *position, rest);
  m_nBytesUsed = static_cast<int32_t>(rest);
  *position = 0;
  const uint64_t missing = wanted > rest ? wanted - rest : 1;
  const uint32_t free_bytes = static_cast<uint32_t>(m_nCapacity - m_nBytesUsed);
  if (free_bytes < missing) {
    Grow(std::min(missing - free_bytes, std::max<uint64_t>(m_nCapacity, kFetchStep)));
  }
  size_t read = 0;
  const platform::Status status = m_file.Read(
      m_pData.get() + m_nBytesUsed, static_cast<size_t>(m_nCapacity - m_nBytesUsed), &read);
  if (!status.ok() || read == 0) {
    // The end of the body, or a file that cannot be read further: either
    // way nothing more will come.
    m_file.Close();
    m_bReadingFile = false;
    return 0;
  }
  m_nBytesUsed += static_cast<int32_t>(read);
  return static_cast<uint32_t>(read);
}

void CAccBuffer::Grow(uint64_t extra) {
  const uint64_t capacity =
      kGrowthUnit * ((extra + static_cast<uint64_t>(m_nCapacity)) / kGrowthUnit + 1);
  if (capacity > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    throw std::bad_alloc();
  }
  std::unique_ptr<uint8_t[]> block(new uint8_t[capacity]);
  if (m_nBytesUsed != 0) std::memcpy(block.get(), m_pData.get(), m_nBytesUsed);
  m_pData = std::move(block);
  m_nCapacity = static_cast<int32_t>(capacity);
}

CIPCMsgBuffer& CIPCMsgBuffer::operator>>(Item& item) {
  item = ReadItem(false);
  return *this;
}

void CIPCMsgBuffer::Clear() {
  FreeData();
  m_dwCurPos = 0;
  m_dwLastItemPos = 0;
}

bool CIPCMsgBuffer::Ensure(uint64_t size) {
  while (Remaining() < size) {
    const uint32_t before = m_dwCurPos;
    const uint32_t fetched = FetchFromFile(&m_dwCurPos, size);
    const uint32_t shift = before - m_dwCurPos;  // what moved out at the front
    m_dwLastItemPos = m_dwLastItemPos >= shift ? m_dwLastItemPos - shift : 0;
    if (fetched == 0) return false;
  }
  return true;
}

void CIPCMsgBuffer::CheckBlock(int32_t line) const {
  if (GetBuffer() == nullptr) Raise(CIPCMsgBufferException::kInvalidBuffer, line);
}

uint32_t CIPCMsgBuffer::PeekCount() {
  CheckBlock(__LINE__);
  if (!Ensure(kCountBytes)) Raise(CIPCMsgBufferException::kOutOfRange, __LINE__);
  return little_endian::Get32(GetBuffer() + m_dwCurPos);
}

CIPCMsgBuffer::Item CIPCMsgBuffer::ReadItem(bool bRawBlock) {
  const uint32_t count = PeekCount();
  // The count and the bytes are made available together, so that a fetch
  // from the file cannot separate them.
  if (!Ensure(uint64_t{kCountBytes} + count)) {
    if (bRawBlock) {
      DebugLogShort(2,
                    u"CIPCMsgBuffer::operator >>() ==> size error  "
                    u"(m_dwCurPos[%d]+iTotalBytes[%d]) > m_dwBytesUsed[%d]",
                    m_dwCurPos + kCountBytes, count, GetBytesUsed());
    }
    Raise(CIPCMsgBufferException::kOutOfRange, __LINE__);
  }
  m_dwLastItemPos = m_dwCurPos;
  Item item;
  item.pBytes = GetBuffer() + m_dwCurPos + kCountBytes;
  item.dwCount = count;
  m_dwCurPos += kCountBytes + count;
  return item;
}

const uint8_t* CIPCMsgBuffer::ReadBare(uint32_t size) {
  CheckBlock(__LINE__);
  if (!Ensure(size)) Raise(CIPCMsgBufferException::kOutOfRange, __LINE__);
  const uint8_t* bytes = GetBuffer() + m_dwCurPos;
  m_dwCurPos += size;
  return bytes;
}
