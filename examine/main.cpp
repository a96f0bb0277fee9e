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
#include "platform/program_arguments.h"
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

bool IsHelp(std::u16string_view argument) {
  return argument == u"--help" || argument == u"-h" || argument == u"/?";
}

}  // namespace

int main(int argc, char** argv) {
  // Wide arguments: an archive path outside the system code page survives
  // as far as the preview, which opens files by their wide names.
  const std::vector<std::u16string> arguments = platform::ProgramArguments(argc, argv);
  for (const std::u16string& argument : arguments) {
    if (IsHelp(argument)) {
      Print(stdout, kUsage);
      return 0;
    }
  }
  for (const std::u16string& argument : arguments) {
    if (argument == u"--version") {
      Print(stdout, platform::Utf16ToUtf8(app::VersionText(u"portelle-examine")));
      return 0;
    }
  }
  std::u16string archive;
  bool as_json = false;
  bool against_server = false;
  for (const std::u16string& argument : arguments) {
    if (argument == u"--json") {
      as_json = true;
    } else if (argument == u"--against-server") {
      against_server = true;
    } else if (archive.empty() && !argument.empty() && !argument.starts_with(u"--")) {
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
  // The zip library opens the archive by its name in the system code page.
  const std::string native_archive = platform::ToSystemCodePage(archive);
  if (platform::FromSystemCodePage(native_archive) != archive) {
    Print(stderr, "portelle-examine: " + native_archive +
                      ": the path holds characters the system code page cannot write\n");
    return 1;
  }
  examine::ArchiveReport report;
  std::string error;
  const bool sound = examine::ExamineArchive(native_archive, &report, &error);
  Print(stdout, as_json ? examine::ReportJson(report) : examine::ReportText(report));
  if (!sound) {
    Print(stderr, "portelle-examine: " + error + "\n");
    return 1;
  }
  if (!against_server) return 0;
  if (!as_json) Print(stdout, "\n");
  // The preview writes to the console past this stream (on Windows not
  // through it), so everything shown so far goes out first.
  std::fflush(stdout);
  std::vector<std::u16string> preview = {u"--dry-run"};
  if (as_json) preview.emplace_back(u"--json");
  preview.emplace_back(u"--");
  preview.push_back(archive);
  return headless_import::Run(headless_import::ParseArguments(preview));
}
