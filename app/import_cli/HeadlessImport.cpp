#include "app/import_cli/HeadlessImport.h"

#include <nlohmann/json.hpp>

#include "app/PortelleOperations.h"
#include "app/ProgressDisplay.h"
#include "app/import_cli/SafeguardCommands.h"
#include "app/program_version.h"
#include "app/server_info.h"
#include "import/ImportBackup.h"
#include "import/PortelleImport.h"
#include "log/DebugLog.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "platform/text.h"

namespace headless_import {
namespace {

constexpr char16_t kLogSource[] = u"HeadlessImport";
constexpr char16_t kProgram[] = u"portelle-import";

bool IsHelp(std::u16string_view token) {
  return token == u"--help" || token == u"-h" || token == u"/?";
}

std::u16string Line(const platform::AppMessage& message) {
  return platform::OneLine(platform::FormatMessageText(message)) + u"\n";
}

std::u16string Number(int value) { return platform::Format(u"%d", value); }

// The dialog's closing messages for a successful import, one line each.
std::vector<std::u16string> ClosingMessages(const ImportReport& report) {
  std::vector<std::u16string> lines;
  if (!report.imported) return lines;
  if (report.duplicates > 0) {
    lines.push_back(platform::OneLine(platform::FormatMessageText(
        platform::kMsgDuplicateDomains, CImportSkvaSettings::kDuplicateDomainListName)));
    lines.push_back(platform::OneLine(platform::FormatMessageText(platform::kMsgToolSucceeded)));
  } else {
    lines.push_back(platform::OneLine(
        platform::FormatMessageText(platform::kMsgImportSucceeded, report.archive)));
  }
  return lines;
}

}  // namespace

void Say(bool json, std::u16string_view text) {
  if (json) {
    platform::ConsoleWriteError(text);
  } else {
    platform::ConsoleWrite(text);
  }
}

bool Confirmed(bool json, const platform::AppMessage& question) {
  const std::u16string line = platform::OneLine(platform::FormatMessageText(question));
  Say(json, platform::FormatMessageText(platform::AppMessage(platform::kMsgConsoleQuestion, line)));
  // With --json the key is not echoed: it would land in the JSON output.
  const int key = platform::ConsoleReadKey(!json);
  Say(json, u"\n");
  return key == 'y';
}

Arguments ParseArguments(const std::vector<std::u16string>& arguments) {
  Arguments parsed;
  bool version = false;
  for (const std::u16string& token : arguments) {
    if (token == u"--") break;
    if (IsHelp(token)) {
      parsed.action = Arguments::Action::kHelp;
      return parsed;
    }
    if (token == u"--version") version = true;
  }
  if (version) {
    parsed.action = Arguments::Action::kVersion;
    return parsed;
  }
  bool options_ended = false;
  int archives = 0;
  int modes = 0;
  for (const std::u16string& token : arguments) {
    if (!options_ended && token == u"--") {
      options_ended = true;
    } else if (!options_ended && token == u"--yes") {
      parsed.yes = true;
    } else if (!options_ended && token == u"--json") {
      parsed.json = true;
    } else if (!options_ended && token == u"--dry-run") {
      parsed.action = Arguments::Action::kDryRun;
      ++modes;
    } else if (!options_ended && token == u"--restore") {
      parsed.action = Arguments::Action::kRestore;
      ++modes;
    } else if (!options_ended && token == u"--list-backups") {
      parsed.action = Arguments::Action::kListBackups;
      ++modes;
    } else if (!options_ended && token.size() > 1 && token[0] == u'-') {
      parsed.error = u"unknown option " + token;
      return parsed;
    } else {
      if (++archives == 1) parsed.archive = token;
    }
  }
  const Arguments::Action action = modes == 0 ? Arguments::Action::kImport : parsed.action;
  parsed.action = Arguments::Action::kBadCommandLine;
  if (modes > 1) {
    parsed.error = u"--dry-run, --restore and --list-backups exclude each other";
  } else if (action == Arguments::Action::kListBackups) {
    if (archives == 0) {
      parsed.action = action;
    } else {
      parsed.error = u"--list-backups takes no archive";
    }
  } else if (archives > 1) {
    parsed.error = u"more than one archive given";
  } else if (archives == 0) {
    parsed.error = action == Arguments::Action::kRestore ? u"no backup given" : u"no archive given";
  } else if (parsed.archive.empty()) {
    parsed.error = u"the archive name is empty";
  } else {
    parsed.action = action;
  }
  return parsed;
}

std::u16string Usage() {
  std::u16string usage =
      u"Usage: portelle-import [--yes] [--json] ARCHIVE\n"
      u"       portelle-import --dry-run [--json] ARCHIVE\n"
      u"       portelle-import --restore [--yes] [--json] BACKUP\n"
      u"       portelle-import --list-backups [--json]\n"
      u"       portelle-import --help | -h | /?\n"
      u"       portelle-import --version\n"
      u"\n"
      u"Imports an export archive into the Bastionel server installed here, as the dialog's\n"
      u"Import does; only a 10.6 SP2 server without a patch can import. The domains that\n"
      u"exist already are left alone and listed in DuplicateDomainList.txt in the current\n"
      u"folder. Before it writes anything, every file it is about to change is saved into\n"
      u"a backup in the folder Backup of the install folder; a backup that cannot be\n"
      u"written stops the import before it starts.\n"
      u"\n"
      u"  --dry-run       check the archive and show what the import would change (INI\n"
      u"                  keys, domains created or left alone, files, component calls)\n"
      u"                  without changing anything\n"
      u"  --restore       put the files saved in BACKUP back, bytes and times; domains and\n"
      u"                  scan configurations sent to the database service stay\n"
      u"  --list-backups  show the backups of this server\n"
      u"  --yes    import or restore without asking first (otherwise only \"y\" goes on)\n"
      u"  --json   print the summary as one JSON object on standard output; the question,\n"
      u"           when asked, goes to standard error\n"
      u"  --help, -h, /?  show this text\n"
      u"  --version       show the program's version\n"
      u"  ARCHIVE  the export archive to import (\".Zip\" is added to a name without \".zip\")\n"
      u"\n"
      u"Exit codes:\n"
      u"  0  imported (previewed, restored, listed)\n"
      u"  1  refused (no server found, or one that cannot import), aborted, or failed;\n"
      u"     a backup that cannot be written\n"
      u"  2  bad command line\n"
      u"  3  imported, but duplicate domains were left alone or domains were refused or\n"
      u"     damaged\n";
  const std::u16string_view environment = platform::EnvironmentUsage();
  if (!environment.empty()) usage.append(u"\n").append(environment);
  return usage;
}

int DomainsRefusedOrDamaged(const ImportSummary& summary) {
  return summary.domains_refused + summary.domains_not_imported + summary.domains_without_config;
}

int ExitCodeFor(const ImportReport& report) {
  if (!report.imported) return kExitFailed;
  if (report.duplicates > 0 || DomainsRefusedOrDamaged(report.summary) > 0) {
    return kExitImportedWithExceptions;
  }
  return kExitImported;
}

std::u16string ReportText(const ImportReport& report) {
  if (!report.imported) return {};
  std::u16string text;
  for (const std::u16string& line : ClosingMessages(report)) text += line + u"\n";
  using platform::AppMessage;
  const ImportSummary& summary = report.summary;
  text += Line(AppMessage(platform::kMsgDuplicateReportPath, report.report_path));
  text += Line(AppMessage(platform::kMsgDomainsCreated, Number(summary.domains_created)));
  text += Line(AppMessage(platform::kMsgDuplicatesLeftAlone, Number(report.duplicates)));
  text += Line(
      AppMessage(platform::kMsgDomainsRefusedOrDamaged, Number(DomainsRefusedOrDamaged(summary))));
  text += Line(AppMessage(platform::kMsgFilesReplaced, Number(summary.files_replaced)));
  text += Line(AppMessage(summary.firewall_migrated ? platform::kMsgFirewallMigrated
                                                    : platform::kMsgFirewallNotMigrated));
  text += Line(AppMessage(summary.dlp_template_migrated ? platform::kMsgDlpTemplateMigrated
                                                        : platform::kMsgDlpTemplateNotMigrated));
  if (!report.backup.empty()) text += Line(AppMessage(platform::kMsgBackupWritten, report.backup));
  return text;
}

std::u16string ReportWarnings(const ImportReport& report) {
  std::u16string text;
  if (!report.imported) {
    if (!report.outcome.failure.empty()) text += Line(report.outcome.failure);
    if (!report.backup.empty()) {
      text += Line(platform::AppMessage(platform::kMsgBackupWritten, report.backup));
    }
    return text;
  }
  for (const platform::AppMessage& afterword : report.outcome.afterwords) text += Line(afterword);
  return text;
}

std::string ReportJson(const ImportReport& report) {
  using platform::Utf16ToUtf8;
  const ImportSummary& summary = report.summary;
  nlohmann::ordered_json messages = nlohmann::ordered_json::array();
  for (const std::u16string& line : ClosingMessages(report)) messages.push_back(Utf16ToUtf8(line));
  nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
  if (report.imported) {
    for (const platform::AppMessage& afterword : report.outcome.afterwords) {
      warnings.push_back(Utf16ToUtf8(platform::OneLine(platform::FormatMessageText(afterword))));
    }
  }
  nlohmann::ordered_json object;
  object["archive"] = Utf16ToUtf8(report.archive);
  object["imported"] = report.imported;
  object["exit_code"] = ExitCodeFor(report);
  object["messages"] = std::move(messages);
  object["report_file"] = Utf16ToUtf8(report.report_path);
  object["domains_created"] = summary.domains_created;
  object["duplicates_left_alone"] = report.duplicates;
  object["domains_refused_or_damaged"] = DomainsRefusedOrDamaged(summary);
  object["domains_refused"] = summary.domains_refused;
  object["domains_not_imported"] = summary.domains_not_imported;
  object["domains_without_config"] = summary.domains_without_config;
  object["files_replaced"] = summary.files_replaced;
  object["members_skipped"] = summary.members_skipped;
  object["firewall_migrated"] = summary.firewall_migrated;
  object["dlp_template_migrated"] = summary.dlp_template_migrated;
  if (!report.imported && !report.outcome.failure.empty()) {
    object["failure"] =
        Utf16ToUtf8(platform::OneLine(platform::FormatMessageText(report.outcome.failure)));
  } else {
    object["failure"] = nullptr;
  }
  object["warnings"] = std::move(warnings);
  object["backup"] = report.backup.empty() ? nlohmann::ordered_json(nullptr)
                                           : nlohmann::ordered_json(Utf16ToUtf8(report.backup));
  // Names from an archive need not be valid text; they must not stop the
  // report.
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

int Run(const Arguments& arguments) {
  static constexpr char16_t kFunc[] = u"HeadlessImport::Run";
  if (arguments.action == Arguments::Action::kHelp) {
    platform::ConsoleWrite(Usage());
    return kExitImported;
  }
  if (arguments.action == Arguments::Action::kVersion) {
    platform::ConsoleWrite(app::VersionText(kProgram));
    return kExitImported;
  }
  if (arguments.action == Arguments::Action::kBadCommandLine) {
    platform::ConsoleWriteError(std::u16string(kProgram) + u": " + arguments.error +
                                u"\nUsage: portelle-import [--yes] [--json] ARCHIVE (--help "
                                u"for more)\n");
    return kExitBadCommandLine;
  }

  // Discovery as portelle's start-up makes it.
  app::ServerInfo server;
  if (!app::DiscoverServer(&server)) return kExitFailed;
  if (arguments.action == Arguments::Action::kRestore) return RunRestore(arguments, server);
  if (arguments.action == Arguments::Action::kListBackups) {
    return RunListBackups(arguments, server);
  }
  if (!app::CanImportInto(server.version, server.service_pack, server.patch)) {
    platform::ConsoleWriteError(Line(platform::AppMessage(
        platform::kMsgImportVersionRefused, platform::Format(u"%g", server.version),
        Number(server.service_pack), Number(server.patch))));
    return kExitFailed;
  }
  if (arguments.action == Arguments::Action::kDryRun) return RunDryRun(arguments, server);
  if (!arguments.yes &&
      !Confirmed(arguments.json, platform::AppMessage(platform::kMsgImportWarning))) {
    Say(arguments.json, Line(platform::AppMessage(platform::kMsgImportAborted)));
    DEBUG_LOG(68, u"%s - Import is aborted", kFunc);
    return kExitFailed;
  }

  ImportReport report;
  report.archive = arguments.archive;
  platform::AppMessage not_saved;
  if (!import_backup::BackUpBeforeImport(server.install_path, arguments.archive, &report.backup,
                                         &not_saved)) {
    report.outcome.failure = not_saved;
    if (arguments.json) platform::ConsoleWrite(platform::Utf8ToUtf16(ReportJson(report)));
    platform::ConsoleWriteError(ReportWarnings(report));
    return kExitFailed;
  }
  {
    // A terminal shows the import's progress; the line is gone before the
    // report is written.
    TerminalProgress progress(platform::kMsgProgressImporting);
    CImportSkvaSettings importer(server.install_path);
    importer.SetProgressObserver(progress.observer());
    report.imported = importer.ImportSettingsFromFile(arguments.archive);
    report.outcome = ImportOutcome(importer, report.imported);
    report.summary = importer.summary();
  }
  const std::u16string_view report_name = CImportSkvaSettings::kDuplicateDomainListName;
  if (!platform::GetFullPath(report_name, &report.report_path).ok()) {
    report.report_path = report_name;
  }
  if (report.imported) {
    report.duplicates = CountReportLines(report_name);
    DEBUG_LOG(68, u"%s - Duplicate Domain number --> [%d]", kFunc, report.duplicates);
  }

  if (arguments.json) {
    const std::string json = ReportJson(report);
    platform::ConsoleWrite(platform::Utf8ToUtf16(json));
  } else {
    platform::ConsoleWrite(ReportText(report));
  }
  platform::ConsoleWriteError(ReportWarnings(report));
  return ExitCodeFor(report);
}

}  // namespace headless_import
