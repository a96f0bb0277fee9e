#include "migrate/PortelleDataMigraterV105_P1.h"

#include "log/DebugLog.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDataMigraterV105_P1";

}  // namespace

bool CDataMigraterV105_P1::MigrateDBData(const std::string& source, std::string* result,
                                         const std::u16string& domain_uid) {
  constexpr char16_t kFunc[] = u"CDataMigraterV105_P1::MigrateDBData";
  DEBUG_LOG(8, u"%s - => CDataMigraterV105_P1::MigrateDBData()", kFunc);
  RewriteFrom105(source, result, domain_uid, true);
  DEBUG_LOG(8, u"%s - <= CDataMigraterV105_P1::MigrateDBData()", kFunc);
  return true;
}
