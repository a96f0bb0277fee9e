// The import driver and the import of one domain record.
#include "import/PortelleImport.h"

#include <algorithm>
#include <exception>

#include "import/TextModeFile.h"
#include "log/DebugLog.h"
#include "package/PackageDataFile.h"
#include "platform/file_system.h"
#include "platform/string_table.h"
#include "platform/text.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleImport";
// A domain UID in a record: 36 characters.

}  // namespace

CImportSkvaSettings::CImportSkvaSettings(std::u16string install_path)
    : m_wstrServerPath(std::move(install_path)) {
  const platform::Status created = text_mode::CreateUnicodeFile(kDuplicateDomainListName);
  if (!created.ok()) {
    DEBUG_LOG(69, u"%s - cannot create the duplicate domain list: %S",
              u"CImportSkvaSettings::CImportSkvaSettings", created.message());
  }
}

CImportSkvaSettings::~CImportSkvaSettings() = default;

std::u16string CImportSkvaSettings::RecordText(const std::string& bytes, int32_t chars) {
  const size_t count = chars <= 0 ? 0 : static_cast<size_t>(chars);
  return platform::Utf16LeToText(
      std::string_view(bytes).substr(0, std::min(bytes.size(), 2 * count)));
}

std::u16string CImportSkvaSettings::MainIniPath() const {
  return m_wstrServerPath + u"bsnscan.ini";
}

bool CImportSkvaSettings::ImportSettingsFromFile(const std::u16string& archive_path) {
  static constexpr char16_t kFunc[] = u"CImportSkvaSettings::ImportSettingsFromFile";
  DEBUG_LOG(68, u"%s - =>ImportSettingsFromFile(wstrImportFile[%s])", kFunc, archive_path);
  bool result = false;
  try {
    // The package was read from the archive before anything was extracted.
    if (ExtractFromZip(archive_path)) {
      result = ImportToIni();
      const int records = m_package.scanconfigs_size() + static_cast<int32_t>(m_records.size());
      DEBUG_LOG(68, u"%s - there are %d items to import", kFunc, records);
      int done = 0;
      if (m_pProgress != nullptr) m_pProgress->OnDomainsDone(done, records);
      // A record that fails does not stop the others.
      for (const SKVA_Server_Settings::ScanConfigs& record : m_package.scanconfigs()) {
        ImportToDB(record);
        if (m_pProgress != nullptr) m_pProgress->OnDomainsDone(++done, records);
      }
      SKVA_Server_Settings::ScanConfigs record;
      for (size_t i = 0; i < m_records.size(); ++i) {
        m_records.Parse(i, &record);
        ImportToDB(record);
        if (m_pProgress != nullptr) m_pProgress->OnDomainsDone(++done, records);
      }
      m_records.Clear();
      m_summary.firewall_migrated = MigratePFWSettings();
      m_summary.dlp_template_migrated = MigrateDLPTemplate();
    }
  } catch (const std::exception& e) {
    // Nothing leaves the import as an exception; what was reached stays.
    DEBUG_LOG(70, u"%s - Catch exception %S", kFunc, std::string(e.what()));
  }
  // The package is never extracted, but a stale copy (of an earlier export
  // or import that was cut short) must not outlive an import.
  platform::DeleteFile(package::PackageDataFilePath(m_wstrServerPath));
  DEBUG_LOG(68, u"%s - <=ImportSettingsFromFile(), return %d", kFunc, result ? 1 : 0);
  return result;
}

bool CImportSkvaSettings::ImportToDB(const SKVA_Server_Settings::ScanConfigs& record) {
  static constexpr char16_t kFunc[] = u"CImportSkvaSettings::ImportToDB";
  DEBUG_LOG(68, u"%s - =>ImportToDB()", kFunc);
  if (!record.has_domain_uid() || !record.has_computer_name()) {
    DEBUG_LOG(8,
              u"No domain UID or domain name was found; domain-level configurations were not "
              u"imported.");
    return true;
  }
  const std::u16string domain_uid = RecordText(record.domain_uid(), kUidChars);
  const std::u16string entry_name = RecordText(record.computer_name(), record.computer_name_size());
  const std::u16string domain_name = RecordText(record.domain_name(), record.domain_name_size());
  const std::u16string parent_uid = RecordText(record.parent_uid(), kUidChars);
  // A domain that existed already keeps its own scan configuration.
  const bool added = AddDomains(domain_uid, entry_name, domain_name, parent_uid);
  if (added) ImportScanConfigs(record, domain_uid);
  DEBUG_LOG(8, u"<=ImportToDB()");
  return added;
}
