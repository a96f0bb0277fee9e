#include "migrate/PortelleDataMigraterV106.h"

#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "package/ScanConfigLayout.h"
#include "platform/profile.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV106";

constexpr const char16_t* kSections[] = {
    u"INI_NOTIFICATION_SECTION", u"KSRC_SCAN_INI_SECTION", u"VIGIL_DACPolicy",
    u"DAC_EXECUTABLE_LIST",      u"DAC_APPROVED_LIST",     u"VIGIL",
    u"VIGIL_BMPolicy",           u"VIGIL_Exception",       u"ServiceSwitch"};

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

  // The list has no capacity: every entry the source holds is carried. A
  // count beyond the tokens that follow it belongs to a damaged source; the
  // entries are then taken from what is there, never by the count.
  uint32_t count = 0;
  reader.ReadDword(count);
  DEBUG_LOG(8, u"%s - number of spyware white list = %d", kFunc, count);
  const size_t present =
      TokensAfterListCount(std::u16string_view(reader.GetString(), reader.GetLength()));
  size_t entries = count;
  if (entries > present) {
    entries = present;
    DEBUG_LOG(69,
              u"%s - the list count %u is above the %u tokens that follow it; they are "
              u"carried as the list",
              kFunc, count, static_cast<uint32_t>(present));
  }
  writer.AppendDword(static_cast<uint32_t>(entries));
  CopyDwords(reader, writer, entries);

  CopyTailFields(reader, writer, 1, kTailCount, kLogSource, kFunc);

  AssignResult(writer, result);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV106::MigrateDBData()", kFunc);
  return true;
}

bool CDataMigraterV106::MigrateIniData(const std::u16string& dest_ini) {
  constexpr char16_t kFunc[] = u"CDataMigraterV106::MigrateIniData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV106::MigrateIniData()", kFunc);
  // The migrated values reach the file in one rewrite.
  platform::ProfileWriteBatch ini_writes(dest_ini);
  const std::u16string main_ini = MainIniPath();
  util_HelperFunctions::DuplicateWtpValues(main_ini, dest_ini, false);
  for (const char16_t* section : kSections) {
    util_HelperFunctions::DuplicateIniSection(main_ini, section, dest_ini);
  }
  DEBUG_LOG(8, u"%s - <= CDataMigraterV106::MigrateIniData()", kFunc);
  return true;
}
