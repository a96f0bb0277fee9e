// portelle-import: imports an export archive into the Bastionel server
// installed here without the dialog.
//
//   portelle-import [--yes] [--json] ARCHIVE
//
// Exit codes: 0 imported; 1 refused, aborted or failed; 2 bad command line;
// 3 imported with duplicate domains left alone or domains refused or
// damaged. --help prints the whole usage text.
#include <string>
#include <vector>

#include "app/import_cli/HeadlessImport.h"
#include "platform/program_arguments.h"

int main(int argc, char** argv) {
  // Wide arguments: an archive path outside the system code page survives.
  return headless_import::Run(
      headless_import::ParseArguments(platform::ProgramArguments(argc, argv)));
}
