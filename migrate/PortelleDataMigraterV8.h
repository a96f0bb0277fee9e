// CDataMigraterV8: migration from servers older than 9.99.
//
// The 8.x scan configuration has only two header words and no web-threat,
// behaviour-monitoring or device-control fields, so most of the current
// layout comes from constants, from the server's INI values and from the
// database. The class also owns the two web-threat operations later
// migraters inherit, and it is the only one that asks for the watchdog INI
// settings to be carried over.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV8_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV8_H_

#include <cstdint>
#include <string>

#include "migrate/PortelleDataMigrater.h"

// The web-threat record of the current layout (T7 to T13), built from the
// older INI form. Zero and empty until filled.
struct WtpSettings {
  uint32_t m_dwIntWCSCfg = 0;    // in office: 0x1 enabled, 0x10 logging, 0x8 always
  uint32_t m_dwExtWCSCfg = 0;    // out of office, the same bits
  uint32_t m_dwQueryMode = 0;    // always 0
  uint32_t m_dwIntSecLevel = 0;  // rating levels
  uint32_t m_dwExtSecLevel = 0;
  std::u16string m_wstrIntWhiteList;  // approved lists, joined by GetBWListAsString
  std::u16string m_wstrExtWhiteList;
};

// The approved-URL lists of "URL_FILTER_INI_SECTION".
enum class BWListKind {
  kInOffice = 0,   // "URLFilterAWSLCount_InOffice", "URLFilterAWSL_InOffice%03d"
  kOutOffice = 1,  // "URLFilterAWSLCount_OutOffice", "URLFilterAWSL_OutOffice%03d"
};

class CDataMigraterV8 : public CDataMigrater {
 public:
  using CDataMigrater::CDataMigrater;

  bool MigrateDBData(const std::string& source, std::string* result,
                     const std::u16string& domain_uid) override;
  // The update source from the private server INI, the web-threat values
  // (older switches turned into flag words) and "INI_NOTIFICATION_SECTION".
  bool MigrateIniData(const std::u16string& dest_ini) override;
  bool NeedMigrateWatchDogSettings() const override;

  // Fills `settings` from "URL_FILTER_INI_SECTION" of the main INI file:
  // enable (0x1) and logging (0x10) switches per side, default off, plus
  // 0x8; the rating levels, default 1; the approved lists. Always true.
  bool ConvertWtpValuesToDBFlag(WtpSettings* settings) const;

  // Appends the approved list of `kind` to `text`: each entry (up to 1,534
  // characters) followed by "|", so a count of 0 appends nothing and two
  // entries a, b append "a|b|". Entries are stored enciphered; an entry that
  // is not, or does not decipher, or whose plain text holds a TAB (which
  // would split the configuration token it ends up in), counts as empty.
  void GetBWListAsString(BWListKind kind, std::u16string* text) const;

  // Copies the update-source settings of "INI_UPDATE_SETTING" from `src_ini`
  // to `dest_ini`: "UpdateSourceType", "AUServerUNCPath", "UpdateSource" only
  // when it differs from "DefaultAUServer", "UseServerOus", then "TOTAL_OUS"
  // (default 1) and that many "ServerOUS%d" keys. Always true.
  bool MigrateServerUpdateSourceFrom8(const std::u16string& src_ini,
                                      const std::u16string& dest_ini) const;
};

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATERV8_H_
