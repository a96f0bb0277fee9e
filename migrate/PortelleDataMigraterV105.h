// CDataMigraterV105: migration from servers of 10.49 to below 10.59 without a
// patch. The source holds the scan-type groups whole, the schedule, the
// behaviour-monitoring fields and the web-threat words and lists; the
// service switch, destination scan type and spyware white list come from
// the database, the cache days and the device-control defaults are
// constants.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV105_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV105_H_

#include <string>

#include "migrate/PortelleDataMigraterV10SP1.h"

class CDataMigraterV105 : public CDataMigraterV10SP1 {
 public:
  using CDataMigraterV10SP1::CDataMigraterV10SP1;

  bool MigrateDBData(const std::string& source, std::string* result,
                     const std::u16string& domain_uid) override;
  // The web-threat values as they are, the notification and scan sections,
  // the device-control values, the behaviour-monitoring and service-switch
  // sections and the protection keys (into "INI_CLIENT_SECTION").
  bool MigrateIniData(const std::u16string& dest_ini) override;

 protected:
  // The rewrite shared with the patch format, whose source carries
  // positions 26 and 27 (the 10.5 one has the constants 1, 1 there), so
  // that every later source token sits two places further on. Only the 10.5
  // format logs its header fields.
  void RewriteFrom105(const std::string& source, std::string* result,
                      const std::u16string& domain_uid, bool patch_format) const;
};

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV105_H_
