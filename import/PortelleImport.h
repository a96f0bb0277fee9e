// CImportSkvaSettings: applies an export archive to the installed server.
// One object serves one import, after the user has confirmed it:
// ImportSettingsFromFile extracts the archive into the install folder, reads
// the package skva.dat it carried, merges the package's INI settings into the
// server's INI files, recreates every domain of the package through the
// database service (a domain whose entry name exists already is left alone
// and listed in DuplicateDomainList.txt) with its scan configuration and DLP
// settings, and finally hands the firewall files and the DLP template to the
// server's own migration components.
//
// Relative names depend on the current folder: the report
// DuplicateDomainList.txt lies in the current folder of the process; the two
// migration steps make the install folder current for their duration and
// restore the previous one. skva.dat and tmp.ini in the install folder are
// fixed names, so two imports (or an import and an export) must not run at
// the same time.
#ifndef PORTELLE_IMPORT_PORTELLEIMPORT_H_
#define PORTELLE_IMPORT_PORTELLEIMPORT_H_

#include <string>
#include <string_view>

#include "package/PackageDataFile.h"
#include "package/ServerSettings.pb.h"
#include "platform/progress.h"
#include "platform/string_table.h"

class CUnzip;

// What an import left out, counted so that the user is told after it; each
// case is also logged at level 69 with the domain or member named.
struct ImportSummary {
  // Records whose domain was not created because the record is damaged (a
  // value does not fit its field in the creation record).
  int domains_not_imported = 0;
  // Domains created whose scan configuration was not sent because the
  // record's configuration is damaged.
  int domains_without_config = 0;
  // Archive members that no export archive holds, not extracted.
  int members_skipped = 0;

  // What the import did, counted for a report after it; nothing is logged
  // for these beyond the engine's own lines.
  // Domains the database service created (or answered with a status of its
  // own, which counts as created).
  int domains_created = 0;
  // Domains the database service refused, or that could not be sent to it
  // (message 134 was shown).
  int domains_refused = 0;
  // Files written into the install folder from the archive, each replacing
  // a file of that name if there was one.
  int files_replaced = 0;
  // Whether MigratePFWSettings and MigrateDLPTemplate returned true; false
  // too when the import stopped before them.
  bool firewall_migrated = false;
  bool dlp_template_migrated = false;

  bool anything_left_out() const {
    return domains_not_imported != 0 || domains_without_config != 0;
  }
};

class CImportSkvaSettings {
 public:
  // The duplicate-domain report, in the process's current folder: one line
  // "domain name\entry name" for each domain whose entry name existed
  // already, UTF-16LE text with a byte-order mark and CR LF line ends.
  static constexpr std::u16string_view kDuplicateDomainListName = u"DuplicateDomainList.txt";
  // The longest skva.dat the import takes from an archive.
  static constexpr size_t kMaxPackageFileBytes = package::kMaxPackageBytes + 20;
  // Characters of a record's UID fields.
  static constexpr int32_t kUidChars = 36;

  // The first `chars` UTF-16LE characters of a record's byte field, as far
  // as the field holds whole characters.
  static std::u16string RecordText(const std::string& bytes, int32_t chars);

  // The whole check of an open archive before anything is written: every
  // member's name and data, and a skva.dat that decodes into *package, its
  // domain records left serialised in *records. On a refusal *reason says
  // why in the user's terms; nothing is shown. `install` is the install path
  // in the system code page.
  enum class ArchiveCheck { kSound, kRefused, kOutOfMemory };
  static ArchiveCheck VerifyArchive(CUnzip& unzip, const std::string& install,
                                    SKVA_Server_Settings::SettingAggregation* package,
                                    package::PackageRecords* records, std::u16string* reason);
  // Why an archive could not be opened, in the user's terms.
  static std::u16string WhyNotOpened(const std::u16string& archive_path);

  // Whether a domain with this entry name exists anywhere in the tree; a
  // lookup that fails finds nothing.
  static bool EntryNameExists(const std::u16string& entry_name);

  // The command line that runs the server's setup program on the archive's
  // DLP template, for a package exported from `version` with `service_pack`.
  static std::string DlpTemplateCommandLine(double version, int32_t service_pack);

  // `install_path` is the server's install folder, ending in a separator.
  // Creates DuplicateDomainList.txt in the current folder, or empties it, so
  // that it holds only the byte-order mark of UTF-16LE text.
  explicit CImportSkvaSettings(std::u16string install_path);
  virtual ~CImportSkvaSettings();
  CImportSkvaSettings(const CImportSkvaSettings&) = delete;
  CImportSkvaSettings& operator=(const CImportSkvaSettings&) = delete;

  // The whole import of the archive `archive_path` (".Zip" is appended to a
  // name without a ".zip" ending). False when the archive was refused, could
  // not be extracted or its package not read (the user has been told);
  // otherwise the result of ImportToIni, whatever the later steps give. A
  // package that is not a whole settings package is refused with message
  // 133 and nothing of it is imported. skva.dat in the install folder (a
  // stale one too) is deleted at the end in every case.
  bool ImportSettingsFromFile(const std::u16string& archive_path);

  // Checks the whole archive, then extracts its members into the install
  // folder. The check comes first and writes nothing: every member's name
  // must stay below the install folder, hold no control character and fit
  // the system's path limit there; every member's data must decompress and
  // match its size and CRC; and the archive must hold a skva.dat that
  // decodes into a settings package, which becomes package(). A refused
  // archive shows message 133, is logged at level 70 with the member and the
  // reason, sets failure() to kMsgArchiveRefused and leaves the install
  // folder untouched. Then the members are extracted, keeping their folders
  // and replacing existing files, each written under a temporary name and
  // renamed into place; skva.dat itself is not extracted. Only the members
  // an export archive holds (package::IsArchiveMemberName) are extracted;
  // others are skipped with a log line and counted in summary(), so that an
  // archive cannot place programs or libraries that the import or the
  // server would run. Last, top-level alert files and ssnotify.ini are moved
  // into "Admin\". True when all of that was done; otherwise message 133 (or
  // a zip exception's own text) has been shown, and a file that could not
  // be written is named in failure(). An archive or install path longer than
  // 259 bytes in the system code page is refused rather than cut.
  bool ExtractFromZip(const std::u16string& archive_path);

  // Imports one domain record: AddDomains, then, when that returned true,
  // ImportScanConfigs. A record without Domain_UID or Computer_Name is
  // skipped (true, nothing sent). The byte fields are read as UTF-16LE text
  // of their stored lengths (36 characters for the UIDs), never past the
  // field's bytes: an odd last byte and a length beyond the field are
  // ignored. Returns the result of AddDomains.
  bool ImportToDB(const SKVA_Server_Settings::ScanConfigs& record);

  // Creates one domain under `parent_uid`, or reports it as a duplicate when
  // a domain of that entry name exists anywhere in the tree (the lookup
  // always starts at the root): the line "domain name\entry name" is then
  // appended to DuplicateDomainList.txt and the result is false. A value
  // longer than its field in the creation record is not cut (a cut name or
  // UID would make a different domain): the domain is not created (false),
  // logged at level 69 with its entry name and UID and counted in
  // summary().domains_not_imported. A failed exchange or the refusal status
  // -1 shows message 134 (false); any other status but 0 is logged and
  // counts as created (true).
  bool AddDomains(const std::u16string& domain_uid, const std::u16string& entry_name,
                  const std::u16string& domain_name, const std::u16string& parent_uid);

  // Sends the record's Config_String to the database service for
  // `domain_uid` as a new stream in the current layout, with the target
  // server's four move directories and every number normalised, then the DLP
  // settings picked out of the same tokens. True when both were sent. The
  // spyware white list is sent whole, however long. A list count larger than
  // the tokens that follow it marks a damaged record: the tail, and with it
  // the DLP settings, cannot be found, so neither the configuration nor the
  // DLP settings are sent (false); the domain keeps the service's defaults,
  // logged at level 69 with its entry name and UID and counted in
  // summary().domains_without_config.
  bool ImportScanConfigs(const SKVA_Server_Settings::ScanConfigs& record,
                         const std::u16string& domain_uid);

  // Merges the package's INI settings (Global_Config_String) into bsnscan.ini
  // and private\bsnserver.ini key by key, keeping the target's ServerID and
  // move directories and never lowering its DiskReserved. False, with
  // failure() saying why, when the staging file tmp.ini cannot be written in
  // the install folder: nothing is merged then.
  bool ImportToIni();

  // Calls the firewall library BsnPfwCommon in the install folder: true when
  // it loaded and both entry points were found and called.
  bool MigratePFWSettings();

  // Runs SvcCfgRunner.exe to migrate the DLP template copy
  // Private\DlpClc.ori.xml into Private\DlpClc.xml, waits for it and removes
  // the copy. False when the program could not be started (the copy stays).
  bool MigrateDLPTemplate();

  // Where the import reports the package's records it has imported (none by
  // default): 0 of the record count once the INI settings are merged, then
  // each record done, whether its domain was created, left alone or
  // refused. The observer must outlive ImportSettingsFromFile.
  void SetProgressObserver(platform::ProgressObserver* observer) { m_pProgress = observer; }

  const SKVA_Server_Settings::SettingAggregation& package() const { return m_package; }
  // The domain records of the archive read, still serialised.
  const package::PackageRecords& records() const { return m_records; }
  const ImportSummary& summary() const { return m_summary; }
  // Why the import failed beyond the messages it showed itself (133, 134):
  // what failed, the path and the system's reason, for the application
  // layer to show. Empty when nothing more is to be said.
  const platform::AppMessage& failure() const { return m_failure; }
  // Sets the package the steps after the extraction work on, for running
  // one of them on its own (the INI merge of an import's preview, a test).
  void SetPackage(SKVA_Server_Settings::SettingAggregation package) {
    m_package = std::move(package);
  }

 private:
  std::u16string MainIniPath() const;
  // The check of ExtractFromZip before anything is written, on the open
  // archive; `install` is the install path in the system code page. Decodes
  // the archive's package into m_package. False when the archive is
  // refused (shown, logged, m_failure set) or memory ran out (logged).
  bool CheckArchive(CUnzip& unzip, const std::u16string& archive_path, const std::string& install);

  SKVA_Server_Settings::SettingAggregation m_package;
  // The archive's domain records, left serialised and parsed one at a time
  // as they are imported, after those of m_package (which holds only the
  // records a test gave it).
  package::PackageRecords m_records;
  std::u16string m_wstrServerPath;
  ImportSummary m_summary;
  platform::AppMessage m_failure;
  platform::ProgressObserver* m_pProgress = nullptr;
};

#endif  // PORTELLE_IMPORT_PORTELLEIMPORT_H_
