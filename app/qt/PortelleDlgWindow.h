// CPortelleDlgWindow: the main dialog on screen. It lays out dialog template
// 102 as a fixed-size Qt dialog, converting the template's dialog units with
// the metrics of its font, shows CPortelleDlg's state in the controls and
// calls CPortelleDlg's handlers when a button is clicked. Export and import
// run synchronously inside those handlers, on this thread: the engines, the
// message boxes they show and the process's current folder stay on one
// thread. While one runs, a status line below the buttons shows its
// progress, and each shown report lets the window repaint and handle every
// event but the user's input, which waits until the operation has returned,
// as it would behind a blocked window.
#ifndef PORTELLE_APP_QT_PORTELLEDLGWINDOW_H_
#define PORTELLE_APP_QT_PORTELLEDLGWINDOW_H_

#include <QDialog>
#include <QIcon>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/PortelleDlg.h"
#include "app/ProgressDisplay.h"
#include "app/qt/DialogUnits.h"
#include "platform/progress.h"

class QLabel;

class CPortelleDlgWindow : public QDialog, public IPortelleDlgView {
 public:
  // The template's font is "MS Shell Dlg" 8; the application's own font at
  // that size stands in for it.
  static constexpr int kFontPointSize = 8;

  // Builds the controls for the discovered server and runs OnInitDialog.
  // `operations` must outlive the window.
  CPortelleDlgWindow(IPortelleOperations& operations, double server_version, int32_t service_pack,
                     int32_t patch, std::u16string install_path, QWidget* parent = nullptr);

  void SetControlText(int control, const std::u16string& text) override;
  std::u16string GetControlText(int control) const override;
  void EnableControl(int control, bool enable) override;

  // The application icon: a shield with an arrow through its gate.
  static QIcon ApplicationIcon();

  // The widget of a control of the template; nullptr for another id.
  QWidget* Control(int control) const;
  DialogBaseUnits base_units() const { return m_base; }
  // The status line below the buttons: empty unless an operation runs.
  QLabel* StatusLine() const { return m_status; }

  // What the engines report their progress to, for the operations to pass
  // on (CPortelleOperations::SetProgressObserver).
  platform::ProgressObserver& progress() { return m_progress; }
  // Replaces the clock of the progress reports (platform::GetTickCount).
  void SetProgressClockForTesting(ProgressTickSource ticks) {
    m_progress.SetClock(std::move(ticks));
  }

 private:
  // The status line of a running operation: each report ProgressMeter lets
  // through is shown and painted at once.
  class StatusLineProgress : public platform::ProgressObserver {
   public:
    StatusLineProgress();
    void Begin(QLabel* status, int operation_id);
    void OnDomainsDone(int done, int total) override;
    // Empties the status line.
    void End();
    void SetClock(ProgressTickSource ticks) { m_ticks = std::move(ticks); }

   private:
    ProgressTickSource m_ticks;
    QLabel* m_status = nullptr;
    std::unique_ptr<ProgressMeter> m_meter;
  };

  // Paints the window before an operation blocks the thread, so that while
  // it runs the user sees the dialog as it is now (buttons disabled, the
  // question box gone), not what was last painted. Once the operation
  // returns, the event loop paints whatever changed afterwards.
  class PaintFirstOperations : public IPortelleOperations {
   public:
    PaintFirstOperations(CPortelleDlgWindow& window, IPortelleOperations& operations)
        : m_window(window), m_operations(operations) {}
    OperationOutcome Export(double server_version, const std::u16string& install_path,
                            int32_t service_pack, int32_t patch,
                            const std::u16string& archive) override;
    OperationOutcome Import(const std::u16string& install_path,
                            const std::u16string& archive) override;

   private:
    CPortelleDlgWindow& m_window;
    IPortelleOperations& m_operations;
  };

  void CreateControls();

  StatusLineProgress m_progress;
  PaintFirstOperations m_operations;
  CPortelleDlg m_dlg;
  DialogBaseUnits m_base;
  std::map<int, QWidget*> m_controls;  // owned by the window
  QLabel* m_status = nullptr;          // owned by the window
};

#endif  // PORTELLE_APP_QT_PORTELLEDLGWINDOW_H_
