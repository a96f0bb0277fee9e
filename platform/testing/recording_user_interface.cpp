#include "platform/testing/recording_user_interface.h"

#include <utility>

namespace platform {

MessageAnswer RecordingUserInterface::ShowMessage(std::u16string_view caption,
                                                  std::u16string_view text, MessageIcon icon,
                                                  MessageButtons buttons) {
  messages_.push_back({std::u16string(caption), std::u16string(text), icon, buttons});
  if (!answers_.empty()) {
    const MessageAnswer answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
  }
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}

std::optional<std::u16string> RecordingUserInterface::ChooseFile(std::u16string_view,
                                                                 std::u16string_view) {
  if (files_.empty()) return std::nullopt;
  std::optional<std::u16string> chosen = std::move(files_.front());
  files_.erase(files_.begin());
  return chosen;
}

}  // namespace platform
