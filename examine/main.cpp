// portelle-examine: shows what an export archive holds — its members and
// the settings package in its skva.dat — so that it can be checked before it
// is imported.
//
//   portelle-examine ARCHIVE [--json] [--against-server]
//   portelle-examine --help | -h | /?
//   portelle-examine --version
//
// With --against-server a sound archive is also held against the server
// installed here: what an import would change, as portelle-import --dry-run
// shows it (the same code).
//
// Exit codes: 0 the archive was read whole (and previewed), or help or the
// version was shown; 1 it cannot be read or is not a sound export archive (what was read
// before the fault is still shown), or the preview failed; 2 bad command
// line.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/import_cli/HeadlessImport.h"
#include "app/program_version.h"
#include "examine/ArchiveExaminer.h"
#include "platform/text.h"

namespace {

void Print(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

constexpr char kUsage[] =
    "Usage: portelle-examine ARCHIVE [--json] [--against-server]\n"
    "       portelle-examine --help | -h | /?\n"
    "       portelle-examine --version\n"
    "\n"
    "Shows what an export archive holds: its members and the settings package in its\n"
    "skva.dat (versions, every domain record, the INI sections carried), so that it can\n"
    "be checked before it is imported. Nothing is written.\n"
    "\n"
    "  --json   print the same as one JSON object\n"
    "  --against-server  then show what importing the archive into the server\n"
    "           installed here would change, as \"portelle-import --dry-run\" does\n"
    "           (with --json a second JSON object follows the first); nothing is\n"
    "           changed on the server\n"
    "  --help, -h, /?  show this text\n"
    "  --version  show the program's version\n"
    "\n"
    "Exit codes: 0 the archive was read whole (and previewed); 1 it cannot be read or\n"
    "is not a sound export archive (what was read before the fault is still shown), or\n"
    "the preview failed; 2 bad command line.\n";

bool IsHelp(std::string_view argument) {
  return argument == "--help" || argument == "-h" || argument == "/?";
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (IsHelp(argv[i])) {
      Print(stdout, kUsage);
      return 0;
    }
  }
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--version") {
      Print(stdout, platform::Utf16ToUtf8(app::VersionText(u"portelle-examine")));
      return 0;
    }
  }
  std::string archive;
  bool as_json = false;
  bool against_server = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument == "--json") {
      as_json = true;
    } else if (argument == "--against-server") {
      against_server = true;
    } else if (archive.empty() && !argument.empty() && !argument.starts_with("--")) {
      archive = argument;
    } else {
      archive.clear();
      break;
    }
  }
  if (archive.empty()) {
    Print(stderr, "usage: portelle-examine ARCHIVE [--json] [--against-server]\n");
    return 2;
  }
  examine::ArchiveReport report;
  std::string error;
  const bool sound = examine::ExamineArchive(archive, &report, &error);
  Print(stdout, as_json ? examine::ReportJson(report) : examine::ReportText(report));
  if (!sound) {
    Print(stderr, "portelle-examine: " + error + "\n");
    return 1;
  }
  if (!against_server) return 0;
  std::fflush(stdout);
  if (!as_json) Print(stdout, "\n");
  std::vector<std::u16string> preview = {u"--dry-run"};
  if (as_json) preview.emplace_back(u"--json");
  preview.emplace_back(u"--");
  preview.push_back(platform::FromSystemCodePage(archive));
  return headless_import::Run(headless_import::ParseArguments(preview));
}
