// The command line: flags /c (console mode), /i (import), /e (export, which
// clears /i), /t (attach to the parent's console), /? (also -h and --help:
// the usage text), --version and one archive path.
#ifndef PORTELLE_APP_CUSTOMCOMMANDLINEINFO_H_
#define PORTELLE_APP_CUSTOMCOMMANDLINEINFO_H_

#include <string>
#include <string_view>
#include <vector>

class CCustomCommandLineInfo {
 public:
  CCustomCommandLineInfo() = default;
  virtual ~CCustomCommandLineInfo() = default;

  // Called once per token. A flag arrives without its "/" or "-" and is
  // compared case-sensitively; "?", "h" and "-help" ask for the usage text,
  // "-version" for the program's version; an unknown one is reported in a
  // message box ("Unknown flag %s") and skipped. Any other token is the data
  // file path, trimmed; a later one replaces an earlier one.
  virtual void ParseParam(std::u16string_view param, bool is_flag, bool is_last);

  bool IsConsoleMode() const { return m_bConsoleMode; }
  bool IsImport() const { return m_bImport; }
  bool IsAttachToParentConsole() const { return m_bAttachParentConsole; }
  bool IsHelp() const { return m_bHelp; }
  bool IsVersion() const { return m_bVersion; }
  const std::u16string& GetDataFilePath() const { return m_wstrDataFilePath; }

 private:
  bool m_bConsoleMode = false;
  bool m_bImport = false;
  bool m_bAttachParentConsole = false;
  bool m_bHelp = false;
  bool m_bVersion = false;
  std::u16string m_wstrDataFilePath;
};

// Splits the program's arguments (without the program name) into ParseParam
// calls: "-x" is a flag "x"; "/x" is a flag when the token is exactly a slash
// and one character, so that "/c /i" works while "/tmp/a.zip" is a path; any
// other token is a path.
void ParseCommandLine(const std::vector<std::u16string>& arguments, CCustomCommandLineInfo& info);

#endif  // PORTELLE_APP_CUSTOMCOMMANDLINEINFO_H_
