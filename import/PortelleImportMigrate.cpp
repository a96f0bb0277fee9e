// The last two import steps hand the firewall files and the DLP template to
// components of the installed server: the library BsnPfwCommon and the
// program SvcCfgRunner. Both run with the install folder as the current
// folder, since the components and the names passed to them are relative to
// it; the previous current folder is restored in every case.
#include <string>

#include "import/PortelleImport.h"
#include "import/SystemPath.h"
#include "log/DebugLog.h"
#include "package/ArchiveLayout.h"
#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/process.h"
#include "platform/status.h"
#include "platform/text.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleImport";

// The firewall library, loaded by name from the current folder.
constexpr char16_t kPfwLibrary[] = u"BsnPfwCommon.dll";
constexpr char kPfwFolder[] = "Private\\PFW\\";
using PfwFunction = void (*)(const char*);

// The command line is built into a buffer of this many bytes.
constexpr size_t kCommandLineBytes = 2048;

}  // namespace

bool CImportSkvaSettings::MigratePFWSettings() {
  DEBUG_LOG(8, u"=>MigratePFWSettings()");
  bool result = true;
  std::string install;
  if (!import_paths::ToSystemPath(m_wstrServerPath, &install)) {
    DEBUG_LOG(2, u"Install path is longer than %d bytes, firewall settings not migrated",
              static_cast<int32_t>(platform::kMaxSystemPathBytes));
    return false;
  }
  const std::string pfw_folder = platform::FormatA("%s%s", install, kPfwFolder);
  // Windows starts its socket library here for the firewall library; sockets
  // need no start-up on this system.
  {
    const platform::ScopedCurrentFolder current(m_wstrServerPath);
    platform::DynamicLibrary library;
    if (!current.entered()) {
      DEBUG_LOG(2, u"Cannot enter the install folder, error=%d", current.status().code());
      result = false;
    } else if (!library.Load(u".\\" + platform::LibraryFileName(kPfwLibrary))) {
      DEBUG_LOG(2, u"Load BsnPfwCommon.dll failed, error=%d", platform::GetLastError());
      result = false;
    } else {
      // Both entry points are looked up, whatever the first lookup gave.
      if (const auto migrate = library.GetFunction<PfwFunction>("PFWMigrateFirewallSettings")) {
        migrate(pfw_folder.c_str());
      } else {
        DEBUG_LOG(2, u"Load fpPfwMigrateSetting failed, err = %d", platform::GetLastError());
        result = false;
      }
      if (const auto pack = library.GetFunction<PfwFunction>("PFWCreateServerPackedPfwFile")) {
        pack(install.c_str());
      } else {
        DEBUG_LOG(2, u"Load fpCreateServerPackedFile failed, err = %d", platform::GetLastError());
        result = false;
      }
    }
  }
  DEBUG_LOG(8, u"<=MigratePFWSettings()");
  return result;
}

std::string CImportSkvaSettings::DlpTemplateCommandLine(double version, int32_t service_pack) {
  return platform::FormatA("SvcCfgRunner.exe -migrateDlpTemplate \"%s\" \"%s\" %f %d",
                           platform::ToSystemCodePage(package::kDlpClcCopyName),
                           platform::ToSystemCodePage(package::kDlpClcFileName), version,
                           service_pack);
}

bool CImportSkvaSettings::MigrateDLPTemplate() {
  DEBUG_LOG(8, u"=>MigrateDLPTemplate()");
  const platform::ScopedCurrentFolder current(m_wstrServerPath);
  if (!current.entered()) {
    DEBUG_LOG(2, u"Cannot enter the install folder, error=%d", current.status().code());
    return false;
  }
  std::string command_line =
      DlpTemplateCommandLine(m_package.original_skva_ver(), m_package.original_servicepack_ver());
  if (command_line.size() >= kCommandLineBytes) command_line.resize(kCommandLineBytes - 1);
  DEBUG_LOG(8, u"szCmdLine = %S", command_line);

  platform::Process process;
  const platform::Status started = process.Start(command_line);
  if (!started.ok()) {
    DEBUG_LOG(2, u"CreateProcessA failed (%lu)", static_cast<uint32_t>(started.code()));
    return false;
  }
  DEBUG_LOG(8, u"Wait for process to terminate");
  // No time limit: the import waits for the migration however long it takes.
  process.Wait();
  DEBUG_LOG(8, u"Process terminated");
  platform::DeleteFile(package::kDlpClcCopyName);
  DEBUG_LOG(8, u"<=MigrateDLPTemplate()");
  return true;
}
