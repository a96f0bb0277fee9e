#include "app/win/PortelleDlgWin.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <vector>

#include "app/win/resource.h"
#include "platform/string_table.h"
#include "platform/system.h"

// The template's ids are the dialog logic's.
static_assert(IDC_STATIC_VERSION == kIdcVersion);
static_assert(IDC_BUTTON_EXPORT == kIdcExport);
static_assert(IDC_STATIC_PATH == kIdcPathLabel);
static_assert(IDC_EDIT_PATH == kIdcArchivePath);
static_assert(IDC_BUTTON_SELECT_FOLDER == kIdcBrowse);
static_assert(IDC_BUTTON_IMPORT == kIdcImport);
static_assert(IDCANCEL == kIdcClose);

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

HINSTANCE ProgramInstance() { return GetModuleHandleW(nullptr); }

// Handles what is pending for the window system — painting and messages sent
// by other threads and processes — and leaves the user's input queued.
void PaintPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

CPortelleDlgWin::StatusLineProgress::StatusLineProgress() : m_ticks(platform::GetTickCount) {}

void CPortelleDlgWin::StatusLineProgress::Begin(HWND dialog, HWND status, int operation_id) {
  m_dialog = dialog;
  m_status = status;
  m_meter = std::make_unique<ProgressMeter>(operation_id, m_ticks);
}

void CPortelleDlgWin::StatusLineProgress::OnDomainsDone(int done, int total) {
  if (m_meter == nullptr || !m_meter->Report(done, total)) return;
  SetWindowTextW(m_status, Wide(m_meter->Text()));
  RedrawWindow(m_dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  PaintPending();
}

void CPortelleDlgWin::StatusLineProgress::End() {
  m_meter.reset();
  if (m_status != nullptr) SetWindowTextW(m_status, L"");
}

OperationOutcome CPortelleDlgWin::PaintFirstOperations::Export(double server_version,
                                                               const std::u16string& install_path,
                                                               int32_t service_pack, int32_t patch,
                                                               const std::u16string& archive) {
  m_window.m_progress.Begin(m_window.m_hWnd, m_window.m_hStatus, platform::kMsgProgressExporting);
  m_window.RepaintNow();
  OperationOutcome outcome =
      m_operations.Export(server_version, install_path, service_pack, patch, archive);
  m_window.m_progress.End();
  return outcome;
}

OperationOutcome CPortelleDlgWin::PaintFirstOperations::Import(const std::u16string& install_path,
                                                               const std::u16string& archive) {
  m_window.m_progress.Begin(m_window.m_hWnd, m_window.m_hStatus, platform::kMsgProgressImporting);
  m_window.RepaintNow();
  OperationOutcome outcome = m_operations.Import(install_path, archive);
  m_window.m_progress.End();
  return outcome;
}

CPortelleDlgWin::CPortelleDlgWin(IPortelleOperations& operations, double server_version,
                                 int32_t service_pack, int32_t patch, std::u16string install_path)
    : m_operations(*this, operations),
      m_dlg(*this, m_operations),
      m_dServerVer(server_version),
      m_nServicePackVer(service_pack),
      m_nPatchVer(patch),
      m_wstrServerPath(std::move(install_path)) {}

CPortelleDlgWin::~CPortelleDlgWin() {
  if (m_bModeless && m_hWnd != nullptr) DestroyWindow(m_hWnd);
  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
}

intptr_t CPortelleDlgWin::DoModal(uint32_t* error) {
  SetLastError(0);
  const INT_PTR result = DialogBoxParamW(ProgramInstance(), MAKEINTRESOURCEW(IDD_PORTELLE_DIALOG),
                                         nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
  if (error != nullptr) *error = result == -1 ? GetLastError() : 0;
  m_hWnd = nullptr;
  m_hStatus = nullptr;
  return result;
}

bool CPortelleDlgWin::CreateModeless() {
  m_bModeless = true;
  return CreateDialogParamW(ProgramInstance(), MAKEINTRESOURCEW(IDD_PORTELLE_DIALOG), nullptr,
                            DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

INT_PTR CALLBACK CPortelleDlgWin::DialogProc(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CPortelleDlgWin*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    return self->OnInitDialog(hwnd) ? TRUE : FALSE;
  }
  auto* self = reinterpret_cast<CPortelleDlgWin*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      return self->OnCommand(LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
    case WM_PAINT:
      // Minimised, the dialog shows its icon centred in its client area.
      if (IsIconic(hwnd)) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, self->m_hIcon);
        EndPaint(hwnd, &paint);
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      // The image dragged while the minimised window moves.
      return reinterpret_cast<INT_PTR>(self->m_hIcon);
    case WM_HELP:
      // F1: there is no help; the request is handled by doing nothing.
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    default:
      return FALSE;
  }
}

bool CPortelleDlgWin::OnInitDialog(HWND hwnd) {
  m_hWnd = hwnd;
  m_hIcon =
      static_cast<HICON>(LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  m_hSmallIcon = static_cast<HICON>(LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
  CreateStatusLine();
  // Centred on the screen, as the framework places a dialog without owner.
  RECT window;
  GetWindowRect(hwnd, &window);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + ((work.right - work.left) - (window.right - window.left)) / 2;
  const int y = work.top + ((work.bottom - work.top) - (window.bottom - window.top)) / 2;
  SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_dlg.SetServerInfo(m_dServerVer, m_nServicePackVer, m_nPatchVer, m_wstrServerPath);
  return m_dlg.OnInitDialog();
}

void CPortelleDlgWin::CreateStatusLine() {
  // Position and size are converted each on its own, as the dialog manager
  // does for the template's controls.
  RECT units = {kStatusLineX, kStatusLineY, kStatusLineWidth, kStatusLineHeight};
  MapDialogRect(m_hWnd, &units);
  m_hStatus = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                              units.left, units.top, units.right, units.bottom, m_hWnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_LINE)),
                              ProgramInstance(), nullptr);
  // In the dialog's own font, as the template's controls are.
  SendMessageW(m_hStatus, WM_SETFONT, SendMessageW(m_hWnd, WM_GETFONT, 0, 0), FALSE);
}

bool CPortelleDlgWin::OnCommand(int id, int notification) {
  if (notification != BN_CLICKED) return false;
  switch (id) {
    case IDC_BUTTON_EXPORT:
      m_dlg.OnBnClickedButtonExport();
      return true;
    case IDC_BUTTON_SELECT_FOLDER:
      m_dlg.OnBnClickedButtonSelectFolder();
      return true;
    case IDC_BUTTON_IMPORT:
      m_dlg.OnBnClickedButtonImport();
      return true;
    case IDCANCEL:
      // Close, Escape and the window's close box end the dialog as cancel.
      if (m_bModeless) {
        ShowWindow(m_hWnd, SW_HIDE);
      } else {
        EndDialog(m_hWnd, IDCANCEL);
      }
      return true;
    case IDOK:
      // Enter in the path field: there is no default button to press, and
      // the dialog stays open.
      return true;
    default:
      return false;
  }
}

void CPortelleDlgWin::RepaintNow() {
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CPortelleDlgWin::SetControlText(int control, const std::u16string& text) {
  SetDlgItemTextW(m_hWnd, control, Wide(text));
}

std::u16string CPortelleDlgWin::GetControlText(int control) const {
  HWND item = GetDlgItem(m_hWnd, control);
  if (item == nullptr) return {};
  const int length = GetWindowTextLengthW(item);
  if (length <= 0) return {};
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(item, text.data(), length + 1);
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()),
                        static_cast<size_t>(copied > 0 ? copied : 0));
}

void CPortelleDlgWin::EnableControl(int control, bool enable) {
  HWND item = GetDlgItem(m_hWnd, control);
  if (item == nullptr) return;
  // A disabled control cannot keep the keyboard focus: it moves on to the
  // next control that takes it, so the keyboard keeps working.
  if (!enable && GetFocus() == item) SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, FALSE);
  EnableWindow(item, enable ? TRUE : FALSE);
}
