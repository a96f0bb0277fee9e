#include "app/ProgressDisplay.h"

#include <algorithm>
#include <optional>

#include "platform/console.h"
#include "platform/format.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "platform/user_interface.h"

std::u16string ElapsedText(uint32_t milliseconds) {
  const uint32_t seconds = milliseconds / 1000;
  const int32_t hours = static_cast<int32_t>(seconds / 3600);
  const int32_t minutes = static_cast<int32_t>(seconds / 60 % 60);
  const int32_t rest = static_cast<int32_t>(seconds % 60);
  if (hours > 0) return platform::Format(u"%d:%02d:%02d", hours, minutes, rest);
  return platform::Format(u"%d:%02d", minutes, rest);
}

ProgressMeter::ProgressMeter(int operation_id, ProgressTickSource ticks)
    : operation_id_(operation_id), ticks_(std::move(ticks)), start_(ticks_()) {}

bool ProgressMeter::Report(int done, int total) {
  const uint32_t now = ticks_();
  done_ = done;
  total_ = total;
  // Unsigned differences stay right across the tick count's wrap.
  elapsed_ = now - start_;
  const bool last = total != platform::ProgressObserver::kUnknownTotal && done >= total;
  if (shown_any_ && !last && now - last_shown_ < kMinIntervalMs) return false;
  shown_any_ = true;
  last_shown_ = now;
  return true;
}

std::u16string ProgressMeter::Text() const {
  std::u16string count = platform::Format(u"%d", done_);
  if (total_ != platform::ProgressObserver::kUnknownTotal) {
    count = platform::FormatMessageText(platform::AppMessage(
        platform::kMsgProgressCountOfTotal, count, platform::Format(u"%d", total_)));
  }
  return platform::FormatMessageText(platform::AppMessage(
      platform::kMsgProgressDomainsDone, std::u16string(platform::LoadMessageText(operation_id_)),
      count, ElapsedText(elapsed_)));
}

ConsoleProgressLine::ConsoleProgressLine(int operation_id, Writer write, ProgressTickSource ticks)
    : meter_(operation_id, std::move(ticks)), write_(std::move(write)) {}

void ConsoleProgressLine::OnDomainsDone(int done, int total) {
  if (!meter_.Report(done, total)) return;
  std::u16string line = u"\r" + meter_.Text();
  const size_t width = line.size() - 1;
  // A shorter text blanks the rest of the longer one before it.
  if (width < width_) line.append(width_ - width, u' ');
  width_ = std::max(width_, width);
  write_(line);
}

void ConsoleProgressLine::Clear() {
  if (width_ == 0) return;
  write_(u"\r" + std::u16string(width_, u' ') + u"\r");
  width_ = 0;
}

// Clears the line before each message box, then shows it as the interface
// that was current before.
class TerminalProgress::ClearingUserInterface : public platform::UserInterface {
 public:
  explicit ClearingUserInterface(ConsoleProgressLine& line)
      : line_(line), next_(platform::CurrentUserInterface()), installed_(this) {}

  platform::MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                                      platform::MessageIcon icon,
                                      platform::MessageButtons buttons) override {
    line_.Clear();
    return next_.ShowMessage(caption, text, icon, buttons);
  }
  std::optional<std::u16string> ChooseFile(std::u16string_view initial_path,
                                           std::u16string_view filter) override {
    line_.Clear();
    return next_.ChooseFile(initial_path, filter);
  }

 private:
  ConsoleProgressLine& line_;
  platform::UserInterface& next_;
  platform::ScopedUserInterface installed_;
};

namespace {

std::unique_ptr<ConsoleProgressLine> LineOnTerminal(int operation_id) {
  if (!platform::ConsoleErrorIsTerminal()) return nullptr;
  return std::make_unique<ConsoleProgressLine>(
      operation_id, [](std::u16string_view text) { platform::ConsoleWriteError(text); },
      platform::GetTickCount);
}

}  // namespace

TerminalProgress::TerminalProgress(int operation_id)
    : TerminalProgress(LineOnTerminal(operation_id)) {}

TerminalProgress::TerminalProgress(std::unique_ptr<ConsoleProgressLine> line)
    : line_(std::move(line)) {
  if (line_) ui_ = std::make_unique<ClearingUserInterface>(*line_);
}

TerminalProgress::~TerminalProgress() {
  ui_.reset();
  if (line_) line_->Clear();
}
