#include "migrate/PortelleDataMigraterV10.h"

#include <vector>

#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "platform/profile.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV10";

// The protection keys, copied from "Global Setting" into the client section.
constexpr const char16_t* kProtectionKeys[] = {u"SP_EnableFileProtection",
                                               u"SP_EnableRegistryKeyProtection",
                                               u"SP_EnableProcessProtection", u"ECSP"};

}  // namespace

bool CDataMigraterV10::NeedMigrateWatchDogSettings() const { return false; }

bool CDataMigraterV10::MigrateDBData(const std::string& source, std::string* result,
                                     const std::u16string& domain_uid) {
  constexpr char16_t kFunc[] = u"CDataMigraterV10::MigrateDBData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV10::MigrateDBData()", kFunc);
  RewriteFrom10(source, result, domain_uid, false);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV10::MigrateDBData()", kFunc);
  return true;
}

void CDataMigraterV10::RewriteFrom10(const std::string& source, std::string* result,
                                     const std::u16string& domain_uid,
                                     bool service_pack_format) const {
  const std::u16string_view func = service_pack_format ? u"CDataMigraterV10SP1::MigrateDBData"
                                                       : u"CDataMigraterV10::MigrateDBData";
  // The service-pack version logs less: the OLE layer once, no compress
  // layers, web-threat words, levels or lists.
  const bool verbose = !service_pack_format;
  // The many INI reads of one rewrite look at the file once.
  const platform::ProfileReadBatch ini_batch;
  const int32_t ole_layer = ReadOleLayer();
  if (service_pack_format) DEBUG_LOG(8, u"%s - nOleLayer = %d", func, ole_layer);

  CCmdProtocol reader = SourceReader(source);
  CCmdProtocol writer;
  DEBUG_LOG(8, u"%s - => DBString=%s", func, reader.GetString());

  // Positions 1 to 5.
  uint32_t header1 = 0;
  uint32_t header2 = 0;
  reader.ReadDword(header1).ReadDword(header2);
  header2 |= 0x10000u | ReadProtectionBits(service_pack_format);
  if (!service_pack_format) header2 |= 0x80u | 0x1000u;
  MoveBit1000000(&header1, &header2);
  writer.AppendDword(header1).AppendDword(header2);
  CopyDwords(reader, writer, 2);
  uint32_t header5 = 0;
  reader.ReadDword(header5);
  writer.AppendDword(MoveBit400(header5));

  uint16_t level_in = 0;
  uint16_t level_out = 0;
  reader.ReadWord(level_in).ReadWord(level_out);
  if (verbose) {
    DEBUG_LOG(8, u"%s - usWtpSecLevIn = (%d)", func, level_in);
    DEBUG_LOG(8, u"%s - usWtpSecLevOut = (%d)", func, level_out);
  }

  // Positions 6 and 7.
  const uint32_t dest_scan_type = QueryDestScanType(domain_uid);
  DEBUG_LOG(8, u"%s - m_dwDestScanType = %d", func, dest_scan_type);
  writer.AppendInt(0).AppendDword(dest_scan_type);

  // Positions 8 to 38: the manual, real-time and scheduled scans, the
  // schedule, auxiliary words, scan now, spyware flags and cache days. The
  // OLE layer and the action are added to each scan type.
  const uint32_t ms_layer = CopyScanGroup(reader, writer, true, ole_layer);
  if (verbose) {
    DEBUG_LOG(8, u"%s - m_nMSCompressLayer = %d", func, ms_layer);
    DEBUG_LOG(8, u"%s - nOleLayer = %d", func, ole_layer);
  }
  CopyScanGroup(reader, writer, false, ole_layer);
  const uint32_t ps_layer = CopyScanGroup(reader, writer, false, ole_layer);
  if (verbose) DEBUG_LOG(8, u"%s - m_nPSCompressLayer = %d", func, ps_layer);
  CopyDwords(reader, writer, 6);
  writer.AppendInt(1).AppendInt(1);
  const uint32_t sn_layer = CopyScanGroup(reader, writer, true, ole_layer);
  if (verbose) DEBUG_LOG(8, u"%s - m_nSNCompressLayer = %d", func, sn_layer);
  CopyDwords(reader, writer, 4);
  AppendCacheDays(writer);

  reader.SkipTokens(12);
  CopyStringGroups(reader, writer, kLogSource, func, false, service_pack_format);
  reader.SkipTokens(11);

  // The database says how many entries the list has; the entries themselves
  // are the source's.
  const auto count = static_cast<int32_t>(QuerySpywareWhiteList(domain_uid).size());
  DEBUG_LOG(8, u"%s - number of spyware white list = %d", func, count);
  writer.AppendInt(count);
  CopyDwords(reader, writer, count);

  std::u16string text;
  reader.NextToken(text).SkipTokens(4);

  // T1 to T6: behaviour monitoring.
  reader.NextToken(text);
  DEBUG_LOG(8, u"%s - m_strVIGILDAC = %s", func, text);
  writer.AppendToken(text).AppendToken(text);
  if (service_pack_format) {
    uint32_t enable = 0;
    reader.ReadDword(enable);
    DEBUG_LOG(8, u"%s - VIGIL m_dwEnable = %d", func, enable);
    writer.AppendDword(enable);
    reader.NextToken(text);
    DEBUG_LOG(8, u"%s - m_strPolicyList = %s", func, text);
    writer.AppendToken(text);
    reader.NextToken(text);
    DEBUG_LOG(8, u"%s - m_strBlockList = %s", func, text);
    writer.AppendToken(text);
    reader.NextToken(text);
    DEBUG_LOG(8, u"%s - m_strTrustList = %s", func, text);
    writer.AppendToken(text);
  } else {
    writer.AppendInt(1).AppendToken(u"").AppendToken(u"").AppendToken(u"");
  }

  // T7 to T13: web threat. Bits 0x8/0x1 of the second header word are the
  // in-office switches, 0x4/0x2 the out-of-office ones.
  uint32_t int_cfg = 0x8u;
  if ((header2 & 0x8u) != 0) int_cfg |= 0x1u;
  if ((header2 & 0x1u) != 0) int_cfg |= 0x10u;
  uint32_t ext_cfg = 0x8u;
  if ((header2 & 0x4u) != 0) ext_cfg |= 0x1u;
  if ((header2 & 0x2u) != 0) ext_cfg |= 0x10u;
  if (verbose) {
    DEBUG_LOG(8, u"%s - nIntCfgFlag = %d", func, int_cfg);
    DEBUG_LOG(8, u"%s - nExtCfgFlag = %d", func, ext_cfg);
  }
  writer.AppendDword(int_cfg).AppendDword(ext_cfg).AppendInt(0);
  writer.AppendWord(level_in).AppendWord(level_out);

  std::u16string list;
  GetBWListAsString(BWListKind::kInOffice, &list);
  if (verbose) DEBUG_LOG(8, u"%s - internal list = (%s)", func, list);
  writer.AppendToken(list);
  list.clear();
  GetBWListAsString(BWListKind::kOutOffice, &list);
  if (verbose) DEBUG_LOG(8, u"%s - external list = (%s)", func, list);
  writer.AppendToken(list);

  // T14 on: no black lists; device control on, everything after it off.
  writer.AppendToken(u"").AppendToken(u"").AppendInt(1).AppendInt(1);
  AppendTailDefaults(writer, 18);

  AssignResult(writer, result);
}

void CDataMigraterV10::CopyProtectionKeys(const std::u16string& main_ini,
                                          const std::u16string& dest_ini) {
  for (const char16_t* key : kProtectionKeys) {
    util_HelperFunctions::DuplicateIniKeyValue(main_ini, u"Global Setting", key, u"1", dest_ini,
                                               u"INI_CLIENT_SECTION");
  }
}

bool CDataMigraterV10::MigrateIniData(const std::u16string& dest_ini) {
  DEBUG_LOG(8, u"=> CDataMigraterV10::MigrateIniData()");
  // The migrated values reach the file in one rewrite.
  platform::ProfileWriteBatch ini_writes(dest_ini);
  const std::u16string main_ini = MainIniPath();
  util_HelperFunctions::DuplicateWtpValues(main_ini, dest_ini, true);
  util_HelperFunctions::DuplicateIniSection(main_ini, u"INI_NOTIFICATION_SECTION", dest_ini);
  util_HelperFunctions::DuplicateIniSection(main_ini, u"KSRC_SCAN_INI_SECTION", dest_ini);
  util_HelperFunctions::DuplicateDeviceControlValues(main_ini, dest_ini);
  CopyProtectionKeys(main_ini, dest_ini);
  DEBUG_LOG(8, u"<= CDataMigraterV10::MigrateIniData()");
  return true;
}
