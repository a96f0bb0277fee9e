#include "app/PortelleCmdLineMode.h"

#include "app/PortelleOperations.h"
#include "app/ProgressDisplay.h"
#include "export/PortelleExport.h"
#include "log/DebugLog.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/string_table.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleCmdLineMode";

// A message of the table as one line on standard error.
void WriteErrorLine(const platform::AppMessage& message) {
  platform::ConsoleWriteError(platform::OneLine(platform::FormatMessageText(message)) + u"\n");
}

}  // namespace

bool CPortelleCmdLineMode::Run() { return m_bIsImport ? DoImport() : DoExport(); }

bool CPortelleCmdLineMode::DoImport() {
  static constexpr char16_t kFunc[] = u"CPortelleCmdLineMode::DoImport";
  platform::ConsoleWrite(u"Import is not supported by command-line mode yet\n");
  WriteErrorLine(platform::AppMessage(platform::kMsgUseImportProgram));
  DEBUG_LOG(68, u"%s - Import is not supported by command-line mode yet", kFunc);
  return false;
}

bool CPortelleCmdLineMode::DoExport() {
  static constexpr char16_t kFunc[] = u"CPortelleCmdLineMode::DoExport";
  DEBUG_LOG(68,
            u"%s - m_dServerVer = %f, m_nServicePackVer = %d, m_nPatchVer = %d, m_wstrServerPath "
            u"= %s, m_bIsImport = %d, m_wstrDataFilePath = %s",
            kFunc, m_dServerVer, m_nServicePackVer, m_nPatchVer, m_wstrServerPath,
            m_bIsImport ? 1 : 0, m_wstrDataFilePath);
  if (m_wstrDataFilePath.empty()) {
    platform::ConsoleWrite(u"Export file path is not specified\n");
    DEBUG_LOG(68, u"%s - Export file path is not specified", kFunc);
    return false;
  }
  if (platform::PathExists(m_wstrDataFilePath)) {
    platform::ConsoleWrite(
        platform::Format(u"Export file %s already exists. Overwrite? (y/n): ", m_wstrDataFilePath));
    const int key = platform::ConsoleReadKey(true);
    platform::ConsoleWrite(u"\n");
    // Only a lower-case y goes on.
    if (key != 'y') {
      platform::ConsoleWrite(u"Export is aborted\n");
      DEBUG_LOG(68, u"%s - Export is aborted", kFunc);
      return false;
    }
  }
  OperationOutcome outcome;
  {
    // A terminal shows the walk's progress; the line is gone before the
    // outcome is written.
    TerminalProgress progress(platform::kMsgProgressExporting);
    CExportSkvaSettings exporter(m_dServerVer, m_wstrServerPath, m_nServicePackVer, m_nPatchVer);
    exporter.SetProgressObserver(progress.observer());
    outcome = ExportOutcome(exporter, exporter.ExportConfigToFile(m_wstrDataFilePath));
  }
  if (!outcome.succeeded) {
    if (!outcome.failure.empty()) WriteErrorLine(outcome.failure);
    return false;
  }
  if (!outcome.warning.empty()) {
    // The archive exists but lacks what the user asked for: not a success.
    WriteErrorLine(outcome.warning);
    return false;
  }
  platform::ConsoleWrite(
      platform::Format(u"Settings are successfully exported to %s\n", outcome.written_archive));
  return true;
}
