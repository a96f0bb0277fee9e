// The native dialog, its message boxes and the Windows program's command
// line. Tests that show windows need a display (under Wine: DISPLAY, e.g.
// through xvfb-run) and are skipped without one; the tests of the program
// without a display run only then.
// clang-format off
#include <windows.h>
// clang-format on

#include "app/win/PortelleDlgWin.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/win/PortelleWinApp.h"
#include "app/win/Win32UserInterface.h"
#include "app/win/resource.h"
#include "platform/program_arguments.h"
#include "platform/string_table.h"
#include "platform/testing/recording_user_interface.h"

namespace {

using platform::MessageButtons;
using platform::MessageIcon;

bool HasDisplay() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

TEST(MessageBoxStyleTest, MapsIconsAndButtons) {
  EXPECT_EQ(MessageBoxStyle(MessageIcon::kWarning, MessageButtons::kOk),
            static_cast<uint32_t>(MB_OK | MB_ICONWARNING));
  EXPECT_EQ(MessageBoxStyle(MessageIcon::kError, MessageButtons::kOk),
            static_cast<uint32_t>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(MessageBoxStyle(MessageIcon::kInformation, MessageButtons::kOk),
            static_cast<uint32_t>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(MessageBoxStyle(MessageIcon::kQuestion, MessageButtons::kYesNo),
            static_cast<uint32_t>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(MessageBoxStyle(MessageIcon::kNone, MessageButtons::kYesNo),
            static_cast<uint32_t>(MB_YESNO));
}

TEST(OpenFileFilterTest, TurnsBarsIntoTerminators) {
  using namespace std::string_literals;
  EXPECT_EQ(OpenFileFilter(u"Zip Files (*.zip)|*.zip|"), u"Zip Files (*.zip)\0*.zip\0\0"s);
  EXPECT_EQ(OpenFileFilter(u"A|*.a;*.b|All|*.*|"), u"A\0*.a;*.b\0All\0*.*\0\0"s);
  // A list without its final bar is still ended twice.
  EXPECT_EQ(OpenFileFilter(u"Zip Files (*.zip)|*.zip"), u"Zip Files (*.zip)\0*.zip\0\0"s);
}

// The wide command line of this process, without the program name: what
// portelle.exe's wWinMain hands to the start-up.
TEST(ProgramCommandLineTest, ArgumentsLeaveOutTheProgramName) {
  const std::vector<std::u16string> whole =
      platform::SplitProgramCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()));
  ASSERT_FALSE(whole.empty());
  const std::vector<std::u16string> arguments = platform::ProgramArguments(0, nullptr);
  EXPECT_EQ(arguments, std::vector<std::u16string>(whole.begin() + 1, whole.end()));
}

// The engines' operations, with a look at the dialog while each one runs.
class FakeOperations : public IPortelleOperations {
 public:
  OperationOutcome Export(double, const std::u16string&, int32_t, int32_t,
                          const std::u16string& archive) override {
    exports_.push_back(archive);
    if (during_) during_();
    OperationOutcome outcome;
    outcome.succeeded = true;
    outcome.written_archive = archive;
    return outcome;
  }
  OperationOutcome Import(const std::u16string&, const std::u16string& archive) override {
    imports_.push_back(archive);
    if (during_) during_();
    OperationOutcome outcome;
    outcome.succeeded = false;  // its own message said why
    return outcome;
  }
  std::function<void()> during_;
  std::vector<std::u16string> exports_, imports_;
};

// The dialog, created without running it, for a 10.6 SP2 server.
class DialogWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HasDisplay()) GTEST_SKIP() << "no display to create the dialog on";
    Open(10.6, 2, 0);
  }

  void Open(double version, int32_t service_pack, int32_t patch) {
    dialog_ = std::make_unique<CPortelleDlgWin>(operations_, version, service_pack, patch,
                                                u"C:\\Bastionel\\");
    ASSERT_TRUE(dialog_->CreateModeless());
  }

  HWND Item(int id) { return GetDlgItem(dialog_->hwnd(), id); }
  void Click(int id) {
    SendMessageW(dialog_->hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(id)));
  }
  // A rectangle of dialog units in the dialog's client pixels, as the
  // dialog manager places a control: its position and its size are
  // converted each on its own.
  RECT Pixels(int x, int y, int cx, int cy) {
    RECT units = {x, y, cx, cy};
    MapDialogRect(dialog_->hwnd(), &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
  }
  RECT ClientRectOf(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog_->hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface installed_{&ui_};
  FakeOperations operations_;
  std::unique_ptr<CPortelleDlgWin> dialog_;
};

void ExpectRect(const RECT& actual, const RECT& expected, int id) {
  EXPECT_EQ(actual.left, expected.left) << id;
  EXPECT_EQ(actual.top, expected.top) << id;
  EXPECT_EQ(actual.right, expected.right) << id;
  EXPECT_EQ(actual.bottom, expected.bottom) << id;
}

TEST_F(DialogWinTest, OpensWithTheServersVersionAndTheDefaultArchive) {
  EXPECT_EQ(dialog_->GetControlText(kIdcVersion), u"SKVA 10.6 Service Pack 2");
  EXPECT_EQ(dialog_->GetControlText(kIdcArchivePath), u"C:\\SkvaMigrate.zip");
  EXPECT_EQ(dialog_->GetControlText(kIdcExport), u"&Export");
  EXPECT_EQ(dialog_->GetControlText(kIdcClose), u"&Close");
  wchar_t caption[64] = {};
  GetWindowTextW(dialog_->hwnd(), caption, 64);
  EXPECT_STREQ(caption, L"Korvane Bastionel Portelle");
  for (const int id : {kIdcExport, kIdcImport, kIdcBrowse, kIdcClose}) {
    EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
  }
  EXPECT_NE(SendMessageW(dialog_->hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_NE(SendMessageW(dialog_->hwnd(), WM_GETICON, ICON_BIG, 0), 0);
}

TEST_F(DialogWinTest, ControlsSitWhereTheTemplatePutsThemAndTheStatusLineBelow) {
  ExpectRect(ClientRectOf(Item(kIdcVersion)), Pixels(19, 15, 149, 8), kIdcVersion);
  ExpectRect(ClientRectOf(Item(kIdcArchivePath)), Pixels(17, 45, 173, 14), kIdcArchivePath);
  ExpectRect(ClientRectOf(Item(kIdcClose)), Pixels(250, 68, 50, 14), kIdcClose);
  ASSERT_NE(dialog_->StatusLine(), nullptr);
  EXPECT_EQ(GetDlgCtrlID(dialog_->StatusLine()), IDC_STATUS_LINE);
  const RECT status = ClientRectOf(dialog_->StatusLine());
  ExpectRect(status, Pixels(19, 92, 281, 8), IDC_STATUS_LINE);
  // Below the lowest control, inside the dialog.
  EXPECT_GE(status.top, ClientRectOf(Item(kIdcClose)).bottom);
  RECT client;
  GetClientRect(dialog_->hwnd(), &client);
  EXPECT_LE(status.bottom, client.bottom);
  EXPECT_EQ(dialog_->GetControlText(IDC_STATUS_LINE), u"");
}

TEST_F(DialogWinTest, ImportIsOfferedOnlyOn106Sp2WithoutPatch) {
  EXPECT_TRUE(IsWindowEnabled(Item(kIdcImport)));
  Open(10.5, 0, 0);
  EXPECT_FALSE(IsWindowEnabled(Item(kIdcImport)));
  EXPECT_EQ(dialog_->GetControlText(kIdcVersion), u"SKVA 10.5");
  Open(10.6, 2, 1);
  EXPECT_FALSE(IsWindowEnabled(Item(kIdcImport)));
  EXPECT_EQ(dialog_->GetControlText(kIdcVersion), u"SKVA 10.6 Service Pack 2 Patch 1");
}

TEST_F(DialogWinTest, ExportShowsItsProgressAndThenTheSuccessMessage) {
  uint32_t now = 1000;
  dialog_->SetProgressClockForTesting([&now] { return now; });
  std::u16string status_during;
  operations_.during_ = [&] {
    dialog_->progress().OnDomainsDone(0, 3);
    now += 5000;
    dialog_->progress().OnDomainsDone(3, 3);
    status_during = dialog_->GetControlText(IDC_STATUS_LINE);
  };
  Click(kIdcExport);
  ASSERT_EQ(operations_.exports_, std::vector<std::u16string>{u"C:\\SkvaMigrate.zip"});
  EXPECT_EQ(status_during, u"Exporting: 3 of 3 domains done, 0:05 elapsed");
  EXPECT_EQ(dialog_->GetControlText(IDC_STATUS_LINE), u"");
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text,
            platform::FormatMessageText(platform::kMsgExportSucceeded, u"C:\\SkvaMigrate.zip"));
  EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::kInformation);
}

TEST_F(DialogWinTest, ImportDisablesTheButtonsWhileItRunsAndKeepsTheKeyboardFocus) {
  SetFocus(Item(kIdcImport));
  ui_.QueueAnswer(platform::MessageAnswer::kYes);
  bool close_enabled_during = true;
  HWND focus_during = nullptr;
  std::u16string status_during;
  operations_.during_ = [&] {
    close_enabled_during = IsWindowEnabled(Item(kIdcClose)) != FALSE;
    focus_during = GetFocus();
    status_during = dialog_->GetControlText(IDC_STATUS_LINE);
  };
  Click(kIdcImport);
  ASSERT_EQ(operations_.imports_.size(), 1u);
  EXPECT_FALSE(close_enabled_during);
  // The focus left the disabled button for a control that can hold it.
  EXPECT_EQ(focus_during, Item(kIdcArchivePath));
  // No report came in before the operation ended.
  EXPECT_EQ(status_during, u"");
  for (const int id : {kIdcExport, kIdcImport, kIdcBrowse, kIdcClose}) {
    EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
  }
}

TEST_F(DialogWinTest, BrowseShowsTheChosenPathAndCancelKeepsIt) {
  ui_.QueueChosenFile(u"D:\\Sauvegarde été\\export.zip");
  Click(kIdcBrowse);
  EXPECT_EQ(dialog_->GetControlText(kIdcArchivePath), u"D:\\Sauvegarde été\\export.zip");
  ui_.QueueChosenFile(std::nullopt);
  Click(kIdcBrowse);
  EXPECT_EQ(dialog_->GetControlText(kIdcArchivePath), u"D:\\Sauvegarde été\\export.zip");
  Click(kIdcExport);
  EXPECT_EQ(operations_.exports_, std::vector<std::u16string>{u"D:\\Sauvegarde été\\export.zip"});
}

TEST_F(DialogWinTest, CloseAndEnterDoNotRunAnOperation) {
  SendMessageW(dialog_->hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(IsWindowVisible(dialog_->hwnd()));
  Click(kIdcClose);
  EXPECT_FALSE(IsWindowVisible(dialog_->hwnd()));
  EXPECT_TRUE(operations_.exports_.empty());
  EXPECT_TRUE(operations_.imports_.empty());
}

// Exposes the dialog mode's steps.
class TestableWinApp : public CPortelleWinApp {
 public:
  using CPortelleWinApp::OpenDialogUserInterface;
  using CPortelleWinApp::RunDialog;
};

TEST(NoDisplayTest, TheDialogModeEndsWithASayAndExitCode1) {
  if (HasDisplay()) GTEST_SKIP() << "a display is open";
  TestableWinApp app;
  EXPECT_FALSE(app.OpenDialogUserInterface());
  EXPECT_EQ(app.RunDialog(10.6, 2, 0, u"C:\\Bastionel\\"), 1);
  FakeOperations operations;
  CPortelleDlgWin dialog(operations, 10.6, 2, 0, u"C:\\Bastionel\\");
  uint32_t error = 0;
  EXPECT_EQ(dialog.DoModal(&error), -1);
  EXPECT_NE(error, 0u);
}

TEST(NoDisplayTest, TheMessageNamesTheReasonAndTheConsoleMode) {
  EXPECT_EQ(CPortelleWinApp::NoDialogMessage(u"no window can be created"),
            u"Portelle: the dialog cannot be shown: no window can be created. Run \"portelle /c "
            u"[/t] ARCHIVE\" to export from the console instead.\n");
}

TEST(NoDisplayTest, AMessageBoxThatCannotBeShownAnswersNo) {
  if (HasDisplay()) GTEST_SKIP() << "a display is open";
  CWin32UserInterface ui;
  EXPECT_EQ(ui.ShowMessage(u"Korvane Bastionel Portelle", u"question?", MessageIcon::kQuestion,
                           MessageButtons::kYesNo),
            platform::MessageAnswer::kNo);
  EXPECT_EQ(ui.ShowMessage(u"Korvane Bastionel Portelle", u"note", MessageIcon::kInformation,
                           MessageButtons::kOk),
            platform::MessageAnswer::kOk);
}

}  // namespace
