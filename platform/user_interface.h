// The one user-interface interface: message boxes and the open-file dialog.
// With a display, the Qt implementation (app/qt/) serves it; without one,
// StderrUserInterface writes each message box to standard error and answers
// every question No. Tests install a RecordingUserInterface
// (platform/testing/recording_user_interface.h).
#ifndef PORTELLE_PLATFORM_USER_INTERFACE_H_
#define PORTELLE_PLATFORM_USER_INTERFACE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class MessageIcon { kNone, kError, kWarning, kInformation, kQuestion };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Shows a modal message box and returns the button chosen.
  virtual MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                                    MessageIcon icon, MessageButtons buttons) = 0;

  // The system's open-file dialog, starting at `initial_path`, offering
  // `filter` (Windows form, "Zip Files (*.zip)|*.zip|"); a name that does not
  // exist yet may be chosen. Empty when the user cancels.
  virtual std::optional<std::u16string> ChooseFile(std::u16string_view initial_path,
                                                   std::u16string_view filter) = 0;
};

// The interface message boxes go to; StderrUserInterface unless one was
// installed. The caller keeps ownership of what it installs.
UserInterface& CurrentUserInterface();
void InstallUserInterface(UserInterface* ui);  // nullptr restores the default

// Installs an interface for the lifetime of this object (tests, the Qt shell).
class ScopedUserInterface {
 public:
  explicit ScopedUserInterface(UserInterface* ui);
  ~ScopedUserInterface();
  ScopedUserInterface(const ScopedUserInterface&) = delete;
  ScopedUserInterface& operator=(const ScopedUserInterface&) = delete;

 private:
  UserInterface* previous_;
};

// Writes "caption: text" to standard error; questions are answered No and no
// file is ever chosen.
class StderrUserInterface : public UserInterface {
 public:
  MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::u16string> ChooseFile(std::u16string_view initial_path,
                                           std::u16string_view filter) override;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_USER_INTERFACE_H_
