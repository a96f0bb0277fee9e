// portelle-examine: shows what an export archive holds — its members and
// the settings package in its skva.dat — so that it can be checked before it
// is imported.
//
//   portelle-examine ARCHIVE [--json]
//   portelle-examine --help | -h | /?
//
// Exit codes: 0 the archive was read whole (or help was shown), 1 it cannot
// be read or is not a sound export archive (what was read before the fault
// is still shown), 2 bad command line.
#include <cstdio>
#include <string>
#include <string_view>

#include "examine/ArchiveExaminer.h"

namespace {

void Print(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

constexpr char kUsage[] =
    "Usage: portelle-examine ARCHIVE [--json]\n"
    "       portelle-examine --help | -h | /?\n"
    "\n"
    "Shows what an export archive holds: its members and the settings package in its\n"
    "skva.dat (versions, every domain record, the INI sections carried), so that it can\n"
    "be checked before it is imported. Nothing is written.\n"
    "\n"
    "  --json   print the same as one JSON object\n"
    "  --help, -h, /?  show this text\n"
    "\n"
    "Exit codes: 0 the archive was read whole; 1 it cannot be read or is not a sound\n"
    "export archive (what was read before the fault is still shown); 2 bad command line.\n";

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
  std::string archive;
  bool as_json = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument == "--json") {
      as_json = true;
    } else if (archive.empty() && !argument.empty() && !argument.starts_with("--")) {
      archive = argument;
    } else {
      archive.clear();
      break;
    }
  }
  if (archive.empty()) {
    Print(stderr, "usage: portelle-examine ARCHIVE [--json]\n");
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
  return 0;
}
