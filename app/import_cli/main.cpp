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
#include "platform/text.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(platform::FromSystemCodePage(argv[i]));
  return headless_import::Run(headless_import::ParseArguments(arguments));
}
