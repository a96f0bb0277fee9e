#include "migrate/PortelleDataMigraterV106_SP1.h"

#include "log/DebugLog.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV106_SP1";

}  // namespace

bool CDataMigraterV106_SP1::MigrateDBData(const std::string& source, std::string* result,
                                          const std::u16string& domain_uid) {
  constexpr char16_t kFunc[] = u"CDataMigraterV106_SP1::MigrateDBData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV106_SP1::MigrateDBData()", kFunc);
  const bool migrated = CDataMigraterV106::MigrateDBData(source, result, domain_uid);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV106_SP1::MigrateDBData()", kFunc);
  return migrated;
}

bool CDataMigraterV106_SP1::MigrateIniData(const std::u16string& dest_ini) {
  constexpr char16_t kFunc[] = u"CDataMigraterV106_SP1::MigrateIniData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV106_SP1::MigrateIniData()", kFunc);
  const bool migrated = CDataMigraterV106::MigrateIniData(dest_ini);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV106_SP1::MigrateIniData()", kFunc);
  return migrated;
}
