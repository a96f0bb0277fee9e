#include "migrate/PortelleDataMigraterV106.h"

#include <algorithm>

#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "migrate/ScanConfigLayout.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV106";

constexpr const char16_t* kSections[] = {
    u"INI_NOTIFICATION_SECTION", u"KSRC_SCAN_INI_SECTION", u"VIGIL_DACPolicy",
    u"DAC_EXECUTABLE_LIST",      u"DAC_APPROVED_LIST",     u"VIGIL",
    u"VIGIL_BMPolicy",           u"VIGIL_Exception",       u"ServiceSwitch"};

// The number of tokens in `text`: one more than its TABs, none when empty.
size_t CountTokens(const CCmdProtocol& text) {
  if (text.GetLength() == 0) return 0;
  const char16_t* begin = text.GetString();
  return static_cast<size_t>(std::count(begin, begin + text.GetLength(), u'\t')) + 1;
}

}  // namespace

bool CDataMigraterV106::MigrateDBData(const std::string& source, std::string* result,
                                      const std::u16string&) {
  using namespace scan_config_layout;
  constexpr char16_t kFunc[] = u"CDataMigraterV106::MigrateDBData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV106::MigrateDBData()", kFunc);
  CCmdProtocol reader = SourceReader(source);
  CCmdProtocol writer;
  DEBUG_LOG(8, u"%s - => DBString=%s", kFunc, reader.GetString());

  uint32_t value = 0;
  for (size_t position = 1; position < kFirstTextPosition; ++position) {
    reader.ReadDword(value);
    if (position == 6 || position == 7 || position >= 36) {
      DEBUG_LOG(8, u"%s - %s = %d", kFunc, FixedField(position).name, value);
    }
    writer.AppendDword(value);
  }
  CopyStringGroups(reader, writer, kLogSource, kFunc, false, false);

  uint32_t count = 0;
  reader.ReadDword(count);
  const size_t tokens = CountTokens(reader);
  const size_t after_count = tokens > kListCountPosition ? tokens - kListCountPosition : 0;
  const size_t present = std::min<size_t>(count, after_count);
  const size_t kept = std::min<size_t>(present, kMaxListEntries);
  DEBUG_LOG(8, u"%s - number of spyware white list = %d", kFunc, count);
  if (kept != count) {
    DEBUG_LOG(8, u"%s - list count cut to %d entries", kFunc, static_cast<uint32_t>(kept));
  }
  writer.AppendDword(static_cast<uint32_t>(kept));
  CopyDwords(reader, writer, static_cast<int>(kept));
  reader.SkipTokens(static_cast<int>(present - kept));

  CopyTailFields(reader, writer, 1, kTailCount, kLogSource, kFunc);

  AssignResult(writer, result);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV106::MigrateDBData()", kFunc);
  return true;
}

bool CDataMigraterV106::MigrateIniData(const std::u16string& dest_ini) {
  constexpr char16_t kFunc[] = u"CDataMigraterV106::MigrateIniData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV106::MigrateIniData()", kFunc);
  const std::u16string main_ini = MainIniPath();
  util_HelperFunctions::DuplicateWtpValues(main_ini, dest_ini, false);
  for (const char16_t* section : kSections) {
    util_HelperFunctions::DuplicateIniSection(main_ini, section, dest_ini);
  }
  DEBUG_LOG(8, u"%s - <= CDataMigraterV106::MigrateIniData()", kFunc);
  return true;
}
