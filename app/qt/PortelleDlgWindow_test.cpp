#include "app/qt/PortelleDlgWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/PortelleOperations.h"
#include "app/qt/testing/QtTestSupport.h"
#include "package/PackageDataFile.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "tests/support/db_service_stand_in.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"
#include "zip/testing/ZipTestTools.h"

namespace {

using testing_support::TempFolder;

QString Message(int id, const std::u16string& argument = {}) {
  return QString::fromStdU16String(platform::FormatMessageText(id, argument));
}

// Template 102 as the resource script lays it out, in dialog units.
const struct {
  int id;
  const char* text;
  QRect units;
} kControls[] = {
    {kIdcVersion, "SKVA 10.6 Service Pack 2", {19, 15, 149, 8}},
    {kIdcExport, "&Export", {250, 21, 50, 14}},
    {kIdcPathLabel, "Export / Import file path:", {19, 29, 138, 12}},
    {kIdcArchivePath, "C:\\SkvaMigrate.zip", {17, 45, 173, 14}},
    {kIdcBrowse, "&Browse...", {198, 45, 45, 14}},
    {kIdcImport, "&Import", {250, 45, 50, 14}},
    {kIdcClose, "&Close", {250, 68, 50, 14}},
};

// Records whether a widget was enabled each time it was painted.
class PaintRecorder : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      enabled_.push_back(static_cast<QWidget*>(watched)->isEnabled());
    return false;
  }
  std::vector<bool> enabled_;
};

// The engines' operations, with a look at the window as each one starts.
class WatchedOperations : public IPortelleOperations {
 public:
  OperationOutcome Export(double server_version, const std::u16string& install_path,
                          int32_t service_pack, int32_t patch,
                          const std::u16string& archive) override {
    if (on_start_) on_start_();
    return engines_.Export(server_version, install_path, service_pack, patch, archive);
  }
  OperationOutcome Import(const std::u16string& install_path,
                          const std::u16string& archive) override {
    if (on_start_) on_start_();
    return engines_.Import(install_path, archive);
  }

  void SetProgressObserver(platform::ProgressObserver* observer) {
    engines_.SetProgressObserver(observer);
  }

  std::function<void()> on_start_;

 private:
  CPortelleOperations engines_;
};

// The dialog on the offscreen platform for a 10.6 SP2 server whose install
// folder lies in a fresh folder, which is also the current folder. No
// database or log service listens unless a test starts one.
class DialogWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("server/bsnscan.ini", "[Global Setting]\r\nOleLayer=1\r\n");
    window_ = std::make_unique<CPortelleDlgWindow>(operations_, 10.6, 2, 0, dir_.Wide("server/"));
    // As the program wires them.
    operations_.SetProgressObserver(&window_->progress());
    window_->show();
  }

  QPushButton* Button(int id) { return qobject_cast<QPushButton*>(window_->Control(id)); }
  QString EditText() { return qobject_cast<QLineEdit*>(window_->Control(kIdcArchivePath))->text(); }
  QString Folder() const { return QDir(QString::fromStdString(dir_.path())).absolutePath(); }

  // Browse, typing `name` below the folder into the file dialog.
  void Browse(const std::string& name) {
    ui_.ChooseNextFile(Folder() + "/" + QString::fromStdString(name));
    Button(kIdcBrowse)->click();
    ASSERT_EQ(EditText(), Folder() + "/" + QString::fromStdString(name));
  }

  void ExpectButtonsEnabled() {
    for (const int id : {kIdcExport, kIdcBrowse, kIdcImport, kIdcClose}) {
      EXPECT_TRUE(window_->Control(id)->isEnabled()) << id;
    }
  }

  TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_{"BASTIONEL_PIPE_DIR", dir_.path() + "pipes"};
  zip_testing::ScopedCurrentFolder current_{dir_.path()};
  qt_testing::AnsweredUserInterface ui_;
  WatchedOperations operations_;
  std::unique_ptr<CPortelleDlgWindow> window_;
};

TEST_F(DialogWindowTest, OpensWithTheControlsOfTheTemplate) {
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(window_->windowTitle(), "Korvane Bastionel Portelle");
  EXPECT_FALSE(window_->windowIcon().isNull());
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize());  // fixed size
  EXPECT_EQ(window_->font().pointSize(), 8);
  for (const auto& c : kControls) {
    EXPECT_EQ(window_->GetControlText(c.id), platform::Utf8ToUtf16(c.text)) << c.text;
  }
  for (const int id : {kIdcVersion, kIdcPathLabel}) {
    EXPECT_NE(qobject_cast<QLabel*>(window_->Control(id)), nullptr) << id;
  }
  for (const int id : {kIdcExport, kIdcBrowse, kIdcImport, kIdcClose}) {
    EXPECT_NE(Button(id), nullptr) << id;
  }
  const auto* edit = qobject_cast<QLineEdit*>(window_->Control(kIdcArchivePath));
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(edit->isReadOnly());
  EXPECT_TRUE(Button(kIdcImport)->isEnabled());  // 10.6 SP2 without patch
  EXPECT_EQ(window_->Control(4711), nullptr);

  CPortelleDlgWindow older(operations_, 10.5, 0, 0, dir_.Wide("server/"));
  EXPECT_EQ(older.GetControlText(kIdcVersion), u"SKVA 10.5");
  EXPECT_FALSE(older.Control(kIdcImport)->isEnabled());
}

TEST_F(DialogWindowTest, ControlsSitWhereTheTemplatePutsThemAndShowTheirWholeText) {
  const DialogBaseUnits base = window_->base_units();
  const QFontMetrics metrics(window_->font());
  EXPECT_EQ(base.cy, metrics.height());
  EXPECT_EQ(window_->size(), MapDialogRect(QRect(0, 0, 315, 112), base).size());
  for (const auto& c : kControls) {
    const QWidget* control = window_->Control(c.id);
    EXPECT_EQ(control->geometry(), MapDialogRect(c.units, base)) << c.text;
    EXPECT_TRUE(window_->rect().contains(control->geometry())) << c.text;
  }
  // Nothing is clipped: the labels hold their text, the buttons their
  // caption with room for the frame, the edit a line of text.
  for (const int id : {kIdcVersion, kIdcPathLabel}) {
    const QWidget* label = window_->Control(id);
    const QString text = QString::fromStdU16String(window_->GetControlText(id));
    EXPECT_LE(metrics.horizontalAdvance(text), label->width()) << id;
    EXPECT_LE(metrics.height(), label->height()) << id;
  }
  for (const int id : {kIdcExport, kIdcBrowse, kIdcImport, kIdcClose}) {
    const QString caption = Button(id)->text().remove('&');
    EXPECT_LE(metrics.horizontalAdvance(caption) + 2 * base.cx, Button(id)->width()) << id;
    EXPECT_LE(metrics.height() + 4, Button(id)->height()) << id;
  }
  EXPECT_LE(metrics.height() + 4, window_->Control(kIdcArchivePath)->height());
  // The rows and the button column line up.
  EXPECT_EQ(Button(kIdcBrowse)->y(), window_->Control(kIdcArchivePath)->y());
  EXPECT_EQ(Button(kIdcImport)->y(), window_->Control(kIdcArchivePath)->y());
  for (const int id : {kIdcImport, kIdcClose}) {
    EXPECT_EQ(Button(id)->x(), Button(kIdcExport)->x());
    EXPECT_EQ(Button(id)->width(), Button(kIdcExport)->width());
  }
}

TEST_F(DialogWindowTest, CloseAndEscapeEndTheDialogAsCancel) {
  Button(kIdcClose)->click();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->result(), QDialog::Rejected);

  window_->show();
  window_->setResult(QDialog::Accepted);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &escape);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->result(), QDialog::Rejected);
  EXPECT_TRUE(ui_.boxes().empty());
}

TEST_F(DialogWindowTest, ExportWritesTheArchiveOfTheDatabaseService) {
  testing_support::DbServiceStandIn stand_in;  // its pipe folder for the test's lifetime
  ASSERT_TRUE(stand_in.Start(R"({"domains": [
    {"uid": "a", "entry": "Sales", "name": "root\\Sales", "config": ["1", "0", "C:\\Q"]},
    {"uid": "b", "parent": "a", "entry": "PC-B"}]})"))
      << stand_in.service().standard_error();

  Browse("export.zip");  // a name that does not exist yet
  Button(kIdcExport)->click();
  const QString archive = Folder() + "/export.zip";
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].title, "Korvane Bastionel Portelle");
  EXPECT_EQ(ui_.boxes()[0].icon, QMessageBox::Information);
  EXPECT_EQ(ui_.boxes()[0].text, Message(platform::kMsgExportSucceeded, archive.toStdU16String()));
  EXPECT_EQ(stand_in.service().Stop(), 0);
  ExpectButtonsEnabled();

  // The package in the archive holds both domains of the service.
  TempFolder listing;
  const std::vector<std::string> members =
      zip_testing::ListWithPython(listing, archive.toStdString());
  size_t package_member = members.size();
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].rfind("skva.dat|", 0) == 0) package_member = i;
  }
  ASSERT_LT(package_member, members.size());
  listing.Write("check/skva.dat", listing.Read("member" + std::to_string(package_member)));
  SKVA_Server_Settings::SettingAggregation package;
  ASSERT_TRUE(package::ReadPackageDataFile(listing.Wide("check/"), u"test", &package).ok());
  EXPECT_EQ(package.original_skva_ver(), 10.6);
  EXPECT_EQ(package.original_servicepack_ver(), 2);
  EXPECT_EQ(package.scanconfigs_size(), 2);
}

TEST_F(DialogWindowTest, ArchivePathsThatCannotBeWrittenSayWhyAndLeaveTheDialogUsable) {
  // The first-start path names a folder: asked to overwrite it, the export
  // fails with an error box that names the path and the system's reason, and
  // the folder stays.
  dir_.MakeFolder("C:/SkvaMigrate.zip");
  ui_.QueueAnswer(QMessageBox::Yes);
  Button(kIdcExport)->click();
  ASSERT_EQ(ui_.boxes().size(), 2u);
  EXPECT_EQ(ui_.boxes()[0].text, Message(platform::kMsgArchiveExists, u"C:\\SkvaMigrate.zip"));
  EXPECT_EQ(ui_.boxes()[1].text.toStdU16String(),
            u"Unable to continue. \nUnable to write the data file C:\\SkvaMigrate.zip: Is a "
            u"directory. \nSelect another path and try again.");
  EXPECT_EQ(ui_.boxes()[1].icon, QMessageBox::Critical);
  EXPECT_TRUE(QFileInfo(Folder() + "/C:/SkvaMigrate.zip").isDir());
  ExpectButtonsEnabled();

  // A path below a file cannot be created, not even by the superuser.
  dir_.Write("file.txt", "text");
  Browse("file.txt/out.zip");
  ui_.Clear();
  Button(kIdcExport)->click();
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_TRUE(ui_.boxes()[0].text.contains("file.txt/out.zip: Not a directory."));
  ExpectButtonsEnabled();

  // The dialog goes on working. Without a database service the archive is
  // written, with a warning in place of the success message.
  Browse("good.zip");
  ui_.Clear();
  Button(kIdcExport)->click();
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].icon, QMessageBox::Warning);
  EXPECT_EQ(ui_.boxes()[0].text,
            Message(platform::kMsgNoDomainsExported, (Folder() + "/good.zip").toStdU16String()));
  EXPECT_TRUE(dir_.Exists("good.zip"));
}

TEST_F(DialogWindowTest, AnImportThatFailsHalfWayReenablesTheButtons) {
  // A well-formed archive whose package is damaged: the archive is refused
  // before anything is extracted.
  ASSERT_TRUE(zip_testing::WriteWithPython(dir_, dir_.Native("broken.zip"),
                                           "z.writestr('skva.dat', b'12x\\x00garbage')"));
  Browse("broken.zip");
  PaintRecorder paints;
  Button(kIdcImport)->installEventFilter(&paints);
  std::vector<bool> painted_when_the_import_started;
  operations_.on_start_ = [&] { painted_when_the_import_started = paints.enabled_; };
  std::vector<bool> import_enabled;
  ui_.OnEachBox([&](const qt_testing::AnsweredUserInterface::Box&) {
    import_enabled.push_back(Button(kIdcImport)->isEnabled());
  });
  ui_.QueueAnswer(QMessageBox::Yes);
  Button(kIdcImport)->click();

  ASSERT_EQ(ui_.boxes().size(), 3u);
  EXPECT_EQ(ui_.boxes()[0].text, Message(platform::kMsgImportWarning));
  EXPECT_EQ(ui_.boxes()[0].icon, QMessageBox::Question);
  EXPECT_EQ(ui_.boxes()[1].text, Message(platform::kMsgDataFileCorrupted));
  EXPECT_EQ(ui_.boxes()[1].icon, QMessageBox::Critical);
  // Then why, in the dialog's own box.
  EXPECT_TRUE(ui_.boxes()[2].text.startsWith("The data file " + Folder() +
                                             "/broken.zip was not "
                                             "imported: "));
  EXPECT_TRUE(ui_.boxes()[2].text.endsWith("Nothing was changed on this server."));
  EXPECT_EQ(ui_.boxes()[2].icon, QMessageBox::Critical);
  // The messages came while the buttons were disabled; afterwards they are
  // enabled again.
  EXPECT_EQ(import_enabled, (std::vector<bool>{true, false, false}));
  ExpectButtonsEnabled();
  // The window was painted with the buttons disabled before the import ran,
  // and is painted again once it has returned.
  EXPECT_EQ(painted_when_the_import_started, std::vector<bool>{false});
  QApplication::processEvents();
  EXPECT_TRUE(paints.enabled_.back());
}

// Records each text the status line was painted with (once, however often
// it was painted) and whether Export and Import were enabled then.
class StatusPaints : public QObject {
 public:
  explicit StatusPaints(CPortelleDlgWindow& window) : window_(window) {
    window.StatusLine()->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    const QString text = window_.StatusLine()->text();
    if (event->type() == QEvent::Paint && !text.isEmpty() &&
        (texts.empty() || texts.back() != text)) {
      texts.push_back(text);
      export_enabled.push_back(window_.Control(kIdcExport)->isEnabled());
      import_enabled.push_back(window_.Control(kIdcImport)->isEnabled());
    }
    return false;
  }
  void Clear() {
    texts.clear();
    export_enabled.clear();
    import_enabled.clear();
  }
  CPortelleDlgWindow& window_;
  std::vector<QString> texts;
  std::vector<bool> export_enabled, import_enabled;
};

TEST_F(DialogWindowTest, TheStatusLineShowsTheProgressWhileTheWindowKeepsPainting) {
  // Each report is a second after the one before: every one is shown.
  uint32_t now = 0;
  window_->SetProgressClockForTesting([&now] { return now += 1000; });
  testing_support::DbServiceStandIn stand_in;
  ASSERT_TRUE(stand_in.Start(R"({"domains": [
    {"uid": "a", "entry": "Sales", "name": "root\\Sales"},
    {"uid": "b", "parent": "a", "entry": "PC-B"},
    {"uid": "c", "entry": "PC-C"}]})"))
      << stand_in.service().standard_error();
  EXPECT_TRUE(window_->StatusLine()->text().isEmpty());
  EXPECT_TRUE(window_->rect().contains(window_->StatusLine()->geometry()));

  // Export: the walk's count without a total; the buttons stay enabled.
  Browse("export.zip");
  StatusPaints paints(*window_);
  std::vector<QString> status_at_boxes;
  ui_.OnEachBox([&](const qt_testing::AnsweredUserInterface::Box&) {
    status_at_boxes.push_back(window_->StatusLine()->text());
  });
  Button(kIdcExport)->click();
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].icon, QMessageBox::Information);
  ASSERT_EQ(paints.texts.size(), 4u);
  EXPECT_EQ(paints.texts[0], "Exporting: 0 domains done, 0:01 elapsed");
  EXPECT_EQ(paints.texts[3], "Exporting: 3 domains done, 0:04 elapsed");
  EXPECT_EQ(paints.export_enabled, std::vector<bool>(4, true));
  // The outcome is shown once the status line is empty again.
  EXPECT_EQ(status_at_boxes, std::vector<QString>{""});

  // Import of that archive into the same server: its domains exist, so they
  // are left alone; the count runs against the package's total while the
  // buttons are disabled.
  paints.Clear();
  ui_.Clear();
  status_at_boxes.clear();
  ui_.QueueAnswer(QMessageBox::Yes);
  Button(kIdcImport)->click();
  EXPECT_EQ(stand_in.service().Stop(), 0);
  ASSERT_EQ(ui_.boxes().size(), 3u);
  EXPECT_EQ(ui_.boxes()[0].text, Message(platform::kMsgImportWarning));
  EXPECT_EQ(ui_.boxes()[1].text,
            Message(platform::kMsgDuplicateDomains, u"DuplicateDomainList.txt"));
  EXPECT_EQ(ui_.boxes()[2].text, Message(platform::kMsgToolSucceeded));
  EXPECT_EQ(status_at_boxes, std::vector<QString>(3, ""));
  ASSERT_EQ(paints.texts.size(), 4u);
  EXPECT_EQ(paints.texts[0], "Importing: 0 of 3 domains done, 0:01 elapsed");
  EXPECT_EQ(paints.texts[3], "Importing: 3 of 3 domains done, 0:04 elapsed");
  EXPECT_EQ(paints.import_enabled, std::vector<bool>(4, false));
  ExpectButtonsEnabled();
}

}  // namespace
