#include "dbclient/ipc_records.h"

#include <cstring>

#include "dbclient/LittleEndian.h"

static_assert(tagCln_CgiOnStart::kParentUidOffset + 2 * tagCln_CgiOnStart::kParentUidChars <=
                  tagCln_CgiOnStart::kSize,
              "the last field lies within the record");

void tagCln_CgiOnStart::SetRecordType(uint16_t value) {
  little_endian::Put16(m_body.data() + kRecordTypeOffset, value);
}

uint16_t tagCln_CgiOnStart::GetRecordType() const {
  return little_endian::Get16(m_body.data() + kRecordTypeOffset);
}

void tagCln_CgiOnStart::SetInitialValue(int32_t value) {
  little_endian::Put32(m_body.data() + kInitialValueOffset, static_cast<uint32_t>(value));
}

int32_t tagCln_CgiOnStart::GetInitialValue() const {
  return static_cast<int32_t>(little_endian::Get32(m_body.data() + kInitialValueOffset));
}

bool tagCln_CgiOnStart::SetDomainUid(std::u16string_view value) {
  return SetText(kUidOffset, kUidChars, value);
}

std::u16string tagCln_CgiOnStart::GetDomainUid() const { return GetText(kUidOffset, kUidChars); }

bool tagCln_CgiOnStart::SetEntryName(std::u16string_view value) {
  return SetText(kEntryNameOffset, kEntryNameChars, value);
}

std::u16string tagCln_CgiOnStart::GetEntryName() const {
  return GetText(kEntryNameOffset, kEntryNameChars);
}

bool tagCln_CgiOnStart::SetDomainName(std::u16string_view value) {
  return SetText(kDomainNameOffset, kDomainNameChars, value);
}

std::u16string tagCln_CgiOnStart::GetDomainName() const {
  return GetText(kDomainNameOffset, kDomainNameChars);
}

bool tagCln_CgiOnStart::SetVersionText(std::u16string_view value) {
  return SetText(kVersionOffset, kVersionChars, value);
}

std::u16string tagCln_CgiOnStart::GetVersionText() const {
  return GetText(kVersionOffset, kVersionChars);
}

bool tagCln_CgiOnStart::SetParentUid(std::u16string_view value) {
  return SetText(kParentUidOffset, kParentUidChars, value);
}

std::u16string tagCln_CgiOnStart::GetParentUid() const {
  return GetText(kParentUidOffset, kParentUidChars);
}

bool tagCln_CgiOnStart::SetText(uint32_t offset, uint32_t capacity, std::u16string_view value) {
  if (value.size() >= capacity) return false;  // the NUL must fit as well
  uint8_t* field = m_body.data() + offset;
  std::memset(field, 0, 2 * capacity);
  for (size_t i = 0; i < value.size(); ++i) little_endian::Put16(field + 2 * i, value[i]);
  return true;
}

std::u16string tagCln_CgiOnStart::GetText(uint32_t offset, uint32_t capacity) const {
  // A received record need not hold the NUL; the field's end bounds the text.
  const uint8_t* field = m_body.data() + offset;
  std::u16string text;
  for (uint32_t i = 0; i < capacity; ++i) {
    const char16_t c = little_endian::Get16(field + 2 * i);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

bool tagCln_CgiOnStart::Deserialize(CSerializer& serializer) {
  uint32_t size = kSize;
  return serializer.ReadBlock(m_body.data(), size);
}

bool tagCln_CgiOnStart::Serialize(CSerializer& serializer) const {
  return serializer.WriteBlock(m_body.data(), kSize);
}

bool tagCln_DlpDCCfg::Deserialize(CSerializer& serializer) {
  serializer >> m_strReserved >> m_dwDCFlagIn >> m_dwDCFlagOut >> m_dwDeviceIn >> m_dwDeviceOut >>
      m_strDevExceptionListIn >> m_strDevExceptionListOut;
  return true;
}

bool tagCln_DlpDCCfg::Serialize(CSerializer& serializer) const {
  serializer << m_strReserved << m_dwDCFlagIn << m_dwDCFlagOut << m_dwDeviceIn << m_dwDeviceOut
             << m_strDevExceptionListIn << m_strDevExceptionListOut;
  return true;
}

bool tagCln_DlpClcCfg::Deserialize(CSerializer& serializer) {
  serializer >> m_strReserved >> m_dwClcFlagIn >> m_dwClcFlagOut >> m_strChannelListIn >>
      m_strChannelListOut >> m_dwActionIn >> m_dwActionOut >> m_dwCompressFileSizeIn >>
      m_dwCompressFileSizeOut >> m_sCompressLayerIn >> m_sCompressLayerOut >>
      m_dwCompressFileCountIn >> m_dwCompressFileCountOut >> m_strTemplateIn >> m_strTemplateOut >>
      m_strIpWlIn >> m_strIpWlOut >> m_strIpBlIn >> m_strIpBlOut >> m_strEmailWlIn >>
      m_strEmailWlOut >> m_strEmailBlIn >> m_strEmailBlOut >> m_strUsbWlIn >> m_strUsbWlOut >>
      m_strUsbBlIn >> m_strUsbBlOut;
  return true;
}

bool tagCln_DlpClcCfg::Serialize(CSerializer& serializer) const {
  serializer << m_strReserved << m_dwClcFlagIn << m_dwClcFlagOut << m_strChannelListIn
             << m_strChannelListOut << m_dwActionIn << m_dwActionOut << m_dwCompressFileSizeIn
             << m_dwCompressFileSizeOut << m_sCompressLayerIn << m_sCompressLayerOut
             << m_dwCompressFileCountIn << m_dwCompressFileCountOut << m_strTemplateIn
             << m_strTemplateOut << m_strIpWlIn << m_strIpWlOut << m_strIpBlIn << m_strIpBlOut
             << m_strEmailWlIn << m_strEmailWlOut << m_strEmailBlIn << m_strEmailBlOut
             << m_strUsbWlIn << m_strUsbWlOut << m_strUsbBlIn << m_strUsbBlOut;
  return true;
}
