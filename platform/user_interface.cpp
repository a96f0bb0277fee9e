#include "platform/user_interface.h"

#include <cstdio>

#include "platform/text.h"

namespace platform {
namespace {

UserInterface* g_installed = nullptr;

}  // namespace

UserInterface& CurrentUserInterface() {
  static StderrUserInterface fallback;
  return g_installed != nullptr ? *g_installed : fallback;
}

void InstallUserInterface(UserInterface* ui) { g_installed = ui; }

ScopedUserInterface::ScopedUserInterface(UserInterface* ui) : previous_(g_installed) {
  g_installed = ui;
}

ScopedUserInterface::~ScopedUserInterface() { g_installed = previous_; }

MessageAnswer StderrUserInterface::ShowMessage(std::u16string_view caption,
                                               std::u16string_view text, MessageIcon /*icon*/,
                                               MessageButtons buttons) {
  const std::string line = Utf16ToUtf8(caption) + ": " + Utf16ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}

std::optional<std::u16string> StderrUserInterface::ChooseFile(std::u16string_view,
                                                              std::u16string_view) {
  return std::nullopt;
}

}  // namespace platform
