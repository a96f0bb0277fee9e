// The migraters' questions answered by the server's database service, over
// the database commands.
#ifndef PORTELLE_MIGRATE_DBMIGRATERDATABASE_H_
#define PORTELLE_MIGRATE_DBMIGRATERDATABASE_H_

#include "migrate/IMigraterDatabase.h"

class CDbMigraterDatabase : public IMigraterDatabase {
 public:
  bool GetStatus(const std::u16string& domain_uid, int32_t* status) override;
  bool GetSpywareWhiteList(const std::u16string& domain_uid, std::vector<int32_t>* entries,
                           int32_t* count) override;
  bool GetDestScanType(const std::u16string& domain_uid, uint32_t* type) override;
  bool GetServiceSwitch(const std::u16string& domain_uid, uint32_t* first, int32_t* second,
                        int32_t* third) override;
};

#endif  // PORTELLE_MIGRATE_DBMIGRATERDATABASE_H_
