// CPortelleDlgWin: the main dialog on screen on Windows. It runs dialog
// template 102 of the program's resources with the system's dialog manager,
// shows CPortelleDlg's state in the template's controls and calls
// CPortelleDlg's handlers when a button is clicked. Export and import run
// synchronously inside those handlers, on this thread. While one runs, a
// status line below the buttons shows its progress; each shown report
// repaints the window, while the user's input waits until the operation has
// returned, as it would behind a blocked window.
#ifndef PORTELLE_APP_WIN_PORTELLEDLGWIN_H_
#define PORTELLE_APP_WIN_PORTELLEDLGWIN_H_

#include <cstdint>
#include <memory>
#include <string>

#include "app/PortelleDlg.h"
#include "app/ProgressDisplay.h"
#include "platform/progress.h"

struct HWND__;
struct HICON__;

class CPortelleDlgWin : public IPortelleDlgView {
 public:
  // The status line is not part of the template: the view adds it in the
  // free band below the buttons (dialog units).
  static constexpr int kStatusLineX = 19;
  static constexpr int kStatusLineY = 92;
  static constexpr int kStatusLineWidth = 281;
  static constexpr int kStatusLineHeight = 8;

  // `operations` must outlive the dialog.
  CPortelleDlgWin(IPortelleOperations& operations, double server_version, int32_t service_pack,
                  int32_t patch, std::u16string install_path);
  ~CPortelleDlgWin() override;
  CPortelleDlgWin(const CPortelleDlgWin&) = delete;
  CPortelleDlgWin& operator=(const CPortelleDlgWin&) = delete;

  // Runs the dialog modally until it is closed. Returns the dialog's result
  // (IDCANCEL once closed), or -1 when it could not be created — without a
  // display, for one — with the system's error code in *error.
  intptr_t DoModal(uint32_t* error);

  // Creates and shows the dialog without running it: the caller's message
  // loop serves it (tests send it messages and look at its controls; the
  // documentation's snapshot paints it). Close hides it. False when it
  // cannot be created.
  bool CreateModeless();

  void SetControlText(int control, const std::u16string& text) override;
  std::u16string GetControlText(int control) const override;
  void EnableControl(int control, bool enable) override;

  HWND__* hwnd() const { return m_hWnd; }
  // The status line's window (null before the dialog exists).
  HWND__* StatusLine() const { return m_hStatus; }

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
    void Begin(HWND__* dialog, HWND__* status, int operation_id);
    void OnDomainsDone(int done, int total) override;
    // Empties the status line.
    void End();
    void SetClock(ProgressTickSource ticks) { m_ticks = std::move(ticks); }

   private:
    ProgressTickSource m_ticks;
    HWND__* m_dialog = nullptr;
    HWND__* m_status = nullptr;
    std::unique_ptr<ProgressMeter> m_meter;
  };

  // Paints the window before an operation blocks the thread, so that while
  // it runs the user sees the dialog as it is now (buttons disabled, the
  // question box gone), and runs the status line for its length.
  class PaintFirstOperations : public IPortelleOperations {
   public:
    PaintFirstOperations(CPortelleDlgWin& window, IPortelleOperations& operations)
        : m_window(window), m_operations(operations) {}
    OperationOutcome Export(double server_version, const std::u16string& install_path,
                            int32_t service_pack, int32_t patch,
                            const std::u16string& archive) override;
    OperationOutcome Import(const std::u16string& install_path,
                            const std::u16string& archive) override;

   private:
    CPortelleDlgWin& m_window;
    IPortelleOperations& m_operations;
  };

  static intptr_t __stdcall DialogProc(HWND__* hwnd, unsigned message, uintptr_t wparam,
                                       intptr_t lparam);
  bool OnInitDialog(HWND__* hwnd);
  bool OnCommand(int id, int notification);
  void CreateStatusLine();
  void RepaintNow();

  StatusLineProgress m_progress;
  PaintFirstOperations m_operations;
  CPortelleDlg m_dlg;
  double m_dServerVer;
  int32_t m_nServicePackVer;
  int32_t m_nPatchVer;
  std::u16string m_wstrServerPath;
  bool m_bModeless = false;
  HWND__* m_hWnd = nullptr;
  HWND__* m_hStatus = nullptr;  // a child of the dialog
  HICON__* m_hIcon = nullptr;
  HICON__* m_hSmallIcon = nullptr;
};

#endif  // PORTELLE_APP_WIN_PORTELLEDLGWIN_H_
