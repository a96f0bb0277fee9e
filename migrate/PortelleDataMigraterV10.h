// CDataMigraterV10: migration from servers of 9.99 to below 10.49 without a
// service pack. The source has five header words, the web-threat security
// levels, the scan-type groups without OLE layer and action, the string
// groups, the spyware white list and the behaviour-monitoring fields. The
// web-threat words come from bits of the second header word, the approved
// lists from the INI file.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV10_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV10_H_

#include <string>

#include "migrate/PortelleDataMigraterV8.h"

class CDataMigraterV10 : public CDataMigraterV8 {
 public:
  using CDataMigraterV8::CDataMigraterV8;

  bool MigrateDBData(const std::string& source, std::string* result,
                     const std::u16string& domain_uid) override;
  // The web-threat values (older switches turned into flag words), the
  // notification and scan sections, the device-control values and the
  // protection keys, which move from "Global Setting" to
  // "INI_CLIENT_SECTION" (default "1").
  bool MigrateIniData(const std::u16string& dest_ini) override;
  bool NeedMigrateWatchDogSettings() const override;

 protected:
  // The rewrite shared with the service-pack format, which differs in the
  // second header word (no 0x80; 0x1000 only through "ECSP") and carries
  // the behaviour-monitoring switch and lists (T3 to T6) in its source.
  void RewriteFrom10(const std::string& source, std::string* result,
                     const std::u16string& domain_uid, bool service_pack_format) const;

  // Copies "SP_EnableFileProtection", "SP_EnableRegistryKeyProtection",
  // "SP_EnableProcessProtection" and "ECSP" from "Global Setting" of
  // `main_ini` into "INI_CLIENT_SECTION" of `dest_ini`, default "1".
  static void CopyProtectionKeys(const std::u16string& main_ini, const std::u16string& dest_ini);
};

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV10_H_
