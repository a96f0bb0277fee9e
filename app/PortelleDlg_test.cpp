#include "app/PortelleDlg.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/file_system.h"
#include "platform/string_table.h"
#include "platform/testing/recording_user_interface.h"
#include "platform/user_interface.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "tests/support/utf16le.h"

namespace {

using platform::MessageAnswer;
using platform::MessageIcon;

class RecordingView : public IPortelleDlgView {
 public:
  void SetControlText(int control, const std::u16string& text) override { text_[control] = text; }
  std::u16string GetControlText(int control) const override {
    const auto it = text_.find(control);
    return it == text_.end() ? u"" : it->second;
  }
  void EnableControl(int control, bool enable) override {
    enabled_[control] = enable;
    history_.push_back({control, enable});
  }

  std::map<int, std::u16string> text_;
  std::map<int, bool> enabled_;
  std::vector<std::pair<int, bool>> history_;
};

class RecordingOperations : public IPortelleOperations {
 public:
  OperationOutcome Export(double, const std::u16string& install, int32_t, int32_t,
                          const std::u16string& archive) override {
    exports_.push_back(archive);
    EXPECT_EQ(install, u"/srv/");
    OperationOutcome outcome = export_outcome_;
    if (outcome.written_archive.empty()) outcome.written_archive = archive;
    return outcome;
  }
  OperationOutcome Import(const std::u16string&, const std::u16string& archive) override {
    imports_.push_back(archive);
    // The buttons are disabled while the import runs.
    EXPECT_FALSE(view_->enabled_[kIdcClose]);
    if (!report_.empty()) dir_->Write("DuplicateDomainList.txt", report_);
    return import_outcome_;
  }

  OperationOutcome export_outcome_{true, {}, {}, {}, {}};
  OperationOutcome import_outcome_{true, {}, {}, {}, {}};
  std::string report_;
  RecordingView* view_ = nullptr;
  testing_support::TempFolder* dir_ = nullptr;
  std::vector<std::u16string> exports_, imports_;
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::GetCurrentFolder(&saved_).ok());
    ASSERT_TRUE(platform::SetCurrentFolder(dir_.wpath()).ok());
    ops_.view_ = &view_;
    ops_.dir_ = &dir_;
  }
  void TearDown() override { platform::SetCurrentFolder(saved_); }

  CPortelleDlg& Start(double version, int32_t sp, int32_t patch) {
    dlg_.SetServerInfo(version, sp, patch, u"/srv/");
    EXPECT_TRUE(dlg_.OnInitDialog());
    return dlg_;
  }
  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_{"BASTIONEL_PIPE_DIR", dir_.path() + "p"};
  std::u16string saved_;
  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scope_{&ui_};
  RecordingView view_;
  RecordingOperations ops_;
  CPortelleDlg dlg_{view_, ops_};
};

TEST_F(DialogTest, VersionLineAndImportButtonFollowTheServer) {
  Start(10.6, 2, 0);
  EXPECT_EQ(view_.text_[kIdcVersion], u"SKVA 10.6 Service Pack 2");
  EXPECT_EQ(view_.text_[kIdcArchivePath], u"C:\\SkvaMigrate.zip");  // first start
  EXPECT_TRUE(view_.enabled_[kIdcImport]);

  CPortelleDlg patched(view_, ops_);
  patched.SetServerInfo(10.6, 2, 1, u"/srv/");
  patched.OnInitDialog();
  EXPECT_EQ(view_.text_[kIdcVersion], u"SKVA 10.6 Service Pack 2 Patch 1");
  EXPECT_FALSE(view_.enabled_[kIdcImport]);

  CPortelleDlg older(view_, ops_);
  older.SetServerInfo(10.5, 0, 0, u"/srv/");
  older.OnInitDialog();
  EXPECT_EQ(view_.text_[kIdcVersion], u"SKVA 10.5");
  EXPECT_FALSE(view_.enabled_[kIdcImport]);
  older.SetServerInfo(8, 1, 0, u"/srv/");
  EXPECT_EQ(older.VersionLine(), u"SKVA 8 Service Pack 1");
}

TEST_F(DialogTest, ExportAsksBeforeOverwritingAndConfirmsSuccess) {
  Start(10.5, 0, 0);
  ui_.QueueChosenFile(dir_.Wide("out.zip"));
  dlg_.OnBnClickedButtonSelectFolder();
  EXPECT_EQ(view_.text_[kIdcArchivePath], dir_.Wide("out.zip"));
  dlg_.OnBnClickedButtonExport();
  ASSERT_EQ(ops_.exports_.size(), 1u);
  EXPECT_EQ(ui_.messages().back().icon, MessageIcon::kInformation);
  EXPECT_EQ(ui_.messages().back().text,
            platform::FormatMessageText(platform::kMsgExportSucceeded, dir_.Wide("out.zip")));

  dir_.Write("out.zip", "old");
  ui_.Clear();
  dlg_.OnBnClickedButtonExport();  // unanswered: No
  EXPECT_EQ(ops_.exports_.size(), 1u);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].buttons, platform::MessageButtons::kYesNo);
  ui_.QueueAnswer(MessageAnswer::kYes);
  dlg_.OnBnClickedButtonExport();
  EXPECT_EQ(ops_.exports_.size(), 2u);

  ops_.export_outcome_.succeeded = false;  // the engine showed its own message
  ui_.Clear();
  ui_.QueueAnswer(MessageAnswer::kYes);
  dlg_.OnBnClickedButtonExport();
  EXPECT_EQ(ui_.messages().size(), 1u);
  for (const auto& [control, enable] : view_.history_) {
    EXPECT_FALSE(control == kIdcExport && !enable);  // the buttons stay enabled
  }
}

TEST_F(DialogTest, ExportOutcomesBeyondPlainSuccessAreShown) {
  Start(10.5, 0, 0);
  // A failure with its reason: one error box, no success message.
  ops_.export_outcome_.succeeded = false;
  ops_.export_outcome_.failure = platform::AppMessage(platform::kMsgArchiveNotWritten,
                                                      u"C:\\SkvaMigrate.zip", u"Permission denied");
  dlg_.OnBnClickedButtonExport();
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::kError);
  EXPECT_EQ(ui_.messages()[0].text,
            u"Unable to continue. \nUnable to write the data file C:\\SkvaMigrate.zip: "
            u"Permission denied. \nSelect another path and try again.");

  // Written without domains: a warning in place of the success message.
  ops_.export_outcome_ = OperationOutcome{};
  ops_.export_outcome_.succeeded = true;
  ops_.export_outcome_.warning =
      platform::AppMessage(platform::kMsgNoDomainsExported, u"C:\\SkvaMigrate.zip");
  ui_.Clear();
  dlg_.OnBnClickedButtonExport();
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(ui_.messages()[0].text, platform::FormatMessageText(ops_.export_outcome_.warning));

  // The success message names the file written, with its ".Zip".
  ops_.export_outcome_ = OperationOutcome{};
  ops_.export_outcome_.succeeded = true;
  ops_.export_outcome_.written_archive = u"C:\\SkvaMigrate.Zip";
  view_.text_[kIdcArchivePath] = u"C:\\SkvaMigrate";
  ui_.Clear();
  dlg_.OnBnClickedButtonExport();
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0].text,
            platform::FormatMessageText(platform::kMsgExportSucceeded, u"C:\\SkvaMigrate.Zip"));
}

TEST_F(DialogTest, ImportFailuresAndWhatWasLeftOutAreShownAfterTheClosingMessages) {
  Start(10.6, 2, 0);
  ops_.import_outcome_.succeeded = false;
  ops_.import_outcome_.failure = platform::AppMessage(
      platform::kMsgArchiveRefused, u"C:\\SkvaMigrate.zip", u"it holds no skva.dat");
  ui_.QueueAnswer(MessageAnswer::kYes);
  dlg_.OnBnClickedButtonImport();
  ASSERT_EQ(ui_.messages().size(), 2u);
  EXPECT_EQ(ui_.messages()[1].icon, MessageIcon::kError);
  EXPECT_EQ(ui_.messages()[1].text,
            u"The data file C:\\SkvaMigrate.zip was not imported: it "
            u"holds no skva.dat. \nNothing was changed on this server.");
  EXPECT_TRUE(view_.enabled_[kIdcClose]);

  ops_.import_outcome_ = OperationOutcome{};
  ops_.import_outcome_.succeeded = true;
  ops_.import_outcome_.afterwords = {
      platform::AppMessage(platform::kMsgDomainsLeftOut, u"2", u"1")};
  ui_.Clear();
  ui_.QueueAnswer(MessageAnswer::kYes);
  dlg_.OnBnClickedButtonImport();
  ASSERT_EQ(ui_.messages().size(), 3u);
  EXPECT_EQ(ui_.messages()[1].text,
            platform::FormatMessageText(platform::kMsgImportSucceeded, u"C:\\SkvaMigrate.zip"));
  EXPECT_EQ(ui_.messages()[2].icon, MessageIcon::kWarning);
  EXPECT_EQ(ui_.messages()[2].text.substr(0, 60),
            u"2 domain(s) of the data file were not imported and 1 were im");
}

TEST_F(DialogTest, CancelledBrowseAndEmptyPathChangeNothing) {
  Start(10.6, 2, 0);
  dlg_.OnBnClickedButtonSelectFolder();  // no file chosen
  EXPECT_EQ(dlg_.archive_path(), u"C:\\SkvaMigrate.zip");
  view_.text_[kIdcArchivePath] = u"";
  dlg_.OnBnClickedButtonExport();
  dlg_.OnBnClickedButtonImport();
  ASSERT_EQ(ui_.messages().size(), 2u);
  for (const auto& m : ui_.messages()) {
    EXPECT_EQ(m.text, platform::FormatMessageText(platform::kMsgDataFileNotSelected));
    EXPECT_EQ(m.icon, MessageIcon::kWarning);
  }
  EXPECT_TRUE(ops_.exports_.empty());
  EXPECT_TRUE(ops_.imports_.empty());
}

TEST_F(DialogTest, ImportNeedsAYesAndReportsDuplicates) {
  Start(10.6, 2, 0);
  dlg_.OnBnClickedButtonImport();  // No to the warning: nothing happens
  EXPECT_TRUE(ops_.imports_.empty());
  EXPECT_TRUE(view_.history_.size() == 1);  // only UpdateControls' Import state

  ui_.Clear();
  ui_.QueueAnswer(MessageAnswer::kYes);
  dlg_.OnBnClickedButtonImport();
  ASSERT_EQ(ops_.imports_.size(), 1u);
  ASSERT_EQ(ui_.messages().size(), 2u);
  EXPECT_EQ(ui_.messages()[1].text,
            platform::FormatMessageText(platform::kMsgImportSucceeded, u"C:\\SkvaMigrate.zip"));
  EXPECT_TRUE(view_.enabled_[kIdcClose]);
  EXPECT_TRUE(view_.enabled_[kIdcImport]);

  // Two duplicate lines in the report: 141, then 142.
  ops_.report_ =
      std::string("\xFF\xFE", 2) + std::string("a\0\\\0b\0\r\0\n\0c\0\\\0d\0\r\0\n\0", 20);
  ui_.Clear();
  ui_.QueueAnswer(MessageAnswer::kYes);
  dlg_.OnBnClickedButtonImport();
  ASSERT_EQ(ui_.messages().size(), 3u);
  EXPECT_EQ(ui_.messages()[1].text, platform::FormatMessageText(platform::kMsgDuplicateDomains,
                                                                u"DuplicateDomainList.txt"));
  EXPECT_EQ(ui_.messages()[2].text, platform::FormatMessageText(platform::kMsgToolSucceeded));
}

TEST(ReportLinesTest, CountsUnicodeLinesInPiecesOf1023) {
  testing_support::TempFolder dir;
  const auto utf16 = testing_support::Utf16LeWithBom;
  dir.Write("bom-only.txt", "\xFF\xFE");
  EXPECT_EQ(CountReportLines(dir.Wide("bom-only.txt")), 0);
  EXPECT_EQ(CountReportLines(dir.Wide("missing.txt")), 0);
  dir.Write("three.txt", utf16(u"a\\b\r\nc\\d\r\ne\\f\r\n"));
  EXPECT_EQ(CountReportLines(dir.Wide("three.txt")), 3);
  dir.Write("no-end.txt", utf16(u"a\r\nb"));
  EXPECT_EQ(CountReportLines(dir.Wide("no-end.txt")), 2);
  dir.Write("long.txt", utf16(std::u16string(1023, u'x') + u"\r\n" + std::u16string(1022, u'y') +
                              u"\r\n" + std::u16string(2047, u'z')));
  // 1023 characters fill one read and the line end takes a second; 1022 and
  // the line end fit one; 2047 without line end take three.
  EXPECT_EQ(CountReportLines(dir.Wide("long.txt")), 6);
}

}  // namespace
