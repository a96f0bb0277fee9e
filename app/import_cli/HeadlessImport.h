// portelle-import: the dialog's import without the dialog. It reads its
// command line, discovers the installed server as portelle does, refuses
// every server but 10.6 SP2 without a patch, asks message 132's question on
// the console (unless --yes), runs the same import engine, and ends with the
// dialog's closing messages as text and a summary of what the import did,
// or that summary as one JSON object. The exit code sums the run up.
#ifndef PORTELLE_APP_IMPORT_CLI_HEADLESSIMPORT_H_
#define PORTELLE_APP_IMPORT_CLI_HEADLESSIMPORT_H_

#include <string>
#include <vector>

#include "app/PortelleDlg.h"
#include "import/PortelleImport.h"

namespace headless_import {

enum ExitCode : int {
  kExitImported = 0,
  // The server was not found or cannot import, the user said no, or the
  // import failed.
  kExitFailed = 1,
  kExitBadCommandLine = 2,
  // Imported, but domains were left alone as duplicates, or refused by the
  // database service or damaged in the archive.
  kExitImportedWithExceptions = 3,
};

struct Arguments {
  enum class Action { kImport, kDryRun, kRestore, kListBackups, kHelp, kVersion, kBadCommandLine };
  Action action = Action::kBadCommandLine;
  bool yes = false;        // --yes: no question
  bool json = false;       // --json: the summary as JSON
  std::u16string archive;  // kRestore: the backup
  std::u16string error;    // kBadCommandLine: what is wrong, one phrase
};

// The program's arguments, without its name: --yes, --json and one ARCHIVE
// in any order; after "--" every token is an archive name. --dry-run
// previews the import of ARCHIVE, --restore takes a backup in ARCHIVE's
// place, and --list-backups takes no ARCHIVE; at most one of the three. --help, -h or /?
// before any "--" asks for the usage text, whatever else is given; so does
// --version for the version line, unless help is asked for too. Any other token
// that starts with "-" (except "-" alone) is an unknown option; no archive,
// an empty one or a second one is a bad command line too.
Arguments ParseArguments(const std::vector<std::u16string>& arguments);

// The text --help prints: the options, the exit codes and, where the
// platform has them, the environment variables.
std::u16string Usage();

// What one import did, gathered after the engine ran.
struct ImportReport {
  std::u16string archive;  // as given on the command line
  bool imported = false;   // ImportSettingsFromFile's result
  // Lines of the duplicate-domain report, counted as the dialog counts them;
  // 0 when the import failed.
  int duplicates = 0;
  std::u16string report_path;  // the report's full path
  std::u16string backup;       // the backup taken before the import; empty: none
  ImportSummary summary;
  OperationOutcome outcome;  // the failure, or the afterwords of a success
};

// Domains that were neither created nor left alone as duplicates, or that
// were created without their scan configuration.
int DomainsRefusedOrDamaged(const ImportSummary& summary);

// kExitFailed when the import failed; kExitImportedWithExceptions when it
// left duplicates or refused or damaged domains; otherwise kExitImported.
int ExitCodeFor(const ImportReport& report);

// Standard output after an import: the dialog's closing messages as lines
// (130, or 141 and 142 when the report has lines), the report's full path
// and the summary. Empty when the import failed.
std::u16string ReportText(const ImportReport& report);

// Standard error after an import, one line each: the failure's reason when
// it failed (when there is more to say than the engine's message boxes),
// otherwise what was left out (the dialog's afterwords).
std::u16string ReportWarnings(const ImportReport& report);

// The whole report as one JSON object on one line, ending in a line break.
std::string ReportJson(const ImportReport& report);

// Writes to standard output, or to standard error when standard output
// carries JSON only.
void Say(bool json, std::u16string_view text);

// `question` as a console question (message 214); true only for a
// lower-case y.
bool Confirmed(bool json, const platform::AppMessage& question);

// The whole program: returns its exit code. Message boxes of discovery and
// of the engine go to the installed user interface (standard error by
// default).
int Run(const Arguments& arguments);

}  // namespace headless_import

#endif  // PORTELLE_APP_IMPORT_CLI_HEADLESSIMPORT_H_
