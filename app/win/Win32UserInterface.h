// CWin32UserInterface: the message boxes and the open-file dialog of the
// Windows program, with the system's own MessageBoxW and GetOpenFileNameW.
#ifndef PORTELLE_APP_WIN_WIN32USERINTERFACE_H_
#define PORTELLE_APP_WIN_WIN32USERINTERFACE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/user_interface.h"

class CWin32UserInterface : public platform::UserInterface {
 public:
  // A modal MessageBoxW owned by the active window (the main dialog while it
  // runs). When no box can be shown — no window station or display — the
  // caption and text go to standard error instead, so that the message is
  // not lost, and a question is answered No.
  platform::MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                                      platform::MessageIcon icon,
                                      platform::MessageButtons buttons) override;

  // The system's open-file dialog with `initial_path` as the initial file
  // name and `filter` as its filter list, without option flags that would
  // demand an existing file. Empty on cancel, or when it cannot be shown
  // (the reason then goes to standard error).
  std::optional<std::u16string> ChooseFile(std::u16string_view initial_path,
                                           std::u16string_view filter) override;
};

// The MessageBoxW style of an icon and a set of buttons.
uint32_t MessageBoxStyle(platform::MessageIcon icon, platform::MessageButtons buttons);

// A filter in the form the framework takes — description and pattern pairs,
// each ended by '|' ("Zip Files (*.zip)|*.zip|") — as the open-file dialog
// takes it: each part ended by a NUL and the list by a second NUL. A list
// without its final '|' is ended all the same.
std::u16string OpenFileFilter(std::u16string_view filter);

#endif  // PORTELLE_APP_WIN_WIN32USERINTERFACE_H_
