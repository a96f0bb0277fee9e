// How the progress of an export or import is shown: ProgressMeter turns the
// engine's reports into one line of text and decides when it is worth
// showing; ConsoleProgressLine keeps that line on a terminal, rewritten in
// place; TerminalProgress puts one on standard error for the length of an
// operation, when standard error is a terminal.
#ifndef PORTELLE_APP_PROGRESSDISPLAY_H_
#define PORTELLE_APP_PROGRESSDISPLAY_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/progress.h"

// Milliseconds of a monotonic clock, wrapping at 2^32
// (platform::GetTickCount unless a test gives its own).
using ProgressTickSource = std::function<uint32_t()>;

// Elapsed time as m:ss, or h:mm:ss from one hour on.
std::u16string ElapsedText(uint32_t milliseconds);

class ProgressMeter {
 public:
  // A line rewritten more often than this cannot be read, and costs the
  // work time on a slow terminal.
  static constexpr uint32_t kMinIntervalMs = 100;

  // `operation_id`: kMsgProgressExporting or kMsgProgressImporting. The
  // elapsed time counts from construction.
  ProgressMeter(int operation_id, ProgressTickSource ticks);

  // Takes a report; true when it should be shown now: the first one, the
  // last one of a known total, and any other once kMinIntervalMs have
  // passed since the last one shown.
  bool Report(int done, int total);
  // The last report as one line: "Importing: 3 of 10 domains done, 0:05
  // elapsed"; the total is left out when it is not known.
  std::u16string Text() const;

 private:
  int operation_id_;
  ProgressTickSource ticks_;
  uint32_t start_;
  uint32_t last_shown_ = 0;
  bool shown_any_ = false;
  int done_ = 0;
  int total_ = platform::ProgressObserver::kUnknownTotal;
  uint32_t elapsed_ = 0;
};

// One line of a terminal, rewritten in place with a carriage return as the
// reports come, never more often than ProgressMeter allows.
class ConsoleProgressLine : public platform::ProgressObserver {
 public:
  using Writer = std::function<void(std::u16string_view)>;

  ConsoleProgressLine(int operation_id, Writer write, ProgressTickSource ticks);

  void OnDomainsDone(int done, int total) override;
  // Blanks the line and returns to its start, so that what is written next
  // reads as if no progress had been shown. Nothing when nothing is shown.
  void Clear();

 private:
  ProgressMeter meter_;
  Writer write_;
  size_t width_ = 0;  // characters on the line now
};

// A progress line on standard error for the lifetime of this object, when
// standard error is a terminal; nothing on a pipe or a file. While it lives,
// a message box (standard error's text without a display) clears the line
// first; the destructor clears it, so that the lines that follow are
// exactly those written without it.
class TerminalProgress {
 public:
  explicit TerminalProgress(int operation_id);
  // `line` (null for none) in place of the terminal's own; for tests.
  explicit TerminalProgress(std::unique_ptr<ConsoleProgressLine> line);
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  // What the engine reports to; null when no line is shown.
  platform::ProgressObserver* observer() { return line_.get(); }

 private:
  class ClearingUserInterface;

  std::unique_ptr<ConsoleProgressLine> line_;
  std::unique_ptr<ClearingUserInterface> ui_;
};

#endif  // PORTELLE_APP_PROGRESSDISPLAY_H_
