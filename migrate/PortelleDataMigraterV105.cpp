#include "migrate/PortelleDataMigraterV105.h"

#include <vector>

#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "package/ScanConfigLayout.h"
#include "platform/profile.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV105";

}  // namespace

bool CDataMigraterV105::MigrateDBData(const std::string& source, std::string* result,
                                      const std::u16string& domain_uid) {
  constexpr char16_t kFunc[] = u"CDataMigraterV105::MigrateDBData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV105::MigrateDBData()", kFunc);
  RewriteFrom105(source, result, domain_uid, false);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV105::MigrateDBData()", kFunc);
  return true;
}

void CDataMigraterV105::RewriteFrom105(const std::string& source, std::string* result,
                                       const std::u16string& domain_uid, bool patch_format) const {
  using scan_config_layout::FixedField;
  const std::u16string_view func =
      patch_format ? u"CDataMigraterV105_P1::MigrateDBData" : u"CDataMigraterV105::MigrateDBData";
  // The many INI reads of one rewrite look at the file once.
  const platform::ProfileReadBatch ini_batch;
  CCmdProtocol reader = SourceReader(source);
  CCmdProtocol writer;
  DEBUG_LOG(8, u"%s - => DBString=%s", func, reader.GetString());

  const auto log_header = [&](size_t position, uint32_t value) {
    if (!patch_format) {
      DEBUG_LOG(8, u"%s - %s(%d)", func, FixedField(position).name, value);
    }
  };
  const auto put_word = [&](size_t position, uint32_t value) {
    log_header(position, value);
    writer.AppendDword(value);
  };
  const auto put_constant = [&](size_t position, int32_t value) {
    log_header(position, static_cast<uint32_t>(value));
    writer.AppendInt(value);
  };
  const auto copy_words = [&](size_t first, size_t last) {
    uint32_t value = 0;
    for (size_t position = first; position <= last; ++position) {
      reader.ReadDword(value);
      put_word(position, value);
    }
  };

  copy_words(1, 1);
  uint32_t header2 = 0;
  reader.ReadDword(header2);
  put_word(2, header2 | 0x10000u | ReadProtectionBits(true));
  copy_words(3, 5);
  put_word(6, QueryServiceSwitch(domain_uid));
  put_word(7, QueryDestScanType(domain_uid));
  copy_words(8, 25);
  if (patch_format) {
    copy_words(26, 27);
  } else {
    put_constant(26, 1);
    put_constant(27, 1);
  }
  copy_words(28, 35);
  put_constant(36, 28);
  put_constant(37, 60);
  put_constant(38, 30);

  CopyStringGroups(reader, writer, kLogSource, func, true, false);

  const std::vector<int32_t> white_list = QuerySpywareWhiteList(domain_uid);
  DEBUG_LOG(8, u"%s - number of spyware white list(%d)", func,
            static_cast<int32_t>(white_list.size()));
  AppendList(writer, white_list);

  // T1 to T15: behaviour monitoring (one source text for both T1 and T2)
  // and web threat.
  std::u16string dac;
  reader.NextToken(dac);
  DEBUG_LOG(8, u"%s - m_strVIGILDAC = %s", func, dac);
  writer.AppendToken(dac).AppendToken(dac);
  CopyTailFields(reader, writer, 3, 15, kLogSource, func);

  // T16 on: device control on, everything after it off.
  writer.AppendInt(1).AppendInt(1);
  AppendTailDefaults(writer, 18);

  AssignResult(writer, result);
}

bool CDataMigraterV105::MigrateIniData(const std::u16string& dest_ini) {
  constexpr char16_t kFunc[] = u"CDataMigraterV105::MigrateIniData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV105::MigrateIniData()", kFunc);
  // The migrated values reach the file in one rewrite.
  platform::ProfileWriteBatch ini_writes(dest_ini);
  const std::u16string main_ini = MainIniPath();
  util_HelperFunctions::DuplicateWtpValues(main_ini, dest_ini, false);
  util_HelperFunctions::DuplicateIniSection(main_ini, u"INI_NOTIFICATION_SECTION", dest_ini);
  util_HelperFunctions::DuplicateIniSection(main_ini, u"KSRC_SCAN_INI_SECTION", dest_ini);
  util_HelperFunctions::DuplicateDeviceControlValues(main_ini, dest_ini);
  for (const char16_t* section :
       {u"VIGIL", u"VIGIL_BMPolicy", u"VIGIL_Exception", u"ServiceSwitch"}) {
    util_HelperFunctions::DuplicateIniSection(main_ini, section, dest_ini);
  }
  CopyProtectionKeys(main_ini, dest_ini);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV105::MigrateIniData()", kFunc);
  return true;
}
