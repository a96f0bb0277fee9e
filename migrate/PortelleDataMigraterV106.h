// CDataMigraterV106: migration from servers of 10.59 and above without a
// service pack. The source already has the current layout and is copied
// token by token, with the move directories emptied and every number in
// canonical decimal (read and written as unsigned 32-bit). The database is
// not asked.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV106_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV106_H_

#include <string>

#include "migrate/PortelleDataMigraterV105_P1.h"

class CDataMigraterV106 : public CDataMigraterV105_P1 {
 public:
  using CDataMigraterV105_P1::CDataMigraterV105_P1;

  // The spyware white list is carried whole, however long. A list count
  // larger than the tokens that follow it (a damaged source) is cut to those
  // tokens, which are all taken as entries; the tail then reads as 0 and
  // empty texts, as for any short source. The cut is logged at level 69.
  bool MigrateDBData(const std::string& source, std::string* result,
                     const std::u16string& domain_uid) override;
  // The web-threat values as they are and the sections this generation keeps
  // outside the scan configuration (notification, scan, device control,
  // behaviour monitoring, service switch).
  bool MigrateIniData(const std::u16string& dest_ini) override;
};

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV106_H_
