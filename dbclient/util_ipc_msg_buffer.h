// The byte buffer under the database service's serialized messages.
//
// CAccBuffer is a growable memory block that moves to a temporary file when it
// gets large, so that a large body is neither held in memory nor pushed
// through the pipe. CIPCMsgBuffer adds a read position and reads items: a
// 32-bit little-endian byte count followed by that many bytes. A read that
// would run past the data raises CIPCMsgBufferException; no read ever touches
// a byte outside the data.
#ifndef PORTELLE_DBCLIENT_UTIL_IPC_MSG_BUFFER_H_
#define PORTELLE_DBCLIENT_UTIL_IPC_MSG_BUFFER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dbclient/OSException.h"
#include "platform/file_system.h"

// Raised by the reads of CIPCMsgBuffer: category 4, source file
// "util_ipc_msg_buffer", the line of the check, and the code's description
// as its text.
class CIPCMsgBufferException : public OS::CException {
 public:
  static constexpr int32_t kOutOfRange = 0;     // the data ends before the item
  static constexpr int32_t kInvalidBuffer = 1;  // there is no data block at all
  // A buffer that does not own its block; every buffer here owns its block,
  // so the code only keeps its description.
  static constexpr int32_t kNotOwner = 2;
  static constexpr int32_t kCategory = 4;

  CIPCMsgBufferException(int32_t code, int32_t line);

  // "Out of range", "Invalid buffer", "Not owner"; empty for other codes.
  virtual std::u16string GetCodeDescription() const;
};

class CAccBuffer {
 public:
  // The block grows in whole multiples of this many bytes.
  static constexpr int32_t kGrowthUnit = 1024;
  // A block with a larger capacity sends further appends to a file.
  static constexpr int32_t kMaxMemoryCapacity = 0x1FFFFF;
  static constexpr char16_t kTempFilePrefix[] = u"mstmp";

  CAccBuffer() = default;
  // Frees the block, closes the file and deletes a temporary file this buffer
  // created: it only carried a body to the service, which has read it by the
  // time the message is destroyed.
  virtual ~CAccBuffer();
  CAccBuffer(const CAccBuffer&) = delete;
  CAccBuffer& operator=(const CAccBuffer&) = delete;

  // Appends `size` bytes. When the capacity already exceeds
  // kMaxMemoryCapacity and the buffer has no file yet, the unread bytes are
  // first moved to a new temporary file (if one can be made: a buffer that
  // failed once stays in memory); from then on appends go to that file.
  // Otherwise a block that is too small is replaced by one of
  // kGrowthUnit * ((size + capacity) / kGrowthUnit + 1) bytes. Throws
  // std::bad_alloc when memory is exhausted or the block would pass 2 GiB.
  void Append(const void* bytes, uint32_t size);

  // Moves the unread bytes to a new temporary file now; later appends go to
  // the file. False, with everything left in memory, when no file could be
  // created and written or the buffer already has a file.
  bool MoveToFile();

  const uint8_t* GetBuffer() const { return m_pData.get(); }
  int32_t GetCapacity() const { return m_nCapacity; }
  int32_t GetBytesUsed() const { return m_nBytesUsed; }

  // Whether appends go to the temporary file.
  bool IsWritingToFile() const { return m_file.is_open() && !m_bReadingFile; }
  // The temporary file written to, or the file a loaded body is read from.
  const std::u16string& GetTempFilePath() const { return m_wstrTempFilePath; }

 protected:
  uint8_t* MutableBuffer() { return m_pData.get(); }

  // Frees the block (used and capacity 0) and closes the file stream; the
  // file itself and its path stay.
  void FreeData();

  // Closes the file stream; false when a write to the file failed, so that
  // the file does not hold everything that was appended.
  bool CloseFile();

  // Closes the file stream, deletes the temporary file if this buffer created
  // it, and forgets the path.
  void DiscardTemporaryFile();

  // Opens `path` to read further data from; the file is not this buffer's
  // and is not deleted. False when it cannot be opened.
  bool OpenFileForReading(std::u16string_view path);

  // Moves the bytes from *position on to the front of the block (so
  // *position becomes 0) and reads more from the file opened by
  // OpenFileForReading behind them, trying for `wanted` bytes in all. The
  // stream is closed once it reaches its end. Returns the number of bytes
  // read; 0 when there is no stream to read or it has ended.
  uint32_t FetchFromFile(uint32_t* position, uint64_t wanted);

  // Where the bytes not yet read begin; what lies before is not moved to a
  // temporary file.
  virtual uint32_t UnreadOffset() const { return 0; }

 private:
  // Replaces the block by a larger one with at least `extra` free bytes.
  void Grow(uint64_t extra);

  int32_t m_nCapacity = 0;
  int32_t m_nBytesUsed = 0;
  std::unique_ptr<uint8_t[]> m_pData;
  std::u16string m_wstrTempFilePath;
  platform::File m_file;
  bool m_bReadingFile = false;  // m_file is a body to read, not a file to write
  bool m_bDeleteFile = false;   // the temporary file is this buffer's own
  bool m_bFileWriteFailed = false;
  bool m_bNoTempFile = false;  // creating a temporary file failed; stay in memory
};

class CIPCMsgBuffer : public CAccBuffer {
 public:
  // One item as read: its bytes stay valid until the next read or append.
  struct Item {
    const uint8_t* pBytes = nullptr;
    uint32_t dwCount = 0;
  };

  CIPCMsgBuffer() = default;

  // Reads the item at the read position and moves past it. Raises
  // CIPCMsgBufferException with kInvalidBuffer when there is no data block,
  // and with kOutOfRange when fewer than 4 bytes remain for the count, or
  // fewer than count bytes after it, and no more can be fetched from a file.
  CIPCMsgBuffer& operator>>(Item& item);

  uint32_t GetCurPos() const { return m_dwCurPos; }
  uint32_t GetLastItemPos() const { return m_dwLastItemPos; }

 protected:
  // FreeData, and the read position back to 0.
  void Clear();

  // The item reader behind operator>>. A raw block read (ReadBlock) logs the
  // size error at level 2 before raising it.
  Item ReadItem(bool bRawBlock);
  // The count of the item at the read position, without moving; raises as
  // ReadItem does for the count.
  uint32_t PeekCount();
  // `size` bytes at the read position that carry no count of their own (the
  // element count of a list); raises as ReadItem does.
  const uint8_t* ReadBare(uint32_t size);

  uint32_t UnreadOffset() const override { return m_dwCurPos; }

 private:
  // Makes at least `size` bytes available at the read position, fetching from
  // a file if needed; false when the data ends before.
  bool Ensure(uint64_t size);
  uint32_t Remaining() const { return static_cast<uint32_t>(GetBytesUsed()) - m_dwCurPos; }
  void CheckBlock(int32_t line) const;

  uint32_t m_dwCurPos = 0;       // bytes from the start of the block
  uint32_t m_dwLastItemPos = 0;  // where the last item read begins
};

#endif  // PORTELLE_DBCLIENT_UTIL_IPC_MSG_BUFFER_H_
