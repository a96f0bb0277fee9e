// CDataMigrater: the abstract version migrater, and the choice of the one
// migrater an export uses.
//
// During an export the configuration of the installed server is converted to
// the current layout (package/ScanConfigLayout.h) by one migrater for the
// installed version. The classes form one straight line of inheritance, each
// newer one deriving from the next older one:
//
//   CDataMigrater <- V8 <- V10 <- V10SP1 <- V105 <- V105_P1 <- V106 <- V106_SP1
//
// A migrater holds the server's install folder (ending in a path separator;
// INI names are appended to it) and the database it asks about domains. It
// keeps no other state: every call is independent of the others.
#ifndef PORTELLE_MIGRATE_PORTELLEDATAMIGRATER_H_
#define PORTELLE_MIGRATE_PORTELLEDATAMIGRATER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/CmdProtocol.h"
#include "migrate/IMigraterDatabase.h"

class CDataMigrater {
 public:
  // `database` must outlive the migrater.
  CDataMigrater(std::u16string install_path, IMigraterDatabase& database);
  CDataMigrater(const CDataMigrater&) = delete;
  CDataMigrater& operator=(const CDataMigrater&) = delete;
  virtual ~CDataMigrater();

  // Rewrites one domain's scan configuration, `source` as the database
  // service exported it (UTF-16LE text without terminator), into the current
  // layout in `result` (overwritten; UTF-16LE, twice the character count in
  // bytes, no terminator). `domain_uid` is used only to ask the database.
  // The result is complete whatever the source holds: missing tokens read as
  // 0 or empty. Always true.
  virtual bool MigrateDBData(const std::string& source, std::string* result,
                             const std::u16string& domain_uid) = 0;

  // Adds the version's INI sections and keys, read from the server's INI
  // files, to the export's staging INI file `dest_ini` (a full path).
  // Always true.
  virtual bool MigrateIniData(const std::u16string& dest_ini) = 0;

  // Whether the export carries the domains' client passwords over.
  virtual bool NeedExportClientPwd() const;
  // Whether the export carries the watchdog INI settings over.
  virtual bool NeedMigrateWatchDogSettings() const;

 protected:
  // The server's main INI file and its private server INI file.
  std::u16string MainIniPath() const;
  std::u16string PrivateIniPath() const;

  // An integer of the main INI file, `default_value` when absent.
  int32_t ReadMainIniInt(const char16_t* section, const char16_t* key, int32_t default_value) const;
  // "Global Setting" / "OleLayer", default 1.
  int32_t ReadOleLayer() const;
  // The protection bits for m_dwHeader2 from "Global Setting": each key
  // (default 1) that is not 0 adds its bit: "ECSP" 0x1000 (only when
  // `with_ecsp`), "SP_EnableFileProtection" 0x2000,
  // "SP_EnableRegistryKeyProtection" 0x4000, "SP_EnableProcessProtection"
  // 0x8000.
  uint32_t ReadProtectionBits(bool with_ecsp) const;

  // The database answers, 0 (or an empty list) when a query fails. The status
  // word comes with bit 0x400 moved to 0x2000000. The service switch is the
  // first of the reply's three values. The spyware list holds at most
  // scan_config_layout::kMaxListEntries entries.
  uint32_t QueryStatus(const std::u16string& domain_uid) const;
  uint32_t QueryDestScanType(const std::u16string& domain_uid) const;
  uint32_t QueryServiceSwitch(const std::u16string& domain_uid) const;
  std::vector<int32_t> QuerySpywareWhiteList(const std::u16string& domain_uid) const;

  // A reader over a source as MigrateDBData receives it.
  static CCmdProtocol SourceReader(const std::string& source);
  // The writer's text as MigrateDBData returns it.
  static void AssignResult(const CCmdProtocol& writer, std::string* result);

  // Copies positions 39 to 62 (the string groups) from `reader` to `writer`,
  // writing positions 43 to 46, the move directories, empty: the import puts
  // in the target server's own. The first token of each group is logged at
  // level 8 under `log_source` and `function`, "%s - m_strMSExtList = %s";
  // with `parenthesised` as "%s - m_strMSExtList = (%s)"; with
  // `log_last_folder` the last token is logged too.
  static void CopyStringGroups(CCmdProtocol& reader, CCmdProtocol& writer,
                               std::u16string_view log_source, std::u16string_view function,
                               bool parenthesised, bool log_last_folder);

  // Reads a scan type's flag word and compress layer and writes its four
  // fields: the flag word (bit move 0x4000 first when `move_bit_4000`) with
  // the OLE mark, the layer, `ole_layer` and the action 4. Returns the layer.
  static uint32_t CopyScanGroup(CCmdProtocol& reader, CCmdProtocol& writer, bool move_bit_4000,
                                int32_t ole_layer);
  // Copies `count` numbers, each read and written as an unsigned 32-bit value.
  static void CopyDwords(CCmdProtocol& reader, CCmdProtocol& writer, size_t count);
  // Copies tail positions `first_tail` to `last_tail` by their kind: texts
  // as they are, numbers (16-bit ones included) read and written as unsigned
  // 32-bit values. Each is logged at level 8 under `log_source` and
  // `function` by its name, "%s - m_dwDCFlagIn = %d", "%s - m_strVIGILDAC =
  // %s", the DLP lists (T34 on) as "%s - m_strIpBlIn = (%s)" and T3 as
  // "%s - VIGIL m_dwEnable = %d".
  static void CopyTailFields(CCmdProtocol& reader, CCmdProtocol& writer, size_t first_tail,
                             size_t last_tail, std::u16string_view log_source,
                             std::u16string_view function);
  // Writes the cache days (positions 36 to 38): 28, 60, 30.
  static void AppendCacheDays(CCmdProtocol& writer);
  // Writes the list count and the entries.
  static void AppendList(CCmdProtocol& writer, const std::vector<int32_t>& entries);
  // Writes tail positions `first_tail` to T47 as 0 or empty, by their kind.
  static void AppendTailDefaults(CCmdProtocol& writer, size_t first_tail);

 private:
  std::u16string m_wstrInstallPath;
  IMigraterDatabase& m_database;
};

// The bit moves several versions apply to flag words.
// 0x4000 becomes 0x10000.
constexpr uint32_t MoveBit4000(uint32_t word) {
  return (word & 0x4000u) != 0 ? (word & ~0x4000u) | 0x10000u : word;
}
// 0x400 becomes 0x2000000.
constexpr uint32_t MoveBit400(uint32_t word) {
  return (word & 0x400u) != 0 ? (word & ~0x400u) | 0x2000000u : word;
}
// Bit 0x1000000 of m_dwHeader1 becomes bit 0x100 of m_dwHeader2.
constexpr void MoveBit1000000(uint32_t* header1, uint32_t* header2) {
  if ((*header1 & 0x1000000u) == 0) return;
  *header1 &= ~0x1000000u;
  *header2 |= 0x100u;
}
// A scan type's flag word is marked 0x20000000 while OLE layers are scanned.
constexpr uint32_t ApplyOleMark(uint32_t word, int32_t ole_layer) {
  return ole_layer >= 1 ? word | 0x20000000u : word;
}

// The migrater for a server of `version` with `service_pack` and `patch`:
//   version < 9.99   V8
//   version < 10.49  V10SP1 when service_pack != 0, else V10
//   version < 10.59  V105_P1 when patch != 0, else V105 (the service pack
//                    does not count here)
//   otherwise        V106_SP1 when service_pack != 0, else V106
// Null when it cannot be allocated. `database` must outlive it.
std::unique_ptr<CDataMigrater> CreateDataMigrater(double version, int32_t service_pack,
                                                  int32_t patch, const std::u16string& install_path,
                                                  IMigraterDatabase& database);

#endif  // PORTELLE_MIGRATE_PORTELLEDATAMIGRATER_H_
