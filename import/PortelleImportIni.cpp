// The INI import: the exporting server's settings, carried as the bytes of
// the export's staging INI file, are merged key by key into the target's INI
// files. Values that belong to the target machine (its server ID and its
// four move directories) are kept, and its reserved disk space is never
// lowered.
//
// The merge edits a copy of each target file beside it, and each copy then
// replaces its file in one rename with the kept values already in place: an
// import stopped at any moment leaves each file as it was or as the import
// makes it, never with the source server's ID or move directories.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "import/PortelleImport.h"
#include "import/TextModeFile.h"
#include "ini/Portelle_Ini_Util.h"
#include "log/DebugLog.h"
#include "package/IniSections.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleImport";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::ImportToIni";

constexpr char16_t kGlobalSetting[] = u"Global Setting";
constexpr char16_t kDiskReserved[] = u"DiskReserved";

// Sections merged into bsnscan.ini after the sections every package
// carries whole, in this order; the web-threat values follow "VIGIL", and
// the unreachable-network section comes last.
constexpr std::array<std::u16string_view, 6> kMainSectionsBeforeWtp = {
    u"INI_SERVER_SECTION",       u"INI_INTERNET_PROXY_SECTION",
    u"INI_NOTIFICATION_SECTION", u"PFW",
    u"KSRC_SCAN_INI_SECTION",    u"VIGIL",
};
constexpr std::array<std::u16string_view, 6> kMainSectionsAfterWtp = {
    u"VIGIL_BMPolicy",      u"VIGIL_Exception",   u"VIGIL_DACPolicy",
    u"DAC_EXECUTABLE_LIST", u"DAC_APPROVED_LIST", u"ServiceSwitch",
};
// Sections merged into private\bsnserver.ini.
constexpr std::array<std::u16string_view, 4> kPrivateSections = {
    u"Other Update Source", u"INI_AUUNC_SUPPORT", u"SERVER_CONSOLE_SECTION", u"INI_UPDATE_SETTING"};

// The target's values that stay, in the order they are written back.
struct KeptValue {
  const char16_t* section;
  const char16_t* key;
};
constexpr std::array<KeptValue, 5> kKeptValues = {{
    {u"Manual Scan Configuration", u"MoveDir"},
    {u"Real Time Scan Configuration", u"MoveDir"},
    {u"Prescheduled Scan Configuration", u"MoveDir"},
    {u"Scan Now Configuration", u"MoveDir"},
    {kGlobalSetting, u"ServerID"},
}};

// A value read whole, however long, so that it is written back exactly; a
// missing one reads as empty.
std::u16string ReadWholeValue(const KeptValue& kept, const std::u16string& file) {
  std::vector<char16_t> buffer(1024);
  for (;;) {
    const uint32_t length =
        platform::GetPrivateProfileStringW(kept.section, kept.key, u"", buffer.data(),
                                           static_cast<uint32_t>(buffer.size()), file.c_str());
    if (length + 1 < buffer.size()) return std::u16string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

// A target INI file and the copy beside it that the merge edits.
struct StagedIni {
  std::u16string target;
  std::u16string staging;
};

StagedIni Staged(std::u16string target) {
  std::u16string staging = target + u".staging";
  return {std::move(target), std::move(staging)};
}

// Makes the staging copy hold the target's bytes. A target that does not
// exist yet leaves no copy either (one left by an interrupted import goes),
// so that the merge starts from nothing, as it would on the file itself.
platform::Status StartStaging(const StagedIni& ini) {
  const platform::Status copied = platform::CopyFile(ini.target, ini.staging, false);
  if (copied.ok() || !platform::IsNotFound(copied.code()) || platform::PathExists(ini.target))
    return copied;
  const platform::Status removed = platform::DeleteFile(ini.staging);
  return removed.ok() || platform::IsNotFound(removed.code()) ? platform::Status() : removed;
}

// Puts the merged copy in the target's place. Without a copy the merge
// wrote nothing into a file that did not exist, and there is nothing to put.
platform::Status FinishStaging(const StagedIni& ini) {
  if (!platform::PathExists(ini.staging)) return platform::Status();
  return platform::MoveFile(ini.staging, ini.target, true);
}

int32_t ReadDiskReserved(const std::u16string& file) {
  return static_cast<int32_t>(
      platform::GetPrivateProfileIntW(kGlobalSetting, kDiskReserved, 0, file.c_str()));
}

// The staging file's bytes as a text-mode stream writes the package's INI
// text: a CR before each LF. The export's file is narrow text; a UTF-16LE
// one (byte-order mark FF FE) gets the CR as a character of its own, since
// a CR byte put before each 0x0A byte would break its characters apart.
std::string StagingFileBytes(const std::string& content) {
  if (content.size() < 2 || content[0] != '\xFF' || content[1] != '\xFE') {
    return text_mode::NarrowBytes(content);
  }
  const std::u16string units = platform::Utf16LeToText(std::string_view(content).substr(2));
  std::string bytes = content.substr(0, 2) + text_mode::UnicodeBytes(units);
  if (content.size() % 2 != 0) bytes += content.back();
  return bytes;
}

}  // namespace

bool CImportSkvaSettings::ImportToIni() {
  DEBUG_LOG(68, u"%s - =>ImportToIni()", kFunc);
  const std::u16string main_ini = MainIniPath();
  const std::u16string private_ini = m_wstrServerPath + u"private\\bsnserver.ini";
  const std::u16string temp_ini = m_wstrServerPath + u"tmp.ini";

  // Without a staging file nothing can be merged: the import is then not a
  // success, and the user is told why. It holds clear-text passwords, so it
  // is owner-only.
  const platform::Status written =
      platform::WriteFileAtomically(temp_ini, StagingFileBytes(m_package.global_config_string()),
                                    nullptr, platform::Access::kOwnerOnly);
  if (!written.ok()) {
    DEBUG_LOG(70, u"%s - cannot write tmp.ini: %S", kFunc, written.message());
    m_failure =
        platform::FileFailureMessage(platform::kMsgInstallFileNotWritten, temp_ini, written);
    DEBUG_LOG(68, u"%s - <=ImportToIni()", kFunc);
    return false;
  }

  const int32_t imported_disk = ReadDiskReserved(temp_ini);
  const int32_t target_disk = ReadDiskReserved(main_ini);
  std::array<std::u16string, kKeptValues.size()> kept;
  for (size_t i = 0; i < kKeptValues.size(); ++i) {
    kept[i] = ReadWholeValue(kKeptValues[i], main_ini);
  }

  if (imported_disk < target_disk) {
    DEBUG_LOG(8, u"OrigDiskSize[%d] < min NewDiskSize[%d], convert to NewDiskSize", imported_disk,
              target_disk);
    util_HelperFunctions::WriteIniInt(kGlobalSetting, kDiskReserved, target_disk, temp_ini);
  }

  // Ends the step as failed: `path` could not be written for `status`; no
  // staging file is left.
  const std::array<StagedIni, 2> staged = {Staged(main_ini), Staged(private_ini)};
  const auto fail = [&](const std::u16string& path, const platform::Status& status) {
    DEBUG_LOG(70, u"%s - cannot write %s: %S", kFunc, path, status.message());
    m_failure = platform::FileFailureMessage(platform::kMsgInstallFileNotWritten, path, status);
    platform::DeleteFile(temp_ini);
    for (const StagedIni& ini : staged) {
      if (platform::PathExists(ini.staging)) platform::DeleteFile(ini.staging);
    }
    DEBUG_LOG(68, u"%s - <=ImportToIni()", kFunc);
    return false;
  };
  for (const StagedIni& ini : staged) {
    const platform::Status status = StartStaging(ini);
    if (status.ok()) continue;
    // A folder in the target's place is what is wrong, not the copy.
    platform::FileInfo info;
    const bool target_is_folder = platform::GetFileInfo(ini.target, &info).ok() && info.is_folder;
    return fail(target_is_folder ? ini.target : ini.staging, status);
  }
  const std::u16string& main_staging = staged[0].staging;
  const std::u16string& private_staging = staged[1].staging;

  // The merge edits the staging copies in memory and writes each once, when
  // it is complete; tmp.ini is read as it is now.
  platform::ProfileWriteBatch main_writes(main_staging);
  platform::ProfileWriteBatch private_writes(private_staging);
  std::optional<platform::ProfileReadBatch> reads(std::in_place);
  for (const std::u16string_view section : package::kWholeMainIniSections) {
    util_HelperFunctions::DuplicateIniValues(temp_ini, section, main_staging);
  }
  for (const std::u16string_view section : kMainSectionsBeforeWtp) {
    util_HelperFunctions::DuplicateIniValues(temp_ini, section, main_staging);
  }
  util_HelperFunctions::DuplicateWtpValues(temp_ini, main_staging, false);
  for (const std::u16string_view section : kMainSectionsAfterWtp) {
    util_HelperFunctions::DuplicateIniValues(temp_ini, section, main_staging);
  }
  util_HelperFunctions::DuplicateIniValues(temp_ini, package::kUnreachableNetworkSection,
                                           main_staging);
  for (const std::u16string_view section : kPrivateSections) {
    util_HelperFunctions::DuplicateIniValues(temp_ini, section, private_staging);
  }
  reads.reset();
  platform::DeleteFile(temp_ini);

  for (size_t i = 0; i < kKeptValues.size(); ++i) {
    platform::WritePrivateProfileStringW(kKeptValues[i].section, kKeptValues[i].key,
                                         kept[i].c_str(), main_staging.c_str());
  }
  const platform::Status main_written = main_writes.Commit();
  const platform::Status private_written = private_writes.Commit();
  if (!main_written.ok()) return fail(main_staging, main_written);
  if (!private_written.ok()) return fail(private_staging, private_written);
  for (const StagedIni& ini : staged) {
    const platform::Status status = FinishStaging(ini);
    if (!status.ok()) return fail(ini.target, status);
  }
  DEBUG_LOG(68, u"%s - <=ImportToIni()", kFunc);
  return true;
}
