#include "app/import_cli/SafeguardCommands.h"

#include <nlohmann/json.hpp>

#include "app/import_cli/ImportPreview.h"
#include "import/ImportBackup.h"
#include "import/ImportPlan.h"
#include "log/DebugLog.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/string_table.h"
#include "platform/text.h"

namespace headless_import {
namespace {

constexpr char16_t kLogSource[] = u"HeadlessImport";

std::u16string Line(const platform::AppMessage& message) {
  return platform::OneLine(platform::FormatMessageText(message)) + u"\n";
}

std::string Dump(const nlohmann::ordered_json& object) {
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// A failure as the JSON object of a command that did not do its work.
void PrintFailure(bool json, const char* done_key, const std::u16string& subject,
                  const platform::AppMessage& failure) {
  const std::u16string line = Line(failure);
  if (json) {
    nlohmann::ordered_json object;
    object["archive"] = platform::Utf16ToUtf8(subject);
    object[done_key] = false;
    object["failure"] = platform::Utf16ToUtf8(line.substr(0, line.size() - 1));
    platform::ConsoleWrite(platform::Utf8ToUtf16(Dump(object)));
  }
  platform::ConsoleWriteError(line);
}

std::u16string FoundBackup(const std::u16string& given, const std::u16string& install_path) {
  if (platform::PathExists(given) || given.find_first_of(u"/\\") != std::u16string::npos) {
    return given;
  }
  const std::u16string in_folder = import_backup::BackupFolder(install_path) + given;
  return platform::PathExists(in_folder) ? in_folder : given;
}

}  // namespace

int RunDryRun(const Arguments& arguments, const app::ServerInfo& server) {
  import_plan::ImportPlan plan;
  platform::AppMessage failure;
  if (!import_plan::MakePlan(server.install_path, arguments.archive, import_plan::PlanOptions(),
                             &plan, &failure)) {
    PrintFailure(arguments.json, "previewed", arguments.archive, failure);
    return kExitFailed;
  }
  if (arguments.json) {
    platform::ConsoleWrite(platform::Utf8ToUtf16(PreviewJson(plan)));
  } else {
    platform::ConsoleWrite(PreviewText(plan));
  }
  return kExitImported;
}

int RunRestore(const Arguments& arguments, const app::ServerInfo& server) {
  static constexpr char16_t kFunc[] = u"HeadlessImport::RunRestore";
  const std::u16string backup = FoundBackup(arguments.archive, server.install_path);
  if (!arguments.yes &&
      !Confirmed(arguments.json, platform::AppMessage(platform::kMsgRestoreWarning, backup))) {
    Say(arguments.json, Line(platform::AppMessage(platform::kMsgRestoreAborted)));
    DEBUG_LOG(68, u"%s - Restore is aborted", kFunc);
    return kExitFailed;
  }
  import_backup::RestoreResult result;
  platform::AppMessage failure;
  if (!import_backup::RestoreBackup(server.install_path, backup, &result, &failure)) {
    PrintFailure(arguments.json, "restored", backup, failure);
    return kExitFailed;
  }
  const platform::AppMessage done(platform::kMsgRestoreDone,
                                  platform::Format(u"%d", result.restored),
                                  platform::Format(u"%d", result.removed), backup);
  const platform::AppMessage cannot_undo(platform::kMsgRestoreCannotUndo);
  if (arguments.json) {
    nlohmann::ordered_json object;
    object["backup"] = platform::Utf16ToUtf8(backup);
    object["restored"] = true;
    object["files_restored"] = result.restored;
    object["files_deleted"] = result.removed;
    object["not_undone"] =
        platform::Utf16ToUtf8(platform::OneLine(platform::FormatMessageText(cannot_undo)));
    object["failure"] = nullptr;
    platform::ConsoleWrite(platform::Utf8ToUtf16(Dump(object)));
  } else {
    platform::ConsoleWrite(Line(done) + Line(cannot_undo));
  }
  return kExitImported;
}

int RunListBackups(const Arguments& arguments, const app::ServerInfo& server) {
  const std::vector<import_backup::BackupInfo> backups =
      import_backup::ListBackups(server.install_path);
  if (arguments.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const import_backup::BackupInfo& backup : backups) {
      nlohmann::ordered_json object;
      object["path"] = platform::Utf16ToUtf8(backup.path);
      object["readable"] = backup.readable;
      object["archive"] = platform::Utf16ToUtf8(backup.manifest.archive);
      object["files"] = backup.manifest.files.size();
      list.push_back(std::move(object));
    }
    platform::ConsoleWrite(platform::Utf8ToUtf16(Dump(list)));
    return kExitImported;
  }
  if (backups.empty()) {
    platform::ConsoleWrite(Line(platform::AppMessage(
        platform::kMsgNoBackups, import_backup::BackupFolder(server.install_path))));
  }
  for (const import_backup::BackupInfo& backup : backups) {
    platform::ConsoleWrite(Line(platform::AppMessage(
        platform::kMsgBackupListed, backup.path,
        platform::Format(u"%d", static_cast<int32_t>(backup.manifest.files.size())),
        backup.manifest.archive)));
  }
  return kExitImported;
}

}  // namespace headless_import
