// CExportSkvaSettings: turns the installed server's settings into an export
// archive. One object serves one export: ExportConfigToFile gathers the INI
// settings and every domain's record (converted to the current layout by the
// migrater of the installed version) into one SettingAggregation, writes it
// as skva.dat into the install folder, zips it with the server's
// configuration files and deletes it again.
#ifndef PORTELLE_EXPORT_PORTELLEEXPORT_H_
#define PORTELLE_EXPORT_PORTELLEEXPORT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "dbclient/dbcl_CommandWords.h"
#include "migrate/IMigraterDatabase.h"
#include "package/PackageDataFile.h"
#include "package/ServerSettings.pb.h"
#include "platform/progress.h"
#include "platform/string_table.h"

class CDataMigrater;

class CExportSkvaSettings {
 public:
  // The root of the domain tree, and the name the flat export gives every
  // domain.
  static constexpr std::u16string_view kRootUid = kDbRootDomainUid;
  static constexpr std::u16string_view kRootName = u"root";
  // The walk descends at most this many levels below the root: far more than
  // any server's tree, few enough for the stack. Children below it are not
  // walked; domains_left_out() counts them.
  static constexpr size_t kMaxTreeDepth = 256;

  // `install_path` is the server's install folder, ending in a separator.
  CExportSkvaSettings(double server_version, std::u16string install_path, int32_t service_pack,
                      int32_t patch);
  virtual ~CExportSkvaSettings();
  CExportSkvaSettings(const CExportSkvaSettings&) = delete;
  CExportSkvaSettings& operator=(const CExportSkvaSettings&) = delete;

  // The whole export into the archive `archive_path` (".Zip" is appended to
  // a name without a ".zip" ending). True when the archive was written. The
  // archive is built under a temporary name beside it and renamed at the
  // end, so a failed export never leaves a partial archive under the user's
  // name. skva.dat and tmp.ini (and the files they are built in) are gone
  // afterwards in every case.
  bool ExportConfigToFile(const std::u16string& archive_path);

  // The steps, public so that tests can run them one by one. ExportFromIni
  // is false only when the staging file tmp.ini cannot be created in the
  // install folder (failure() says why).
  bool ExportFromIni();
  bool ExportFromDB();
  // Each UID is walked once in the whole walk: a child met before (under
  // another parent, or above it on the path) is skipped with a level-69
  // line, so that the package holds each domain once and a tree that is no
  // tree cannot make the walk endless. Children below kMaxTreeDepth levels
  // are skipped too, and counted as left out.
  void DigDown(const std::u16string& node_uid, const std::u16string& entry_name,
               const std::u16string& domain_name, const std::u16string& parent_uid);
  void GetSetting(const std::u16string& node_uid, const std::u16string& entry_name,
                  const std::u16string& domain_name, const std::u16string& parent_uid,
                  const std::u16string& new_uid);
  void ExportClientPwd(SKVA_Server_Settings::ScanConfigs* record, const std::u16string& node_uid);
  std::u16string MakeShadowUid(const std::u16string& uid);
  bool AddFilesToZip(const std::u16string& archive_path);

  bool ExportProxySettings(const std::u16string& main_ini, const std::u16string& temp_ini);
  bool MigrateWatchDogSettings(const std::u16string& main_ini, const std::u16string& temp_ini);
  bool MigrateOleLayer(const std::u16string& main_ini, const std::u16string& temp_ini);
  bool ExportPFWSettings(const std::u16string& main_ini, const std::u16string& temp_ini);

  // Creates the migrater for the installed version (the driver's step 3).
  bool CreateMigrater();

  // The package gathered so far, the domain records parsed again from their
  // serialised form (which ExportConfigToFile releases once written).
  SKVA_Server_Settings::SettingAggregation package() const;

  // After ExportConfigToFile: the file actually written (the archive path
  // with ".Zip" appended when it had no ".zip" ending).
  const std::u16string& written_archive() const { return m_wstrWrittenArchive; }
  // Why the export failed, in the user's terms (what failed, the path, the
  // system's reason), for the application layer to show; empty when it
  // succeeded or when message 133 has said it already.
  const platform::AppMessage& failure() const { return m_failure; }
  // True when the archive was written but no exchange with the database
  // service succeeded: no domain could be read, and the archive holds only
  // the INI settings and files. A reachable service with an empty tree is
  // not this.
  bool database_unreachable() const { return m_nDatabaseReplies == 0; }
  // How many domains the walk listed but did not walk because they lie below
  // kMaxTreeDepth levels: the archive lacks them and their subtrees, whose
  // size is unknown, so the count is a lower bound. A domain met again
  // elsewhere in the tree is in the package and is not counted.
  size_t domains_left_out() const { return m_nDomainsLeftOut; }

  // Where the export reports the domains it has put into the package (none
  // by default): 0 as the walk starts, then each record finished. The
  // observer must outlive ExportConfigToFile.
  void SetProgressObserver(platform::ProgressObserver* observer) { m_pProgress = observer; }

  // Replaces the source of new UIDs, so that tests can make GUID creation
  // fail; by default util_HelperFunctions::NewGuidText.
  using GuidSource = std::u16string (*)();
  void SetGuidSourceForTesting(GuidSource source) { m_pfnNewGuid = source; }

 private:
  std::u16string MainIniPath() const;
  // Proves that tmp.ini can be created in the install folder, and prepares
  // `staging`, where the INI step gathers what tmp.ini would hold: a copy of
  // a tmp.ini left in the folder, or no file.
  bool StartTempIni(const std::u16string& temp_ini, const std::u16string& staging);
  // Counts a database exchange that succeeded; returns `succeeded`.
  bool CountReply(bool succeeded) {
    if (succeeded) ++m_nDatabaseReplies;
    return succeeded;
  }
  std::u16string TempIniPath() const;
  // Tells the progress observer, if any, how many records the package holds.
  void ReportProgress();
  // Where the INI step builds the package's INI text, so that no half-built
  // tmp.ini is ever left for a later export to take in.
  std::u16string TempIniStagingPath() const;

  // The package's fields but its domain records, which are kept serialised
  // as the walk reads them: the package is never held twice.
  SKVA_Server_Settings::SettingAggregation m_package;
  package::SerializedRecords m_records;
  double m_dServerVer;
  int32_t m_nServicePackVer;
  int32_t m_nPatchVer;
  std::u16string m_wstrServerPath;
  std::unique_ptr<IMigraterDatabase> m_pDatabase;  // what the migrater asks
  std::unique_ptr<CDataMigrater> m_pMigrater;
  std::u16string m_wstrUninstallPwd;
  std::u16string m_wstrUnloadPwd;
  GuidSource m_pfnNewGuid;
  // The UIDs the walk has entered, the root included.
  std::unordered_set<std::u16string> m_setVisited;
  // The UIDs listed below kMaxTreeDepth levels, not walked there.
  std::unordered_set<std::u16string> m_setTooDeep;
  // The levels below the root of the children DigDown is listing.
  size_t m_nWalkDepth = 0;
  size_t m_nDomainsLeftOut = 0;
  std::u16string m_wstrWrittenArchive;
  platform::AppMessage m_failure;
  // Database exchanges that succeeded during ExportFromDB.
  int m_nDatabaseReplies = 0;
  platform::ProgressObserver* m_pProgress = nullptr;
};

#endif  // PORTELLE_EXPORT_PORTELLEEXPORT_H_
