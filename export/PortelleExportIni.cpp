// The INI-held part of an export: a fixed selection of sections and keys of
// the server's INI files is gathered in a staging file, the migrater adds
// its version's values, four conversions follow, and the whole file becomes
// the package's Global_Config_String. The staging file starts as a copy of
// a tmp.ini left in the install folder (which thus contributes its other
// sections) and is built beside it under a name of its own, so that an
// export stopped half-way never leaves a half-built tmp.ini behind. The
// server's own INI files are only read.
#include <array>
#include <string>

#include "dbclient/DecimalText.h"
#include "export/PortelleExport.h"
#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "migrate/PortelleDataMigrater.h"
#include "package/IniSections.h"
#include "package/ServerVersions.h"
#include "platform/file_system.h"
#include "platform/profile.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleExport";

using util_HelperFunctions::DuplicateIniKeyValue;
using util_HelperFunctions::DuplicateIniSection;

struct KeyWithDefault {
  std::u16string_view key;
  std::u16string_view default_value;
};

constexpr std::u16string_view kServerSection = u"INI_SERVER_SECTION";

// Keys of "INI_SERVER_SECTION" carried with their defaults.
constexpr std::array<KeyWithDefault, 6> kServerKeys = {{
    {u"Update_Agent_Direct_Update", u"1"},
    {u"Client_Purge_Enable", u"0"},
    {u"Client_Purge_Days", u"30"},
    {u"MaxUploadSize", u"64"},
    {u"Quarantine_Folder_Capacity", u"10240"},
    {u"Cookie_Expire_Period", u"30"},
}};

constexpr std::array<KeyWithDefault, 5> kProxyKeys = {{
    {u"UseProxy", u"0"},
    {u"Proxy_IP", u""},
    {u"Proxy_Port", u"80"},
    {u"Proxy_Login", u""},
    {u"Proxy_Pwd", u""},
}};

// The four scan types whose sections receive the OLE settings.
constexpr std::array<std::u16string_view, 4> kScanSections = {
    u"Manual Scan Configuration", u"Real Time Scan Configuration",
    u"Prescheduled Scan Configuration", u"Scan Now Configuration"};

std::u16string Text(std::u16string_view view) { return std::u16string(view); }

}  // namespace

bool CExportSkvaSettings::ExportFromIni() {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::ExportFromIni";
  DEBUG_LOG(68, u"%s - =>ExportFromIni()", kFunc);
  const std::u16string main_ini = MainIniPath();
  const std::u16string private_ini = m_wstrServerPath + u"private\\bsnserver.ini";
  const std::u16string temp_ini = TempIniStagingPath();
  if (!StartTempIni(TempIniPath(), temp_ini)) {
    DEBUG_LOG(68, u"%s - <=ExportFromIni()", kFunc);
    return false;
  }
  // Every value gathered goes into the staging file in memory; the file is
  // written once, when it is complete.
  platform::ProfileWriteBatch temp_writes(temp_ini);

  for (std::u16string_view section : package::kWholeMainIniSections) {
    DuplicateIniSection(main_ini, section, temp_ini);
  }
  DuplicateIniSection(main_ini, package::kUnreachableNetworkSection, temp_ini);
  for (const KeyWithDefault& k : kServerKeys) {
    DuplicateIniKeyValue(main_ini, kServerSection, k.key, k.default_value, temp_ini);
  }
  DuplicateIniSection(private_ini, u"Other Update Source", temp_ini);
  DuplicateIniSection(private_ini, u"INI_AUUNC_SUPPORT", temp_ini);
  DuplicateIniKeyValue(private_ini, u"SERVER_CONSOLE_SECTION", u"Enable_Auto_Refresh", u"0",
                       temp_ini);
  DuplicateIniKeyValue(private_ini, u"SERVER_CONSOLE_SECTION", u"Auto_Refresh_Rate", u"30",
                       temp_ini);

  if (m_pMigrater) m_pMigrater->MigrateIniData(temp_ini);
  ExportProxySettings(main_ini, temp_ini);
  if (m_pMigrater && m_pMigrater->NeedMigrateWatchDogSettings()) {
    MigrateWatchDogSettings(main_ini, temp_ini);
  }
  if (m_dServerVer < server_versions::k105Threshold) MigrateOleLayer(main_ini, temp_ini);
  ExportPFWSettings(main_ini, temp_ini);

  // The staging file's bytes, exactly as the profile writer left them.
  std::string bytes;
  const platform::Status written = temp_writes.Commit();
  const platform::Status read = written.ok() ? platform::ReadFile(temp_ini, &bytes) : written;
  if (read.ok()) {
    m_package.set_global_config_string(bytes);
  } else {
    DEBUG_LOG(69, u"%s - cannot %s the staging INI file: %S", kFunc,
              written.ok() ? u"read" : u"write", read.message());
  }
  platform::DeleteFile(temp_ini);
  // A tmp.ini left by an earlier run has been taken in and goes as well.
  if (platform::PathExists(TempIniPath())) platform::DeleteFile(TempIniPath());
  DEBUG_LOG(68, u"%s - <=ExportFromIni()", kFunc);
  return true;
}

bool CExportSkvaSettings::StartTempIni(const std::u16string& temp_ini,
                                       const std::u16string& staging) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::ExportFromIni";
  // tmp.ini is created and removed again at once, so that an install folder
  // that cannot be written ends the export here, with the system's reason,
  // rather than with INI writes that fail one by one.
  platform::Status status;
  // A link at tmp.ini is no file a run left: it is removed itself, and what
  // it points to is neither read nor written.
  if (platform::IsSymbolicLink(temp_ini)) platform::DeleteFile(temp_ini);
  std::string left_bytes;
  if (!platform::PathExists(temp_ini)) {
    platform::File probe;
    status = probe.Open(temp_ini, platform::File::Mode::kCreateNew, platform::Access::kOwnerOnly);
    if (status.ok()) {
      probe.Close();
      status = platform::DeleteFile(temp_ini);
    }
    if (!status.ok()) {
      DEBUG_LOG(70, u"%s - cannot create %s: %S", kFunc, temp_ini, status.message());
      m_failure =
          platform::FileFailureMessage(platform::kMsgInstallFileNotWritten, temp_ini, status);
      return false;
    }
  } else {
    // A tmp.ini left in the folder is written on as it is.
    status = platform::ReadFile(temp_ini, &left_bytes);
  }
  // The staging file will hold clear-text passwords: it starts as a new
  // owner-only file (what a stopped export left under its name, a link
  // included, is removed first), and the profile writer keeps its mode.
  if (status.ok()) {
    status = platform::DeleteFile(staging);
    if (!status.ok() && status.code() == platform::kErrorFileNotFound) status = platform::Status();
  }
  if (status.ok()) {
    platform::File file;
    status = file.Open(staging, platform::File::Mode::kCreateNew, platform::Access::kOwnerOnly);
    if (status.ok()) status = file.Write(left_bytes.data(), left_bytes.size());
    const platform::Status closed = file.Close();
    if (status.ok()) status = closed;
    if (!status.ok()) platform::DeleteFile(staging);
  }
  if (status.ok()) return true;
  DEBUG_LOG(70, u"%s - cannot create %s: %S", kFunc, staging, status.message());
  m_failure = platform::FileFailureMessage(platform::kMsgInstallFileNotWritten, staging, status);
  return false;
}

bool CExportSkvaSettings::ExportProxySettings(const std::u16string& main_ini,
                                              const std::u16string& temp_ini) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::ExportProxySettings";
  DEBUG_LOG(68, u"%s - =>ExportProxySettings()", kFunc);
  for (const KeyWithDefault& k : kProxyKeys) {
    DuplicateIniKeyValue(main_ini, kServerSection, k.key, k.default_value, temp_ini);
  }
  DuplicateIniSection(main_ini, u"INI_INTERNET_PROXY_SECTION", temp_ini);
  DEBUG_LOG(68, u"%s - <=ExportProxySettings()", kFunc);
  return true;
}

bool CExportSkvaSettings::MigrateWatchDogSettings(const std::u16string& main_ini,
                                                  const std::u16string& temp_ini) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::MigrateWatchDogSettings";
  DEBUG_LOG(68, u"%s - =>MigrateWatchDogSettings()", kFunc);
  // The values are read into two-character buffers, so only their first
  // character travels: "10" arrives as "1".
  struct Rename {
    const char16_t* from;
    const char16_t* default_value;
    const char16_t* to;
  };
  constexpr Rename kRenames[] = {{u"WatchDogOnOff", u"1", u"SP_RestartService"},
                                 {u"WatchDogRetry", u"5", u"SP_RetryCount"}};
  for (const Rename& r : kRenames) {
    char16_t value[2] = {};
    platform::GetPrivateProfileStringW(u"Global Setting", r.from, r.default_value, value, 2,
                                       main_ini.c_str());
    platform::WritePrivateProfileStringW(u"Global Setting", r.to, value, temp_ini.c_str());
  }
  DEBUG_LOG(68, u"%s - <=MigrateWatchDogSettings()", kFunc);
  return true;
}

bool CExportSkvaSettings::MigrateOleLayer(const std::u16string& main_ini,
                                          const std::u16string& temp_ini) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::MigrateOleLayer";
  DEBUG_LOG(68, u"%s - =>MigrateOleLayer()", kFunc);
  char16_t value[260] = {};
  platform::GetPrivateProfileStringW(u"Global Setting", u"OleLayer", u"1", value, 260,
                                     main_ini.c_str());
  for (std::u16string_view section : kScanSections) {
    platform::WritePrivateProfileStringW(Text(section).c_str(), u"OleLayer", value,
                                         temp_ini.c_str());
  }
  const char16_t* detection = dbclient::DecimalToInt32(value) < 1 ? u"0" : u"1";
  for (std::u16string_view section : kScanSections) {
    platform::WritePrivateProfileStringW(Text(section).c_str(), u"OleExploitDetection", detection,
                                         temp_ini.c_str());
  }
  DEBUG_LOG(68, u"%s - <=MigrateOleLayer()", kFunc);
  return true;
}

bool CExportSkvaSettings::ExportPFWSettings(const std::u16string& main_ini,
                                            const std::u16string& temp_ini) {
  static constexpr char16_t kFunc[] = u"CExportSkvaSettings::ExportPFWSettings";
  DEBUG_LOG(68, u"%s - =>ExportPFWSettings()", kFunc);
  DuplicateIniSection(main_ini, u"PFW", temp_ini);
  // The firewall's on/off switch stays with each server.
  platform::WritePrivateProfileStringW(u"PFW", u"EnablePFW", nullptr, temp_ini.c_str());
  DEBUG_LOG(68, u"%s - <=ExportPFWSettings()", kFunc);
  return true;
}
