// CPortelleCmdLineMode: one export without a window, talking to the user
// through the console. Import is refused in this mode (portelle-import
// imports without the dialog).
#ifndef PORTELLE_APP_PORTELLECMDLINEMODE_H_
#define PORTELLE_APP_PORTELLECMDLINEMODE_H_

#include <cstdint>
#include <string>

class CPortelleCmdLineMode {
 public:
  CPortelleCmdLineMode() = default;
  virtual ~CPortelleCmdLineMode() = default;

  // DoImport when an import was asked for, else DoExport.
  bool Run();
  // Always false: the console mode cannot import. Standard error names the
  // program that can.
  bool DoImport();
  // True when the archive was written as a plain success. A failure's reason,
  // and the warning of an archive written without what was asked for (no
  // domain read from the database service), go to standard error as one
  // line, and the result is false.
  bool DoExport();

  double m_dServerVer = 0;
  int32_t m_nServicePackVer = 0;
  int32_t m_nPatchVer = 0;
  bool m_bIsImport = false;
  std::u16string m_wstrServerPath;
  std::u16string m_wstrDataFilePath;
};

#endif  // PORTELLE_APP_PORTELLECMDLINEMODE_H_
