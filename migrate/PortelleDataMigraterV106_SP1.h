// CDataMigraterV106_SP1: migration from servers of 10.59 and above with a
// service pack, the current version included. The work is that of 10.6,
// between entry and exit lines of its own.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV106_SP1_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV106_SP1_H_

#include <string>

#include "migrate/PortelleDataMigraterV106.h"

class CDataMigraterV106_SP1 : public CDataMigraterV106 {
 public:
  using CDataMigraterV106::CDataMigraterV106;

  bool MigrateDBData(const std::string& source, std::string* result,
                     const std::u16string& domain_uid) override;
  bool MigrateIniData(const std::u16string& dest_ini) override;
};

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV106_SP1_H_
