// The records the database service's serialized commands carry. Each writes
// itself with Serialize and reads itself back with Deserialize, item by item
// in the order listed with its members; the order is shared with the service
// and must not change.
#ifndef PORTELLE_DBCLIENT_IPC_RECORDS_H_
#define PORTELLE_DBCLIENT_IPC_RECORDS_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dbclient/Serializer.h"

// A domain to create ("DBV2_CLIENT_ON_START"): one raw block of a fixed
// structure, zero-filled at construction. Only the fields the domain import
// fills have accessors. Text fields hold UTF-16LE text NUL-terminated within
// their capacity (given in characters, the NUL included); a setter refuses a
// value that does not fit (false, field unchanged) so that the caller decides
// what to do with it.
struct tagCln_CgiOnStart : public ISerializable {
  static constexpr uint32_t kSize = 14464;

  // Byte offsets and capacities in characters.
  static constexpr uint32_t kRecordTypeOffset = 4;  // 16-bit
  static constexpr uint32_t kUidOffset = 6;
  static constexpr uint32_t kUidChars = 37;
  static constexpr uint32_t kEntryNameOffset = 112;
  static constexpr uint32_t kEntryNameChars = 121;
  static constexpr uint32_t kDomainNameOffset = 354;
  static constexpr uint32_t kDomainNameChars = 2501;
  static constexpr uint32_t kVersionOffset = 5534;
  static constexpr uint32_t kVersionChars = 21;
  static constexpr uint32_t kInitialValueOffset = 6792;  // signed 32-bit
  static constexpr uint32_t kParentUidOffset = 7158;
  static constexpr uint32_t kParentUidChars = 37;

  tagCln_CgiOnStart() { m_body.fill(0); }

  // The record type; the domain import sets 2.
  void SetRecordType(uint16_t value);
  uint16_t GetRecordType() const;
  bool SetDomainUid(std::u16string_view value);
  std::u16string GetDomainUid() const;
  bool SetEntryName(std::u16string_view value);
  std::u16string GetEntryName() const;
  bool SetDomainName(std::u16string_view value);
  std::u16string GetDomainName() const;
  // The version text; the domain import sets "0.0".
  bool SetVersionText(std::u16string_view value);
  std::u16string GetVersionText() const;
  // The initial value; the domain import sets -1.
  void SetInitialValue(int32_t value);
  int32_t GetInitialValue() const;
  bool SetParentUid(std::u16string_view value);
  std::u16string GetParentUid() const;

  const std::array<uint8_t, kSize>& GetBody() const { return m_body; }

  // A block shorter than kSize is read with the rest zero; a longer one is
  // not this record (false, nothing read).
  bool Deserialize(CSerializer& serializer) override;
  bool Serialize(CSerializer& serializer) const override;

 private:
  bool SetText(uint32_t offset, uint32_t capacity, std::u16string_view value);
  std::u16string GetText(uint32_t offset, uint32_t capacity) const;

  std::array<uint8_t, kSize> m_body;
};

// Device-control settings of a domain ("DBV2_SET_DLP_CFG").
struct tagCln_DlpDCCfg : public ISerializable {
  std::u16string m_strReserved;  // written first; the system leaves it empty
  uint32_t m_dwDCFlagIn = 0;
  uint32_t m_dwDCFlagOut = 0;
  uint32_t m_dwDeviceIn = 0;
  uint32_t m_dwDeviceOut = 0;
  std::u16string m_strDevExceptionListIn;
  std::u16string m_strDevExceptionListOut;

  bool Deserialize(CSerializer& serializer) override;
  bool Serialize(CSerializer& serializer) const override;
};

// Content-control settings of a domain ("DBV2_SET_DLP_CFG").
struct tagCln_DlpClcCfg : public ISerializable {
  std::u16string m_strReserved;  // written first; the system leaves it empty
  uint32_t m_dwClcFlagIn = 0;
  uint32_t m_dwClcFlagOut = 0;
  std::u16string m_strChannelListIn;
  std::u16string m_strChannelListOut;
  uint32_t m_dwActionIn = 0;
  uint32_t m_dwActionOut = 0;
  uint32_t m_dwCompressFileSizeIn = 0;
  uint32_t m_dwCompressFileSizeOut = 0;
  int16_t m_sCompressLayerIn = 0;
  int16_t m_sCompressLayerOut = 0;
  uint32_t m_dwCompressFileCountIn = 0;
  uint32_t m_dwCompressFileCountOut = 0;
  std::u16string m_strTemplateIn;
  std::u16string m_strTemplateOut;
  std::u16string m_strIpWlIn;
  std::u16string m_strIpWlOut;
  std::u16string m_strIpBlIn;
  std::u16string m_strIpBlOut;
  std::u16string m_strEmailWlIn;
  std::u16string m_strEmailWlOut;
  std::u16string m_strEmailBlIn;
  std::u16string m_strEmailBlOut;
  std::u16string m_strUsbWlIn;
  std::u16string m_strUsbWlOut;
  std::u16string m_strUsbBlIn;
  std::u16string m_strUsbBlOut;

  bool Deserialize(CSerializer& serializer) override;
  bool Serialize(CSerializer& serializer) const override;
};

#endif  // PORTELLE_DBCLIENT_IPC_RECORDS_H_
