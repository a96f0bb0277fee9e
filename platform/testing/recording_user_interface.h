// A user interface for tests: it records every message box and answers from
// a queue.
#ifndef PORTELLE_PLATFORM_TESTING_RECORDING_USER_INTERFACE_H_
#define PORTELLE_PLATFORM_TESTING_RECORDING_USER_INTERFACE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user_interface.h"

namespace platform {

// Records every message box and answers from a queue (default: OK for OK
// boxes, No for questions). For tests.
class RecordingUserInterface : public UserInterface {
 public:
  struct Message {
    std::u16string caption;
    std::u16string text;
    MessageIcon icon;
    MessageButtons buttons;
  };

  MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::u16string> ChooseFile(std::u16string_view initial_path,
                                           std::u16string_view filter) override;

  void QueueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  void QueueChosenFile(std::optional<std::u16string> path) { files_.push_back(std::move(path)); }

  const std::vector<Message>& messages() const { return messages_; }
  void Clear() { messages_.clear(); }

 private:
  std::vector<Message> messages_;
  std::vector<MessageAnswer> answers_;
  std::vector<std::optional<std::u16string>> files_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_TESTING_RECORDING_USER_INTERFACE_H_
