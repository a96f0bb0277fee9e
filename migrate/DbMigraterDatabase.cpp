#include "migrate/DbMigraterDatabase.h"

#include "dbclient/SettingContainer.h"
#include "dbclient/dbcl_Command.h"

bool CDbMigraterDatabase::GetStatus(const std::u16string& domain_uid, int32_t* status) {
  return dbGetStatus(domain_uid, status);
}

bool CDbMigraterDatabase::GetSpywareWhiteList(const std::u16string& domain_uid,
                                              std::vector<int32_t>* entries, int32_t* count) {
  CSettingContainerSpywareWhiteList list;
  if (!dbGetSpywareWhiteList(domain_uid, &list, count)) return false;
  *entries = list.GetList();
  return true;
}

bool CDbMigraterDatabase::GetDestScanType(const std::u16string& domain_uid, uint32_t* type) {
  return dbGetKsrcDestScanType(domain_uid, type);
}

bool CDbMigraterDatabase::GetServiceSwitch(const std::u16string& domain_uid, uint32_t* first,
                                           int32_t* second, int32_t* third) {
  return dbGetServiceSwitch(domain_uid, first, second, third);
}
