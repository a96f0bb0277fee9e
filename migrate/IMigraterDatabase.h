// The four questions a version migrater asks the server's database service
// about one domain. The production implementation runs the database commands
// over the service's pipe; tests answer from fixed values.
//
// Each query returns whether it was answered. The outputs of a query that
// fails are not to be trusted; the migraters write 0 (and an empty list) for
// them.
#ifndef PORTELLE_MIGRATE_IMIGRATERDATABASE_H_
#define PORTELLE_MIGRATE_IMIGRATERDATABASE_H_

#include <cstdint>
#include <string>
#include <vector>

class IMigraterDatabase {
 public:
  virtual ~IMigraterDatabase() = default;

  // "DB_GET_STATUS": the domain's status word.
  virtual bool GetStatus(const std::u16string& domain_uid, int32_t* status) = 0;

  // "DB_GET_SPYWARE_WHITE_LIST": on entry *count is the most entries wanted,
  // on return the number placed in *entries.
  virtual bool GetSpywareWhiteList(const std::u16string& domain_uid, std::vector<int32_t>* entries,
                                   int32_t* count) = 0;

  // "DB_GET_KSRC_DEST_SCAN_TYPE": the destination scan type, 0 when nothing
  // came back.
  virtual bool GetDestScanType(const std::u16string& domain_uid, uint32_t* type) = 0;

  // "DB_GET_SERVICE_SWITCH": the three values of the reply, 0 when nothing
  // came back.
  virtual bool GetServiceSwitch(const std::u16string& domain_uid, uint32_t* first, int32_t* second,
                                int32_t* third) = 0;
};

#endif  // PORTELLE_MIGRATE_IMIGRATERDATABASE_H_
