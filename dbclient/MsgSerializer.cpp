#include "dbclient/MsgSerializer.h"

#include <algorithm>
#include <cstring>

#include "platform/format.h"
#include "platform/system.h"

namespace {

// The message start as the service expects it; frozen.
constexpr uint8_t kHeaderByte0 = 0x20;
constexpr uint8_t kHeaderByte1 = 0xAC;
constexpr size_t kFlagsByte = 4;
constexpr int32_t kIdMajor = 1;
constexpr int32_t kIdMinor = 5;
constexpr char16_t kNoCommandName[] = u"NULL";

// Bytes of an item's count, before the header's own bytes.
constexpr uint32_t kCountBytes = 4;

}  // namespace

CMsgSerializer::CMsgSerializer(const char16_t* commandName, int32_t mode)
    : CMsgSerializer(commandName, mode, platform::GetTickCount(), platform::GetCurrentThreadId()) {}

CMsgSerializer::CMsgSerializer(const char16_t* commandName, int32_t mode, uint32_t tickCount,
                               uint32_t threadId)
    : m_wstrCommandName(commandName != nullptr ? commandName : kNoCommandName),
      m_wstrMessageId(MakeMessageId(m_wstrCommandName, tickCount, threadId)) {
  WriteMessageStart();
  if (mode == kModeFile) MoveToFile();
}

std::u16string CMsgSerializer::MakeMessageId(std::u16string_view commandName, uint32_t tickCount,
                                             uint32_t threadId) {
  return platform::Format(u"%.2d%.2d%s%d%d", kIdMajor, kIdMinor, commandName,
                          static_cast<int32_t>(tickCount), static_cast<int32_t>(threadId));
}

void CMsgSerializer::WriteMessageStart() {
  m_header.fill(0);
  m_header[0] = kHeaderByte0;
  m_header[1] = kHeaderByte1;
  WriteBlock(m_header.data(), kHeaderBytes);
  *this << m_wstrCommandName << m_wstrMessageId;
  SkipItem();
  m_dwHeaderPos = GetLastItemPos();
  SkipItem();
  SkipItem();
}

bool CMsgSerializer::Reset() {
  CSerializer::Reset();
  WriteMessageStart();
  return true;
}

void CMsgSerializer::Load(const void* bytes, uint32_t size) {
  CSerializer::Load(bytes, size);
  // A header of another length is taken as far as it goes, so that the
  // items behind it are still found.
  const Item header = ReadItem(false);
  m_header.fill(0);
  if (header.dwCount != 0) {
    std::memcpy(m_header.data(), header.pBytes, std::min(header.dwCount, kHeaderBytes));
  }
  *this >> m_wstrCommandName >> m_wstrMessageId;
  if ((m_header[kFlagsByte] & kFlagBodyInFile) != 0) {
    std::u16string path;
    *this >> path;
    // A file that cannot be opened leaves nothing to read: the first body
    // read raises the exception.
    OpenFileForReading(path);
  }
}

bool CMsgSerializer::FinishForSend() {
  if (!IsWritingToFile()) return true;
  const bool complete = CloseFile();
  const std::u16string path = GetTempFilePath();
  Reset();
  *this << path;
  m_header[kFlagsByte] =
      static_cast<uint8_t>((m_header[kFlagsByte] | kFlagBodyInFile) & ~kFlagBit0);
  std::memcpy(MutableBuffer() + m_dwHeaderPos + kCountBytes, m_header.data(), kHeaderBytes);
  return complete;
}
