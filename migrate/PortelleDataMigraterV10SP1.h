// CDataMigraterV10SP1: migration from servers of 9.99 to below 10.49 with a
// service pack. The source is that of 10 plus the behaviour-monitoring
// switch and lists; the second header word takes its 0x1000 from "ECSP" like
// the other protection bits and gets no 0x80.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV10SP1_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV10SP1_H_

#include <string>

#include "migrate/PortelleDataMigraterV10.h"

class CDataMigraterV10SP1 : public CDataMigraterV10 {
 public:
  using CDataMigraterV10::CDataMigraterV10;

  bool MigrateDBData(const std::string& source, std::string* result,
                     const std::u16string& domain_uid) override;
  // What 10 copies, then the sections "VIGIL", "VIGIL_BMPolicy" and
  // "VIGIL_Exception".
  bool MigrateIniData(const std::u16string& dest_ini) override;
};

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV10SP1_H_
