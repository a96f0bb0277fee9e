// CMsgSerializer: a serialized message to or from the database service.
//
// Layout, in items:
//   1  32-bit value   version, 1
//   2  raw block, 16  header: byte 0 = 0x20, byte 1 = 0xAC, byte 4 = flags,
//                     all other bytes 0
//   3  wide string    command name ("NULL" when none is given)
//   4  wide string    message identifier
//   5… body, as the command defines it
// Flag bit 1 (kFlagBodyInFile) says that the body lies in a file whose path
// follows as one more wide string; bit 0 is cleared whenever bit 1 is set. A
// message built in memory has flags 0.
//
// The message identifier is "0105", the command name, the tick count and the
// thread id in signed decimal, without separators; it also names the pipe
// the reply comes back on.
//
//   CMsgSerializer msg(u"DBV2_SET_DLP_CFG");
//   msg << uids << int32_t{2};
//   msg.WriteObject(dc);
//   if (msg.FinishForSend()) send(msg.GetBytes(), msg.GetByteLength(), msg.GetMessageId());
//   msg.Load(reply.data(), reply.size());
//   msg >> status;
#ifndef PORTELLE_DBCLIENT_MSGSERIALIZER_H_
#define PORTELLE_DBCLIENT_MSGSERIALIZER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dbclient/Serializer.h"

class CMsgSerializer : public CSerializer {
 public:
  static constexpr int32_t kModeMemory = 1;  // built in memory (every command)
  static constexpr int32_t kModeFile = 2;    // moved to a temporary file at once
  static constexpr uint32_t kHeaderBytes = 16;
  static constexpr uint8_t kFlagBit0 = 0x01;
  static constexpr uint8_t kFlagBodyInFile = 0x02;

  // The identifier takes the tick count and the thread id from the platform.
  explicit CMsgSerializer(const char16_t* commandName, int32_t mode = kModeMemory);
  // The same with the tick count and the thread id given.
  CMsgSerializer(const char16_t* commandName, int32_t mode, uint32_t tickCount, uint32_t threadId);

  // Empties the buffer and writes the message start again (flags 0, the same
  // name and identifier), read back so that reading starts at the body. The
  // message stays in memory whatever its mode.
  bool Reset() override;

  // Replaces the content by a received message and reads its start; when its
  // header has kFlagBodyInFile, the path item that follows is read too and
  // the body is read on from that file. Raises CIPCMsgBufferException when
  // the bytes are empty or end within the message start.
  void Load(const void* bytes, uint32_t size) override;

  // Makes the message ready to be sent. A message in memory is left as it is.
  // A message that moved to a temporary file is rebuilt in memory as the
  // message start, with kFlagBodyInFile set and bit 0 cleared, followed by the
  // file's path; the file is closed and kept until the message is destroyed.
  // False when the file could not be written completely: such a message must
  // not be sent.
  bool FinishForSend();

  const uint8_t* GetBytes() const { return GetBuffer(); }
  uint32_t GetByteLength() const { return static_cast<uint32_t>(GetBytesUsed()); }
  const std::u16string& GetMessageId() const { return m_wstrMessageId; }
  const std::u16string& GetCommandName() const { return m_wstrCommandName; }
  uint8_t GetFlags() const { return m_header[4]; }

  static std::u16string MakeMessageId(std::u16string_view commandName, uint32_t tickCount,
                                      uint32_t threadId);

 private:
  // Writes the header (flags 0), the name and the identifier and reads them
  // back.
  void WriteMessageStart();

  std::u16string m_wstrCommandName;
  std::u16string m_wstrMessageId;
  std::array<uint8_t, kHeaderBytes> m_header{};
  uint32_t m_dwHeaderPos = 0;  // where the header item begins
};

#endif  // PORTELLE_DBCLIENT_MSGSERIALIZER_H_
