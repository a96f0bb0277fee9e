// The export driver and the walk of the domain tree.
#include "export/PortelleExport.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "dbclient/CmdProtocol.h"
#include "dbclient/dbcl_Command.h"
#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "migrate/DbMigraterDatabase.h"
#include "migrate/PortelleDataMigrater.h"
#include "package/PackageDataFile.h"
#include "package/ServerVersions.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "zip/ZipCommon.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleExport";
// The passwords are read into buffers of this many characters.
constexpr uint32_t kPasswordBufferChars = 1024;

}  // namespace

CExportSkvaSettings::CExportSkvaSettings(double server_version, std::u16string install_path,
                                         int32_t service_pack, int32_t patch)
    : m_dServerVer(server_version),
      m_nServicePackVer(service_pack),
      m_nPatchVer(patch),
      m_wstrServerPath(std::move(install_path)),
      m_pDatabase(std::make_unique<CDbMigraterDatabase>()),
      m_pfnNewGuid(&util_HelperFunctions::NewGuidText) {}

CExportSkvaSettings::~CExportSkvaSettings() = default;

std::u16string CExportSkvaSettings::MainIniPath() const {
  return m_wstrServerPath + u"bsnscan.ini";
}
std::u16string CExportSkvaSettings::TempIniPath() const { return m_wstrServerPath + u"tmp.ini"; }
std::u16string CExportSkvaSettings::TempIniStagingPath() const {
  return TempIniPath() + u".staging";
}

bool CExportSkvaSettings::CreateMigrater() {
  try {
    m_pMigrater = CreateDataMigrater(m_dServerVer, m_nServicePackVer, m_nPatchVer, m_wstrServerPath,
                                     *m_pDatabase);
  } catch (const std::bad_alloc&) {
    m_pMigrater.reset();
  }
  return m_pMigrater != nullptr;
}

bool CExportSkvaSettings::ExportConfigToFile(const std::u16string& archive_path) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::ExportConfigToFile";
  DEBUG_LOG(68,
            u"%s - ExportConfigToFile(%s), ServerVer(%2f), ServicePackVer(%d), PatchVer(%d), "
            u"ServerPath(%s)",
            kFunc, archive_path, m_dServerVer, m_nServicePackVer, m_nPatchVer, m_wstrServerPath);
  m_failure = {};
  m_nDatabaseReplies = 0;
  // The writer appends ".Zip" to a name without a ".zip" ending and cuts a
  // name that would not fit the system's paths: a cut name would be another
  // file than the one the user named, so it is refused before anything is
  // written.
  const std::string narrow_archive = platform::ToSystemCodePage(archive_path);
  const std::string written_archive = NormalizeArchiveName(narrow_archive);
  const bool archive_path_fits = narrow_archive.size() <= platform::kMaxSystemPathBytes &&
                                 written_archive.starts_with(narrow_archive);
  m_wstrWrittenArchive =
      archive_path_fits ? platform::FromSystemCodePage(written_archive) : archive_path;
  bool result = true;
  try {
    m_package.set_original_skva_ver(m_dServerVer);
    m_package.set_original_servicepack_ver(m_nServicePackVer);
    m_package.set_original_patch_ver(m_nPatchVer);
    if (!archive_path_fits) {
      DEBUG_LOG(70, u"%s - the archive path is longer than %d bytes: %s", kFunc,
                static_cast<int32_t>(platform::kMaxSystemPathBytes), m_wstrWrittenArchive);
      m_failure = platform::AppMessage(platform::kMsgArchivePathTooLong, m_wstrWrittenArchive);
      result = false;
    } else if (!CreateMigrater()) {
      DEBUG_LOG(69, u"%s - failed to allocate memory!", kFunc);
      result = false;
    } else if (!ExportFromIni()) {
      result = false;
    } else {
      ExportFromDB();
      const package::PackageStatus written = package::WritePackageDataFile(
          m_package, std::exchange(m_records, {}), m_wstrServerPath, kFunc);
      if (!written.ok()) {
        if (written.corrupted()) {
          platform::ShowAppMessage(platform::kMsgDataFileCorrupted, platform::MessageIcon::kError);
        }
        if (!written.file_status().ok()) {
          m_failure = platform::FileFailureMessage(platform::kMsgInstallFileNotWritten,
                                                   package::PackageDataFilePath(m_wstrServerPath),
                                                   written.file_status());
        }
        result = false;
      } else {
        if (!AddFilesToZip(archive_path)) result = false;
      }
      platform::DeleteFile(package::PackageDataFilePath(m_wstrServerPath));
    }
  } catch (const std::exception& e) {
    // Nothing leaves the export as an exception; what was reached stays.
    DEBUG_LOG(70, u"%s - Catch exception %S", kFunc, std::string(e.what()));
    platform::DeleteFile(package::PackageDataFilePath(m_wstrServerPath));
    platform::DeleteFile(TempIniPath());
    platform::DeleteFile(TempIniStagingPath());
    result = false;
  }
  if (result && database_unreachable()) {
    DEBUG_LOG(69, u"%s - no domain could be read from the database service", kFunc);
  }
  DEBUG_LOG(68, u"%s - <=ExportConfigToFile(), return %d", kFunc, result ? 1 : 0);
  return result;
}

bool CExportSkvaSettings::ExportFromDB() {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::ExportFromDB";
  DEBUG_LOG(68, u"%s - =>ExportFromDB()", kFunc);
  const std::u16string main_ini = MainIniPath();
  char16_t buffer[kPasswordBufferChars] = {};
  platform::GetPrivateProfileStringW(u"INI_CLIENT_SECTION", u"Uninstall_Pwd", u"", buffer,
                                     kPasswordBufferChars, main_ini.c_str());
  m_wstrUninstallPwd = buffer;
  platform::GetPrivateProfileStringW(u"INI_CLIENT_SECTION", u"Unload_Pwd", u"", buffer,
                                     kPasswordBufferChars, main_ini.c_str());
  m_wstrUnloadPwd = buffer;

  const std::u16string root(kRootUid);
  const std::u16string root_name(kRootName);
  m_setVisited.clear();
  m_setTooDeep.clear();
  m_nWalkDepth = 0;
  m_nDomainsLeftOut = 0;
  ReportProgress();
  if (m_dServerVer > server_versions::kAfter10Threshold) {
    DigDown(root, root_name, root_name, root);
    // A domain cut off at one place may have been walked at a shallower one.
    for (const std::u16string& uid : m_setTooDeep) {
      if (!m_setVisited.contains(uid)) ++m_nDomainsLeftOut;
    }
    if (m_nDomainsLeftOut > 0) {
      DEBUG_LOG(69, u"%s - at least %d domain(s) below %d levels were left out", kFunc,
                static_cast<int32_t>(m_nDomainsLeftOut), static_cast<int32_t>(kMaxTreeDepth));
    }
  } else {
    // Servers of 10.01 and older keep no tree: every domain lies directly
    // under the root and is named "root".
    std::string reply;
    CountReply(dbGetDomain(kDbDomainListType, root, &reply));
    for (const DbDomainListEntry& entry : ParseDomainListReply(reply)) {
      const std::u16string& uid = entry.uid;
      const std::u16string& entry_name = entry.entry_name;
      if (!m_setVisited.insert(uid).second) {
        DEBUG_LOG(69, u"%s - [%s] is listed again; exported once", kFunc, uid);
        continue;
      }
      GetSetting(uid, entry_name, root_name, root, MakeShadowUid(uid));
    }
  }
  DEBUG_LOG(68, u"%s - <=ExportFromDB()", kFunc);
  return true;
}

void CExportSkvaSettings::DigDown(const std::u16string& node_uid, const std::u16string& entry_name,
                                  const std::u16string& domain_name,
                                  const std::u16string& parent_uid) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::DigDown";
  DEBUG_LOG(68, u"%s - current_uid[%s], domain_name[%s], parent[%s]", kFunc, node_uid, domain_name,
            parent_uid);
  const bool is_root = node_uid == kRootUid;
  m_setVisited.insert(node_uid);
  std::string reply;
  CountReply(dbGetDomain(kDbDomainListType, node_uid, &reply));
  if (reply.empty()) {
    DEBUG_LOG(68, u"%s - [%s] is a leaf node", kFunc, node_uid);
    if (!is_root)
      GetSetting(node_uid, entry_name, domain_name, parent_uid, MakeShadowUid(node_uid));
    return;
  }
  const std::u16string new_uid = is_root ? std::u16string(kRootUid) : MakeShadowUid(node_uid);
  DEBUG_LOG(68, u"%s - current[%s] --> [%s], domain_name[%s]", kFunc, node_uid, new_uid,
            domain_name);
  ++m_nWalkDepth;
  for (const DbDomainListEntry& child : ParseDomainListReply(reply)) {
    const std::u16string& child_uid = child.uid;
    const std::u16string& child_entry = child.entry_name;
    // A tree lists each domain once. A domain listed under two parents, or
    // under one of its own descendants, is walked where it is met first:
    // walking it again would double it in the package, and a tree of such
    // links grows the walk exponentially with its depth, or endlessly.
    if (m_setVisited.contains(child_uid)) {
      DEBUG_LOG(69, u"%s - [%s] below [%s] was met before; not walked again", kFunc, child_uid,
                node_uid);
      continue;
    }
    if (m_nWalkDepth >= kMaxTreeDepth) {
      DEBUG_LOG(69, u"%s - [%s] below [%s] lies deeper than %d levels; left out", kFunc, child_uid,
                node_uid, static_cast<int32_t>(kMaxTreeDepth));
      m_setTooDeep.insert(child_uid);
      continue;
    }
    std::u16string child_name;
    std::string name_reply;
    CountReply(dbGetClnDomainName(child_uid, &name_reply));
    if (!name_reply.empty()) CCmdProtocol(name_reply).NextToken(child_name);
    DigDown(child_uid, child_entry, child_name, new_uid);
  }
  DEBUG_LOG(68, u"%s - empty domain", kFunc);
  --m_nWalkDepth;
  if (!is_root) GetSetting(node_uid, entry_name, domain_name, parent_uid, new_uid);
}

std::u16string CExportSkvaSettings::MakeShadowUid(const std::u16string& uid) {
  std::u16string fresh = m_pfnNewGuid();
  if (!fresh.empty()) return fresh;
  // No GUID could be made: the old UID, marked, still tells the domains apart.
  std::u16string marked = uid;
  marked.replace(0, std::min<size_t>(3, marked.size()), u"111");
  return marked;
}

void CExportSkvaSettings::GetSetting(const std::u16string& node_uid,
                                     const std::u16string& entry_name,
                                     const std::u16string& domain_name,
                                     const std::u16string& parent_uid,
                                     const std::u16string& new_uid) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::GetSetting";
  DEBUG_LOG(68, u"%s - uid(%s), name(%s), parent(%s), uid_shadow(%s)", kFunc, node_uid, domain_name,
            parent_uid, new_uid);
  SKVA_Server_Settings::ScanConfigs record;
  record.set_domain_uid(platform::TextToUtf16Le(new_uid));
  record.set_domain_name(platform::TextToUtf16Le(domain_name));
  record.set_domain_name_size(static_cast<int32_t>(domain_name.size()));
  record.set_parent_uid(platform::TextToUtf16Le(parent_uid));
  record.set_client_uninstall(platform::TextToUtf16Le(m_wstrUninstallPwd));
  record.set_client_unload(platform::TextToUtf16Le(m_wstrUnloadPwd));
  record.set_computer_name(platform::TextToUtf16Le(entry_name));
  record.set_computer_name_size(static_cast<int32_t>(entry_name.size()));

  std::string config;
  if (!CountReply(dbExport(node_uid, &config))) {
    DEBUG_LOG(69, u"%s - fail to export config from DB!", kFunc);
  } else {
    std::string converted;
    m_pMigrater->MigrateDBData(config, &converted, node_uid);
    record.set_config_string(std::move(converted));
    if (m_pMigrater->NeedExportClientPwd()) ExportClientPwd(&record, node_uid);
  }
  m_records.Append(record);
  ReportProgress();
}

void CExportSkvaSettings::ReportProgress() {
  // The walk learns of the domains as it goes: there is no total to give.
  if (m_pProgress != nullptr) {
    m_pProgress->OnDomainsDone(static_cast<int>(m_records.count()),
                               platform::ProgressObserver::kUnknownTotal);
  }
}

SKVA_Server_Settings::SettingAggregation CExportSkvaSettings::package() const {
  SKVA_Server_Settings::SettingAggregation package = m_package;
  m_records.ParseInto(&package);
  return package;
}

void CExportSkvaSettings::ExportClientPwd(SKVA_Server_Settings::ScanConfigs* record,
                                          const std::u16string& node_uid) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::ExportClientPwd";
  tagDbClientPassword password;
  password.SetDomainUid(node_uid);
  if (!CountReply(dbGetClientPassword(&password))) {
    DEBUG_LOG(69, u"%s - the return code of dbGetClientPassword() is false", kFunc);
    return;
  }
  // The whole fixed fields travel, zero padding included: 512 bytes each.
  record->set_client_uninstall(password.m_szUninstallPwd, sizeof password.m_szUninstallPwd);
  record->set_client_unload(password.m_szUnloadPwd, sizeof password.m_szUnloadPwd);
}
