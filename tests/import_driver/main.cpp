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
// many, on one line; exit code 0 when ImportSettingsFromFile returned true,
// 1 when it returned false, 2 on a bad command line.
#include <cstdio>
#include <string>

#include "import/PortelleImport.h"
#include "platform/format.h"
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
  std::puts(imported ? "imported" : "not imported");
  const ImportSummary& summary = importer.summary();
  if (summary.anything_left_out()) {
    const platform::AppMessage left_out(platform::kMsgDomainsLeftOut,
                                        platform::Format(u"%d", summary.domains_not_imported),
                                        platform::Format(u"%d", summary.domains_without_config));
    const std::u16string line = platform::OneLine(platform::FormatMessageText(left_out));
    std::puts(platform::ToSystemCodePage(line).c_str());
  }
  return imported ? 0 : 1;
}
