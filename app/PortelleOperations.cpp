#include "app/PortelleOperations.h"

#include "export/PortelleExport.h"
#include "import/ImportBackup.h"
#include "import/PortelleImport.h"
#include "platform/format.h"

OperationOutcome ExportOutcome(const CExportSkvaSettings& exporter, bool exported) {
  OperationOutcome outcome;
  outcome.succeeded = exported;
  outcome.failure = exporter.failure();
  outcome.written_archive = exporter.written_archive();
  if (exported && exporter.database_unreachable()) {
    outcome.warning =
        platform::AppMessage(platform::kMsgNoDomainsExported, outcome.written_archive);
  } else if (exported && exporter.domains_left_out() > 0) {
    // The tree went deeper than the walk: the archive lacks those domains.
    outcome.warning = platform::AppMessage(
        platform::kMsgDeepDomainsLeftOut, outcome.written_archive,
        platform::Format(u"%d", static_cast<int32_t>(exporter.domains_left_out())));
  }
  return outcome;
}

OperationOutcome ImportOutcome(const CImportSkvaSettings& importer, bool imported) {
  OperationOutcome outcome;
  outcome.succeeded = imported;
  outcome.failure = importer.failure();
  const ImportSummary& summary = importer.summary();
  if (summary.anything_left_out()) {
    outcome.afterwords.emplace_back(platform::kMsgDomainsLeftOut,
                                    platform::Format(u"%d", summary.domains_not_imported),
                                    platform::Format(u"%d", summary.domains_without_config));
  }
  if (summary.members_skipped != 0) {
    outcome.afterwords.emplace_back(platform::kMsgMembersSkipped,
                                    platform::Format(u"%d", summary.members_skipped));
  }
  return outcome;
}

OperationOutcome CPortelleOperations::Export(double server_version,
                                             const std::u16string& install_path,
                                             int32_t service_pack, int32_t patch,
                                             const std::u16string& archive) {
  CExportSkvaSettings exporter(server_version, install_path, service_pack, patch);
  exporter.SetProgressObserver(progress_);
  const bool exported = exporter.ExportConfigToFile(archive);
  return ExportOutcome(exporter, exported);
}

OperationOutcome CPortelleOperations::Import(const std::u16string& install_path,
                                             const std::u16string& archive) {
  // The files the import changes are saved before it writes anything; a
  // backup that cannot be written stops it before it starts.
  std::u16string backup;
  platform::AppMessage not_saved;
  if (!import_backup::BackUpBeforeImport(install_path, archive, &backup, &not_saved)) {
    OperationOutcome outcome;
    outcome.failure = not_saved;
    return outcome;
  }
  CImportSkvaSettings importer(install_path);
  importer.SetProgressObserver(progress_);
  const bool imported = importer.ImportSettingsFromFile(archive);
  return ImportOutcome(importer, imported);
}
