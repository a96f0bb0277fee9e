#include "app/PortelleDlg.h"

#include <algorithm>
#include <optional>

#include "app/server_info.h"
#include "import/PortelleImport.h"
#include "log/DebugLog.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/user_interface.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleDlg";
// fgetws with a 1024-character buffer reads at most this many per call.
constexpr size_t kLinePiece = 1023;

using platform::MessageButtons;
using platform::MessageIcon;

// The text of a file opened as "r,ccs=UNICODE": a byte-order mark decides
// between UTF-16LE and UTF-8; without one the file is UTF-16LE. Text mode
// reads CR LF as LF.
std::u16string ReadUnicodeText(const std::string& bytes) {
  std::u16string text;
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = platform::Utf8ToUtf16(std::string_view(bytes).substr(3));
  } else {
    const size_t start = bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0 ? 2 : 0;
    text = platform::Utf16LeToText(std::string_view(bytes).substr(start));
  }
  std::u16string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    lines.push_back(text[i]);
  }
  return lines;
}

}  // namespace

int CountReportLines(std::u16string_view path) {
  std::string bytes;
  if (!platform::ReadFile(path, &bytes).ok()) return 0;
  const std::u16string text = ReadUnicodeText(bytes);
  int count = 0;
  // Each read takes up to the next line feed (included) or 1023 characters.
  for (size_t pos = 0; pos < text.size(); ++count) {
    const size_t newline = text.find(u'\n', pos);
    const size_t line_end = newline == std::u16string::npos ? text.size() : newline + 1;
    pos = std::min(line_end, pos + kLinePiece);
  }
  return count;
}

CPortelleDlg::CPortelleDlg(IPortelleDlgView& view, IPortelleOperations& operations)
    : m_view(view), m_operations(operations) {}

void CPortelleDlg::SetServerInfo(double server_version, int32_t service_pack, int32_t patch,
                                 std::u16string install_path) {
  m_dServerVer = server_version;
  m_nServicePackVer = service_pack;
  m_nPatchVer = patch;
  m_wstrServerPath = std::move(install_path);
}

std::u16string CPortelleDlg::VersionLine() const {
  // A wide stream's default: up to six significant digits, no trailing zeros.
  std::u16string line = platform::Format(u"SKVA %g", m_dServerVer);
  if (m_nServicePackVer != 0) platform::FormatAppend(line, u" Service Pack %d", m_nServicePackVer);
  if (m_nPatchVer != 0) platform::FormatAppend(line, u" Patch %d", m_nPatchVer);
  return line;
}

bool CPortelleDlg::OnInitDialog() {
  DEBUG_LOG(68, u"%s - starting migration tool", u"CPortelleDlg::OnInitDialog");
  m_view.SetControlText(kIdcVersion, VersionLine());
  UpdateControls();
  return true;
}

void CPortelleDlg::UpdateControls() {
  if (!m_wstrArchivePath.empty()) m_view.SetControlText(kIdcArchivePath, m_wstrArchivePath);
  // Only a 10.6 SP2 server without patch can import; every supported
  // version can export.
  m_view.EnableControl(kIdcImport,
                       app::CanImportInto(m_dServerVer, m_nServicePackVer, m_nPatchVer));
}

void CPortelleDlg::EnableButtons(bool enable) {
  for (int control : {kIdcImport, kIdcExport, kIdcBrowse, kIdcClose}) {
    m_view.EnableControl(control, enable);
  }
}

void CPortelleDlg::OnBnClickedButtonSelectFolder() {
  const std::optional<std::u16string> chosen =
      platform::CurrentUserInterface().ChooseFile(m_wstrArchivePath, kZipFilter);
  if (!chosen) return;
  m_wstrArchivePath = *chosen;
  DEBUG_LOG(68, u"%s - Data file: [%s]", u"CPortelleDlg::OnBnClickedButtonSelectFolder",
            m_wstrArchivePath);
  m_view.SetControlText(kIdcArchivePath, m_wstrArchivePath);
}

void CPortelleDlg::OnBnClickedButtonExport() {
  if (m_view.GetControlText(kIdcArchivePath).empty()) {
    platform::ShowAppMessage(platform::kMsgDataFileNotSelected, MessageIcon::kWarning);
    return;
  }
  if (platform::PathExists(m_wstrArchivePath) &&
      platform::ShowAppMessage(platform::kMsgArchiveExists, MessageIcon::kQuestion,
                               MessageButtons::kYesNo,
                               m_wstrArchivePath) != platform::MessageAnswer::kYes) {
    return;
  }
  const OperationOutcome outcome = m_operations.Export(
      m_dServerVer, m_wstrServerPath, m_nServicePackVer, m_nPatchVer, m_wstrArchivePath);
  if (!outcome.succeeded) {
    ShowFailure(outcome);
  } else if (!outcome.warning.empty()) {
    platform::CurrentUserInterface().ShowMessage(platform::kApplicationTitle,
                                                 platform::FormatMessageText(outcome.warning),
                                                 MessageIcon::kWarning, MessageButtons::kOk);
  } else {
    // The file actually written: ".Zip" is added to a name without ".zip".
    platform::ShowAppMessage(platform::kMsgExportSucceeded, MessageIcon::kInformation,
                             MessageButtons::kOk, outcome.written_archive);
  }
}

void CPortelleDlg::OnBnClickedButtonImport() {
  if (m_view.GetControlText(kIdcArchivePath).empty()) {
    platform::ShowAppMessage(platform::kMsgDataFileNotSelected, MessageIcon::kWarning);
    return;
  }
  if (platform::ShowAppMessage(platform::kMsgImportWarning, MessageIcon::kQuestion,
                               MessageButtons::kYesNo) != platform::MessageAnswer::kYes) {
    return;
  }
  EnableButtons(false);
  const OperationOutcome outcome = m_operations.Import(m_wstrServerPath, m_wstrArchivePath);
  if (outcome.succeeded) {
    const int duplicates = CountReportLines(CImportSkvaSettings::kDuplicateDomainListName);
    DEBUG_LOG(68, u"%s - Duplicate Domain number --> [%d]",
              u"CPortelleDlg::OnBnClickedButtonImport", duplicates);
    if (duplicates > 0) {
      platform::ShowAppMessage(platform::kMsgDuplicateDomains, MessageIcon::kInformation,
                               MessageButtons::kOk, CImportSkvaSettings::kDuplicateDomainListName);
      platform::ShowAppMessage(platform::kMsgToolSucceeded, MessageIcon::kInformation);
    } else {
      platform::ShowAppMessage(platform::kMsgImportSucceeded, MessageIcon::kInformation,
                               MessageButtons::kOk, m_wstrArchivePath);
    }
    for (const platform::AppMessage& afterword : outcome.afterwords) {
      platform::CurrentUserInterface().ShowMessage(platform::kApplicationTitle,
                                                   platform::FormatMessageText(afterword),
                                                   MessageIcon::kWarning, MessageButtons::kOk);
    }
  } else {
    ShowFailure(outcome);
  }
  EnableButtons(true);
  UpdateControls();
}

void CPortelleDlg::ShowFailure(const OperationOutcome& outcome) {
  if (outcome.failure.empty()) return;  // the engine's own message said it
  platform::CurrentUserInterface().ShowMessage(platform::kApplicationTitle,
                                               platform::FormatMessageText(outcome.failure),
                                               MessageIcon::kError, MessageButtons::kOk);
}
