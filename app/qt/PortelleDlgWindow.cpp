#include "app/qt/PortelleDlgWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "platform/string_table.h"
#include "platform/system.h"

namespace {

enum class ControlKind { kStatic, kButton, kEdit };

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char16_t* text;
  int x, y, width, height;  // dialog units
};

// Dialog template 102, in its tab order.
constexpr ControlTemplate kTemplate[] = {
    {kIdcVersion, ControlKind::kStatic, u"", 19, 15, 149, 8},
    {kIdcExport, ControlKind::kButton, u"&Export", 250, 21, 50, 14},
    {kIdcPathLabel, ControlKind::kStatic, u"Export / Import file path:", 19, 29, 138, 12},
    {kIdcArchivePath, ControlKind::kEdit, u"", 17, 45, 173, 14},
    {kIdcBrowse, ControlKind::kButton, u"&Browse...", 198, 45, 45, 14},
    {kIdcImport, ControlKind::kButton, u"&Import", 250, 45, 50, 14},
    {kIdcClose, ControlKind::kButton, u"&Close", 250, 68, 50, 14},
};
constexpr int kTemplateWidth = 315;
constexpr int kTemplateHeight = 112;
// The progress of a running operation, in the free band below the buttons.
constexpr QRect kStatusLineUnits(19, 92, 281, 8);

QString ToQt(const std::u16string& text) { return QString::fromStdU16String(text); }

}  // namespace

CPortelleDlgWindow::StatusLineProgress::StatusLineProgress() : m_ticks(platform::GetTickCount) {}

void CPortelleDlgWindow::StatusLineProgress::Begin(QLabel* status, int operation_id) {
  m_status = status;
  m_meter = std::make_unique<ProgressMeter>(operation_id, m_ticks);
}

void CPortelleDlgWindow::StatusLineProgress::OnDomainsDone(int done, int total) {
  if (m_meter == nullptr || !m_meter->Report(done, total)) return;
  m_status->setText(ToQt(m_meter->Text()));
  // Paints the new text and whatever else needs it, and keeps the window
  // answering the window system; clicks and keys wait for the operation's
  // end, so that no handler runs inside another.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CPortelleDlgWindow::StatusLineProgress::End() {
  m_meter.reset();
  if (m_status != nullptr) m_status->clear();
}

OperationOutcome CPortelleDlgWindow::PaintFirstOperations::Export(
    double server_version, const std::u16string& install_path, int32_t service_pack, int32_t patch,
    const std::u16string& archive) {
  m_window.m_progress.Begin(m_window.m_status, platform::kMsgProgressExporting);
  m_window.repaint();
  OperationOutcome outcome =
      m_operations.Export(server_version, install_path, service_pack, patch, archive);
  m_window.m_progress.End();
  return outcome;
}

OperationOutcome CPortelleDlgWindow::PaintFirstOperations::Import(
    const std::u16string& install_path, const std::u16string& archive) {
  m_window.m_progress.Begin(m_window.m_status, platform::kMsgProgressImporting);
  m_window.repaint();
  OperationOutcome outcome = m_operations.Import(install_path, archive);
  m_window.m_progress.End();
  return outcome;
}

CPortelleDlgWindow::CPortelleDlgWindow(IPortelleOperations& operations, double server_version,
                                       int32_t service_pack, int32_t patch,
                                       std::u16string install_path, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_operations(*this, operations),
      m_dlg(*this, m_operations) {
  setWindowTitle(QString::fromUtf16(platform::kApplicationTitle.data(),
                                    static_cast<qsizetype>(platform::kApplicationTitle.size())));
  setWindowIcon(ApplicationIcon());
  QFont dialog_font = QApplication::font();
  dialog_font.setPointSize(kFontPointSize);
  setFont(dialog_font);
  m_base = BaseUnitsOf(font());
  setFixedSize(MapDialogRect(QRect(0, 0, kTemplateWidth, kTemplateHeight), m_base).size());
  CreateControls();
  m_dlg.SetServerInfo(server_version, service_pack, patch, std::move(install_path));
  m_dlg.OnInitDialog();
}

void CPortelleDlgWindow::CreateControls() {
  for (const ControlTemplate& t : kTemplate) {
    QWidget* widget = nullptr;
    switch (t.kind) {
      case ControlKind::kStatic: {
        auto* label = new QLabel(ToQt(t.text), this);
        label->setTextFormat(Qt::PlainText);
        // Static text starts at its top left corner, as in the template.
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = label;
        break;
      }
      case ControlKind::kEdit: {
        // A line edit scrolls horizontally through a text wider than itself.
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        // Only Browse changes the path: the field has the dialog's colour,
        // as read-only edits have, so that it does not invite typing.
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
        widget = edit;
        break;
      }
      case ControlKind::kButton: {
        auto* button = new QPushButton(ToQt(t.text), this);
        switch (t.id) {
          case kIdcExport:
            connect(button, &QPushButton::clicked, this,
                    [this] { m_dlg.OnBnClickedButtonExport(); });
            break;
          case kIdcBrowse:
            connect(button, &QPushButton::clicked, this,
                    [this] { m_dlg.OnBnClickedButtonSelectFolder(); });
            break;
          case kIdcImport:
            connect(button, &QPushButton::clicked, this,
                    [this] { m_dlg.OnBnClickedButtonImport(); });
            break;
          case kIdcClose:
            // The cancel button: it ends the dialog as Escape does.
            connect(button, &QPushButton::clicked, this, &QDialog::reject);
            break;
        }
        widget = button;
        break;
      }
    }
    widget->setGeometry(MapDialogRect(QRect(t.x, t.y, t.width, t.height), m_base));
    m_controls[t.id] = widget;
  }
  m_status = new QLabel(this);
  m_status->setTextFormat(Qt::PlainText);
  m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_status->setGeometry(MapDialogRect(kStatusLineUnits, m_base));
}

QIcon CPortelleDlgWindow::ApplicationIcon() {
  // The icon files are compiled into this library; a static library's
  // resources are registered by hand.
  Q_INIT_RESOURCE(portelle);
  QIcon icon;
  for (const int size : {16, 32, 48, 64}) {
    icon.addFile(QStringLiteral(":/portelle/portelle-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QWidget* CPortelleDlgWindow::Control(int control) const {
  const auto it = m_controls.find(control);
  return it == m_controls.end() ? nullptr : it->second;
}

void CPortelleDlgWindow::SetControlText(int control, const std::u16string& text) {
  QWidget* widget = Control(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQt(text));
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(ToQt(text));
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(ToQt(text));
    // A new text shows from its start, as an edit control shows it.
    edit->setCursorPosition(0);
  }
}

std::u16string CPortelleDlgWindow::GetControlText(int control) const {
  QWidget* widget = Control(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdU16String();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text().toStdU16String();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdU16String();
  return {};
}

void CPortelleDlgWindow::EnableControl(int control, bool enable) {
  if (QWidget* widget = Control(control)) widget->setEnabled(enable);
}
