// Typed items in a CIPCMsgBuffer, and the records that write and read
// themselves through them.
//
// Item layouts (all integers little-endian, all text UTF-16LE):
//   16-bit value   count 2, the value
//   32-bit value   count 4, the value (signed or unsigned alike)
//   wide string    count 2 x characters + 2, the characters and a NUL; an
//                  absent (null) string is written as the empty string
//   raw block      the caller's length, the caller's bytes
//   list           a bare 32-bit element count with no count of its own,
//                  then one item per element
//
// Every buffer opens with the version item (a 32-bit value, 1).
//
//   CSerializer s;
//   s << uint32_t{2} << u"text" << uids;
//   s.Load(reply, size);
//   s >> status;
#ifndef PORTELLE_DBCLIENT_SERIALIZER_H_
#define PORTELLE_DBCLIENT_SERIALIZER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/util_ipc_msg_buffer.h"

class CSerializer;

// A record that writes itself as items and reads itself back in the same
// order.
class ISerializable {
 public:
  virtual ~ISerializable();
  // Reads the record's items; a read past the data raises
  // CIPCMsgBufferException.
  virtual bool Deserialize(CSerializer& serializer) = 0;
  virtual bool Serialize(CSerializer& serializer) const = 0;
};

class ISerializer {
 public:
  virtual ~ISerializer();
  // Bytes of data in the memory block.
  virtual int32_t GetDataSize() const = 0;
  // Reads a raw block into `buffer` of `size` bytes: when the buffer is given
  // and holds the item, the buffer is zeroed, the item's bytes are copied and
  // the read position moves past it. Otherwise `size` receives the item's
  // byte count and the read fails without moving.
  virtual bool ReadBlock(void* buffer, uint32_t& size) = 0;
  // Appends `size` bytes as one raw block; false for a null `bytes`.
  virtual bool WriteBlock(const void* bytes, uint32_t size) = 0;
};

class CSerializer : public ISerializer, public CIPCMsgBuffer {
 public:
  static constexpr uint32_t kVersion = 1;

  // Writes the version item and reads it back, so that reading starts behind
  // it.
  CSerializer();
  ~CSerializer() override;

  int32_t GetDataSize() const override { return GetBytesUsed(); }
  bool ReadBlock(void* buffer, uint32_t& size) override;
  bool WriteBlock(const void* bytes, uint32_t size) override;

  // Calls the record's Serialize or Deserialize with this serializer.
  virtual bool WriteObject(const ISerializable& object);
  virtual bool ReadObject(ISerializable& object);

  // Empties the buffer and writes the version item again, read back.
  virtual bool Reset();

  // Replaces the content by `size` received bytes (a null `bytes` is none)
  // and reads their version item. A temporary file of this buffer's own is
  // deleted first: the exchange it served is over.
  virtual void Load(const void* bytes, uint32_t size);

  CSerializer& operator<<(uint16_t value);
  CSerializer& operator<<(int16_t value);
  CSerializer& operator<<(uint32_t value);
  CSerializer& operator<<(int32_t value);
  CSerializer& operator<<(std::u16string_view text);
  CSerializer& operator<<(const char16_t* text);  // null: the empty string
  CSerializer& operator<<(const std::vector<std::u16string>& list);
  CSerializer& operator<<(const std::vector<int32_t>& list);

  // A typed read takes the next item whatever its count says: its first
  // bytes make the value, and an item shorter than the type leaves the high
  // bytes 0. A string ends at its first NUL or with the item. Every read
  // raises CIPCMsgBufferException when the item does not lie within the data.
  CSerializer& operator>>(uint16_t& value);
  CSerializer& operator>>(int16_t& value);
  CSerializer& operator>>(uint32_t& value);
  CSerializer& operator>>(int32_t& value);
  CSerializer& operator>>(std::u16string& text);
  // Lists are read into a cleared vector.
  CSerializer& operator>>(std::vector<std::u16string>& list);
  CSerializer& operator>>(std::vector<int32_t>& list);

 protected:
  // Reads one item and drops it.
  void SkipItem() { ReadItem(false); }

 private:
  void WriteVersion();
  void AppendCount(uint32_t count);
  // The first `size` bytes of the next item, zero-extended, as an integer.
  uint32_t ReadInteger(uint32_t size);
};

#endif  // PORTELLE_DBCLIENT_SERIALIZER_H_
