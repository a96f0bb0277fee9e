// CDataMigraterV105_P1: migration from servers of 10.49 to below 10.59 with a
// patch. Its source is that of 10.5 with positions 26 and 27 in it; the INI
// work is that of 10.5, inherited.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV105_P1_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV105_P1_H_

#include <string>

#include "migrate/PortelleDataMigraterV105.h"

class CDataMigraterV105_P1 : public CDataMigraterV105 {
 public:
  using CDataMigraterV105::CDataMigraterV105;

  bool MigrateDBData(const std::string& source, std::string* result,
                     const std::u16string& domain_uid) override;
};

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV105_P1_H_
