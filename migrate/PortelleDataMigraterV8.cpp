#include "migrate/PortelleDataMigraterV8.h"

#include <vector>

#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "migrate/StoredValueCipher.h"
#include "package/ScanConfigLayout.h"
#include "platform/format.h"
#include "platform/profile.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV8";

constexpr char16_t kUrlFilterSection[] = u"URL_FILTER_INI_SECTION";
constexpr char16_t kUpdateSection[] = u"INI_UPDATE_SETTING";

// Value buffers in UTF-16 units, the terminating NUL included.
constexpr uint32_t kListEntryBufferSize = 1535;
constexpr uint32_t kUpdateValueBufferSize = 1024;
// The older web-threat keys of one side and its name in the log lines.
struct WtpSide {
  const char16_t* enable_key;
  const char16_t* log_key;
  const char16_t* level_key;
  std::u16string_view name;
};
constexpr WtpSide kOutOfficeSide = {u"URLFilterEnable_OutOffice", u"URLFilterLogEnable_OutOffice",
                                    u"URLFilterRatingLevel_OutOffice", u"out-office"};
constexpr WtpSide kInOfficeSide = {u"URLFilterEnable_InOffice", u"URLFilterLogEnable_InOffice",
                                   u"URLFilterRatingLevel_InOffice", u"in-office"};

template <uint32_t kBufferSize>
std::u16string ReadString(const std::u16string& file, const char16_t* section, const char16_t* key,
                          const char16_t* default_value) {
  char16_t buffer[kBufferSize];
  const uint32_t length = platform::GetPrivateProfileStringW(section, key, default_value, buffer,
                                                             kBufferSize, file.c_str());
  return std::u16string(buffer, length);
}

}  // namespace

bool CDataMigraterV8::NeedMigrateWatchDogSettings() const { return true; }

bool CDataMigraterV8::MigrateDBData(const std::string& source, std::string* result,
                                    const std::u16string& domain_uid) {
  constexpr char16_t kFunc[] = u"CDataMigraterV8::MigrateDBData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV8::MigrateDBData()", kFunc);
  // The many INI reads of one rewrite look at the file once.
  const platform::ProfileReadBatch ini_batch;

  const int32_t service_pack =
      ReadMainIniInt(u"INI_PROGRAM_VERSION_SECTION", u"ServicePack_Version", 0);
  const int32_t ole_layer = ReadOleLayer();
  const uint32_t status = QueryStatus(domain_uid);

  CCmdProtocol reader = SourceReader(source);
  CCmdProtocol writer;
  DEBUG_LOG(8, u"%s - => DBString=%s", kFunc, reader.GetString());

  // Positions 1 to 7: the first source word and a second one built from
  // scratch; the source's own second word is dropped.
  uint32_t header1 = 0;
  reader.ReadDword(header1).SkipTokens(1);
  if (service_pack == 0) header1 &= ~0x400u;
  uint32_t header2 = 0x10u | 0x80u | 0x10000u;
  MoveBit1000000(&header1, &header2);
  if (ReadMainIniInt(u"Global Setting", u"WatchDogOnOff", 1) != 0) header2 |= 0xF000u;
  writer.AppendDword(header1).AppendDword(header2).AppendInt(0).AppendInt(0);
  writer.AppendDword(status).AppendInt(0).AppendInt(0);

  // Positions 8 to 19: the manual, real-time and scheduled scans; only the
  // manual flag word gets the bit move.
  CopyScanGroup(reader, writer, true, ole_layer);
  CopyScanGroup(reader, writer, false, ole_layer);
  CopyScanGroup(reader, writer, false, ole_layer);

  // Positions 20 to 38: schedule, auxiliary words, scan now, spyware flags,
  // cache days.
  CopyDwords(reader, writer, 6);
  writer.AppendInt(1).AppendInt(1);
  CopyScanGroup(reader, writer, true, ole_layer);
  CopyDwords(reader, writer, 4);
  AppendCacheDays(writer);

  reader.SkipTokens(12);
  CopyStringGroups(reader, writer, kLogSource, kFunc, false, false);
  // Nothing after the eleven tokens that follow the string groups is read.

  const std::vector<int32_t> white_list = QuerySpywareWhiteList(domain_uid);
  DEBUG_LOG(8, u"%s - number of spyware white list = %d", kFunc,
            static_cast<int32_t>(white_list.size()));
  AppendList(writer, white_list);

  // T1 to T6: behaviour monitoring, off.
  writer.AppendToken(u"").AppendToken(u"").AppendInt(0);
  writer.AppendToken(u"").AppendToken(u"").AppendToken(u"");

  // T7 to T13: web-threat settings from the INI file.
  WtpSettings wtp;
  ConvertWtpValuesToDBFlag(&wtp);
  DEBUG_LOG(8, u"%s - WtpSettings.m_dwIntWCSCfg(%d)", kFunc, wtp.m_dwIntWCSCfg);
  DEBUG_LOG(8, u"%s - WtpSettings.m_dwExtWCSCfg(%d)", kFunc, wtp.m_dwExtWCSCfg);
  DEBUG_LOG(8, u"%s - WtpSettings.m_dwQueryMode(%d)", kFunc, wtp.m_dwQueryMode);
  DEBUG_LOG(8, u"%s - WtpSettings.m_dwIntSecLevel(%d)", kFunc, wtp.m_dwIntSecLevel);
  DEBUG_LOG(8, u"%s - WtpSettings.m_dwExtSecLevel(%d)", kFunc, wtp.m_dwExtSecLevel);
  DEBUG_LOG(8, u"%s - WtpSettings.m_wstrIntWhiteList(%s)", kFunc, wtp.m_wstrIntWhiteList);
  DEBUG_LOG(8, u"%s - WtpSettings.m_wstrExtWhiteList(%s)", kFunc, wtp.m_wstrExtWhiteList);
  writer.AppendDword(wtp.m_dwIntWCSCfg).AppendDword(wtp.m_dwExtWCSCfg);
  writer.AppendDword(wtp.m_dwQueryMode).AppendDword(wtp.m_dwIntSecLevel);
  writer.AppendDword(wtp.m_dwExtSecLevel);
  writer.AppendToken(wtp.m_wstrIntWhiteList).AppendToken(wtp.m_wstrExtWhiteList);

  // T14 on: black lists, device control and content control, all off.
  AppendTailDefaults(writer, 14);

  AssignResult(writer, result);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV8::MigrateDBData()", kFunc);
  return true;
}

bool CDataMigraterV8::ConvertWtpValuesToDBFlag(WtpSettings* settings) const {
  constexpr char16_t kFunc[] = u"CDataMigraterV8::ConvertWtpValuesToDBFlag";
  *settings = WtpSettings();
  const auto read_side = [&](const WtpSide& side, uint32_t* flags, uint32_t* level) {
    if (ReadMainIniInt(kUrlFilterSection, side.enable_key, 0) != 0) {
      *flags |= 0x1u;
      DEBUG_LOG(8, u"%s - WTP is enabled for %s", kFunc, side.name);
    }
    if (ReadMainIniInt(kUrlFilterSection, side.log_key, 0) != 0) {
      *flags |= 0x10u;
      DEBUG_LOG(8, u"%s - WTP log is enabled for %s", kFunc, side.name);
    }
    *flags |= 0x8u;
    *level = static_cast<uint32_t>(ReadMainIniInt(kUrlFilterSection, side.level_key, 1));
    DEBUG_LOG(8, u"%s - WTP level for %s [%d]", kFunc, side.name, *level);
  };
  read_side(kOutOfficeSide, &settings->m_dwExtWCSCfg, &settings->m_dwExtSecLevel);
  read_side(kInOfficeSide, &settings->m_dwIntWCSCfg, &settings->m_dwIntSecLevel);

  GetBWListAsString(BWListKind::kInOffice, &settings->m_wstrIntWhiteList);
  GetBWListAsString(BWListKind::kOutOffice, &settings->m_wstrExtWhiteList);
  return true;
}

void CDataMigraterV8::GetBWListAsString(BWListKind kind, std::u16string* text) const {
  constexpr char16_t kFunc[] = u"CDataMigraterV8::GetBWListAsString";
  const bool in_office = kind == BWListKind::kInOffice;
  const char16_t* count_key =
      in_office ? u"URLFilterAWSLCount_InOffice" : u"URLFilterAWSLCount_OutOffice";
  const int32_t stored_count = ReadMainIniInt(kUrlFilterSection, count_key, 0);
  DEBUG_LOG(8, u"%s - move approve list to dbWCSCfg, entryCnt=%d", kFunc, stored_count);

  const std::u16string ini = MainIniPath();
  const util_HelperFunctions::NumberedKeys entries[] = {
      {in_office ? u"URLFilterAWSL_InOffice" : u"URLFilterAWSL_OutOffice", 3}};
  const int32_t count = util_HelperFunctions::BoundedListCount(ini, kUrlFilterSection, count_key,
                                                               stored_count, 0, entries);
  for (int32_t i = 0; i < count; ++i) {
    const std::u16string key = in_office ? platform::Format(u"URLFilterAWSL_InOffice%03d", i)
                                         : platform::Format(u"URLFilterAWSL_OutOffice%03d", i);
    std::u16string entry = stored_value::RevealStoredValue(
        ReadString<kListEntryBufferSize>(ini, kUrlFilterSection, key.c_str(), u""));
    if (entry.find(u'\t') != std::u16string::npos) entry.clear();
    text->append(entry).append(u"|");
  }
}

bool CDataMigraterV8::MigrateServerUpdateSourceFrom8(const std::u16string& src_ini,
                                                     const std::u16string& dest_ini) const {
  DEBUG_LOG(8, u"=> CDataMigraterV8::MigrateServerUpdateSourceFrom8()");
  using util_HelperFunctions::DuplicateIniKeyValue;

  DuplicateIniKeyValue(src_ini, kUpdateSection, u"UpdateSourceType", u"", dest_ini);
  DuplicateIniKeyValue(src_ini, kUpdateSection, u"AUServerUNCPath", u"", dest_ini);

  // An update source equal to the default server is not carried over.
  const std::u16string default_server =
      ReadString<kUpdateValueBufferSize>(src_ini, kUpdateSection, u"DefaultAUServer", u"");
  const std::u16string update_source = ReadString<kUpdateValueBufferSize>(
      src_ini, kUpdateSection, u"UpdateSource", default_server.c_str());
  if (update_source != default_server) {
    DuplicateIniKeyValue(src_ini, kUpdateSection, u"UpdateSource", u"", dest_ini);
  }

  DuplicateIniKeyValue(src_ini, kUpdateSection, u"UseServerOus", u"", dest_ini);

  // A source without the count has one server; one is therefore also the
  // least a damaged count is cut to.
  const util_HelperFunctions::NumberedKeys servers[] = {{u"ServerOUS", 0}};
  const int32_t total =
      util_HelperFunctions::BoundedListCount(src_ini, kUpdateSection, u"TOTAL_OUS",
                                             static_cast<int32_t>(platform::GetPrivateProfileIntW(
                                                 kUpdateSection, u"TOTAL_OUS", 1, src_ini.c_str())),
                                             1, servers);
  if (total > 0) {
    util_HelperFunctions::WriteIniInt(kUpdateSection, u"TOTAL_OUS", total, dest_ini);
    for (int32_t i = 0; i < total; ++i) {
      DuplicateIniKeyValue(src_ini, kUpdateSection, platform::Format(u"ServerOUS%d", i), u"",
                           dest_ini);
    }
  }
  return true;
}

bool CDataMigraterV8::MigrateIniData(const std::u16string& dest_ini) {
  DEBUG_LOG(8, u"=> CDataMigraterV8::MigrateIniData()");
  // The migrated values reach the file in one rewrite.
  platform::ProfileWriteBatch ini_writes(dest_ini);
  const std::u16string main_ini = MainIniPath();
  MigrateServerUpdateSourceFrom8(PrivateIniPath(), dest_ini);
  util_HelperFunctions::DuplicateWtpValues(main_ini, dest_ini, true);
  util_HelperFunctions::DuplicateIniSection(main_ini, u"INI_NOTIFICATION_SECTION", dest_ini);
  DEBUG_LOG(8, u"<= CDataMigraterV8::MigrateIniData()");
  return true;
}
