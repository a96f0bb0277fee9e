// CPortelleDlg: the logic of the program's window in dialog mode — which
// server version is installed, the archive path, and the buttons Export,
// Browse, Import and Close. It knows no toolkit: it drives its controls
// through IPortelleDlgView, shows message boxes and the open-file dialog
// through platform::CurrentUserInterface(), and runs the export and import
// through IPortelleOperations, so that tests can drive all of it.
#ifndef PORTELLE_APP_PORTELLEDLG_H_
#define PORTELLE_APP_PORTELLEDLG_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_table.h"

// The dialog's controls (ids of dialog template 102).
enum PortelleDlgControl : int {
  kIdcExport = 1000,
  kIdcImport = 1001,
  kIdcArchivePath = 1003,
  kIdcBrowse = 1004,
  kIdcPathLabel = 1006,
  kIdcVersion = 1007,
  kIdcClose = 2,
};

class IPortelleDlgView {
 public:
  virtual ~IPortelleDlgView() = default;
  virtual void SetControlText(int control, const std::u16string& text) = 0;
  virtual std::u16string GetControlText(int control) const = 0;
  virtual void EnableControl(int control, bool enable) = 0;
};

// How an export or import ended, beyond the messages the engine showed itself.
struct OperationOutcome {
  bool succeeded = false;
  // Failed: what failed, the path and the system's reason (an error box);
  // empty when the engine's own message said all.
  platform::AppMessage failure;
  // Succeeded, but not plainly: shown with a warning icon in place of the
  // success message.
  platform::AppMessage warning;
  // Succeeded: shown after the closing messages, each in a box of its own
  // (what was left out).
  std::vector<platform::AppMessage> afterwords;
  // Export: the file actually written.
  std::u16string written_archive;
};

// The two operations the buttons start; synchronous, on the caller's thread.
class IPortelleOperations {
 public:
  virtual ~IPortelleOperations() = default;
  // CExportSkvaSettings(version, install path, sp, patch).ExportConfigToFile.
  virtual OperationOutcome Export(double server_version, const std::u16string& install_path,
                                  int32_t service_pack, int32_t patch,
                                  const std::u16string& archive) = 0;
  // CImportSkvaSettings(install path).ImportSettingsFromFile.
  virtual OperationOutcome Import(const std::u16string& install_path,
                                  const std::u16string& archive) = 0;
};

class CPortelleDlg {
 public:
  static constexpr std::u16string_view kDefaultArchivePath = u"C:\\SkvaMigrate.zip";
  static constexpr std::u16string_view kZipFilter = u"Zip Files (*.zip)|*.zip|";

  CPortelleDlg(IPortelleDlgView& view, IPortelleOperations& operations);
  virtual ~CPortelleDlg() = default;

  // Hands over what start-up discovered.
  void SetServerInfo(double server_version, int32_t service_pack, int32_t patch,
                     std::u16string install_path);

  bool OnInitDialog();
  void UpdateControls();
  void EnableButtons(bool enable);
  void OnBnClickedButtonSelectFolder();  // Browse
  void OnBnClickedButtonExport();
  void OnBnClickedButtonImport();

  // "SKVA 10.6 Service Pack 2": the version in the stream's default number
  // format, then the service pack and patch when they are not 0.
  std::u16string VersionLine() const;
  const std::u16string& archive_path() const { return m_wstrArchivePath; }

 private:
  // An error box with the outcome's failure, when it has one.
  void ShowFailure(const OperationOutcome& outcome);

  IPortelleDlgView& m_view;
  IPortelleOperations& m_operations;
  double m_dServerVer = 0;
  int32_t m_nServicePackVer = 0;
  int32_t m_nPatchVer = 0;
  std::u16string m_wstrServerPath;
  std::u16string m_wstrArchivePath{kDefaultArchivePath};
};

// The number of lines of a report file read as Unicode text in pieces of at
// most 1023 characters (a longer line counts once per piece); 0 when the
// file cannot be read.
int CountReportLines(std::u16string_view path);

#endif  // PORTELLE_APP_PORTELLEDLG_H_
