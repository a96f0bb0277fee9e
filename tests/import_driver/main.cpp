// portelle-import-driver: runs one import of an archive into a server
// installation, without the dialog, for the end-to-end tests, the import
// benchmark and the demo.
//
//   portelle-import-driver INSTALL_FOLDER ARCHIVE
//
// INSTALL_FOLDER is the server's install folder (a trailing separator is
// added when missing). The duplicate-domain report is written to the current
// folder, as the dialog's import does. Message boxes are written to standard
// error as "caption: text" and answered OK. Prints "imported" or "not
// imported" on standard output, then, when the import left domains out or
// created some without their scan configuration, the message that says how
// many, on one line. A failure's reason (what failed, the path and the
// system's reason) follows the message boxes on standard error. Exit code 0
// when ImportSettingsFromFile returned true,
// 1 when it returned false, 2 on a bad command line.
#include <cstdio>
#include <string>

#include "app/PortelleOperations.h"
#include "import/PortelleImport.h"
#include "platform/string_table.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: portelle-import-driver INSTALL_FOLDER ARCHIVE\n", stderr);
    return 2;
  }
  std::u16string install = platform::FromSystemCodePage(argv[1]);
  if (install.empty() || (install.back() != u'/' && install.back() != u'\\')) install += u'/';
  CImportSkvaSettings importer(install);
  const bool imported = importer.ImportSettingsFromFile(platform::FromSystemCodePage(argv[2]));
  const OperationOutcome outcome = ImportOutcome(importer, imported);
  std::puts(imported ? "imported" : "not imported");
  for (const platform::AppMessage& afterword : outcome.afterwords) {
    std::puts(platform::ToSystemCodePage(platform::OneLine(platform::FormatMessageText(afterword)))
                  .c_str());
  }
  if (!outcome.failure.empty()) {
    std::fprintf(
        stderr, "%s\n",
        platform::ToSystemCodePage(platform::OneLine(platform::FormatMessageText(outcome.failure)))
            .c_str());
  }
  return imported ? 0 : 1;
}
