#include "app/win/Win32UserInterface.h"

// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <algorithm>
#include <vector>

#include "platform/console.h"
#include "platform/format.h"

namespace {

using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The longest path the dialog returns: the long-path limit of the wide
// file functions.
constexpr size_t kMaxChosenPath = 32767;

}  // namespace

uint32_t MessageBoxStyle(MessageIcon icon, MessageButtons buttons) {
  uint32_t style = buttons == MessageButtons::kYesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case MessageIcon::kError:
      style |= MB_ICONERROR;
      break;
    case MessageIcon::kWarning:
      style |= MB_ICONWARNING;
      break;
    case MessageIcon::kInformation:
      style |= MB_ICONINFORMATION;
      break;
    case MessageIcon::kQuestion:
      style |= MB_ICONQUESTION;
      break;
    case MessageIcon::kNone:
      break;
  }
  return style;
}

std::u16string OpenFileFilter(std::u16string_view filter) {
  std::u16string list(filter);
  if (list.empty() || list.back() != u'|') list.push_back(u'|');
  for (char16_t& c : list) {
    if (c == u'|') c = u'\0';
  }
  list.push_back(u'\0');
  return list;
}

MessageAnswer CWin32UserInterface::ShowMessage(std::u16string_view caption,
                                               std::u16string_view text, MessageIcon icon,
                                               MessageButtons buttons) {
  const std::u16string caption_text(caption);
  const std::u16string message_text(text);
  const int answer = MessageBoxW(GetActiveWindow(), Wide(message_text), Wide(caption_text),
                                 MessageBoxStyle(icon, buttons) | MB_SETFOREGROUND);
  if (answer <= 0) {
    // No box could be shown: the message still reaches the user.
    platform::ConsoleWriteError(caption_text + u": " + message_text + u"\n");
    return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
  }
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  return answer == IDYES ? MessageAnswer::kYes : MessageAnswer::kNo;
}

std::optional<std::u16string> CWin32UserInterface::ChooseFile(std::u16string_view initial_path,
                                                              std::u16string_view filter) {
  const std::u16string filter_list = OpenFileFilter(filter);
  std::vector<wchar_t> file(kMaxChosenPath + 1, L'\0');
  std::copy_n(initial_path.begin(), std::min(initial_path.size(), kMaxChosenPath), file.begin());
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = Wide(filter_list);
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  // The framework's own flags only: a name that does not exist yet may be
  // typed, and no default extension is added.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
  if (GetOpenFileNameW(&ofn)) return std::u16string(reinterpret_cast<const char16_t*>(file.data()));
  const DWORD failure = CommDlgExtendedError();
  if (failure != 0) {
    platform::ConsoleWriteError(platform::Format(
        u"Portelle: the open-file dialog cannot be shown (common dialog error 0x%04x).\n",
        static_cast<unsigned>(failure)));
  }
  return std::nullopt;
}
