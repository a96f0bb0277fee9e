#include "migrate/PortelleDataMigraterV10SP1.h"

#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "platform/profile.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV10SP1";

}  // namespace

bool CDataMigraterV10SP1::MigrateDBData(const std::string& source, std::string* result,
                                        const std::u16string& domain_uid) {
  constexpr char16_t kFunc[] = u"CDataMigraterV10SP1::MigrateDBData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV10SP1::MigrateDBData()", kFunc);
  RewriteFrom10(source, result, domain_uid, true);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV10SP1::MigrateDBData()", kFunc);
  return true;
}

bool CDataMigraterV10SP1::MigrateIniData(const std::u16string& dest_ini) {
  constexpr char16_t kFunc[] = u"CDataMigraterV10SP1::MigrateIniData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV10SP1::MigrateIniData()", kFunc);
  platform::ProfileWriteBatch ini_writes(dest_ini);
  CDataMigraterV10::MigrateIniData(dest_ini);
  const std::u16string main_ini = MainIniPath();
  for (const char16_t* section : {u"VIGIL", u"VIGIL_BMPolicy", u"VIGIL_Exception"}) {
    util_HelperFunctions::DuplicateIniSection(main_ini, section, dest_ini);
  }
  DEBUG_LOG(8, u"%s - <= CDataMigraterV10SP1::MigrateIniData()", kFunc);
  return true;
}
