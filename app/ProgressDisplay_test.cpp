#include "app/ProgressDisplay.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/string_table.h"
#include "platform/testing/recording_user_interface.h"
#include "platform/text.h"
#include "platform/user_interface.h"

namespace {

constexpr int kUnknown = platform::ProgressObserver::kUnknownTotal;

// A clock the test moves by hand.
struct FakeClock {
  uint32_t now = 0;
  ProgressTickSource source() {
    return [this] { return now; };
  }
};

std::string Narrow(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

TEST(ProgressTextTest, ElapsedTimeInMinutesThenHours) {
  EXPECT_EQ(ElapsedText(0), u"0:00");
  EXPECT_EQ(ElapsedText(999), u"0:00");
  EXPECT_EQ(ElapsedText(61'000), u"1:01");
  EXPECT_EQ(ElapsedText(3'599'999), u"59:59");
  EXPECT_EQ(ElapsedText(3'723'000), u"1:02:03");
}

TEST(ProgressTextTest, TheLineNamesTheOperationTheCountAndTheTotalWhenKnown) {
  FakeClock clock;
  clock.now = 4'000'000'000u;  // the elapsed time is right across the wrap
  ProgressMeter exporting(platform::kMsgProgressExporting, clock.source());
  clock.now += 400'000'000u;
  exporting.Report(12, kUnknown);
  EXPECT_EQ(Narrow(exporting.Text()), "Exporting: 12 domains done, 111:06:40 elapsed");

  ProgressMeter importing(platform::kMsgProgressImporting, clock.source());
  clock.now += 5'000;
  importing.Report(3, 10);
  EXPECT_EQ(Narrow(importing.Text()), "Importing: 3 of 10 domains done, 0:05 elapsed");
}

TEST(ProgressMeterTest, AtMostOneLineInEachIntervalButAlwaysTheFirstAndTheLast) {
  FakeClock clock;
  ProgressMeter meter(platform::kMsgProgressImporting, clock.source());
  EXPECT_TRUE(meter.Report(0, 4));
  clock.now += ProgressMeter::kMinIntervalMs - 1;
  EXPECT_FALSE(meter.Report(1, 4));
  EXPECT_FALSE(meter.Report(2, 4));
  clock.now += 1;
  EXPECT_TRUE(meter.Report(3, 4));
  EXPECT_EQ(Narrow(meter.Text()), "Importing: 3 of 4 domains done, 0:00 elapsed");
  EXPECT_TRUE(meter.Report(4, 4));  // the last one, however soon

  // Without a total there is no last one to force.
  ProgressMeter walk(platform::kMsgProgressExporting, clock.source());
  EXPECT_TRUE(walk.Report(0, kUnknown));
  EXPECT_FALSE(walk.Report(1, kUnknown));
  clock.now += 10 * ProgressMeter::kMinIntervalMs;
  EXPECT_TRUE(walk.Report(2, kUnknown));
}

class ConsoleProgressLineTest : public testing::Test {
 protected:
  std::unique_ptr<ConsoleProgressLine> MakeLine(int operation = platform::kMsgProgressImporting) {
    return std::make_unique<ConsoleProgressLine>(
        operation, [this](std::u16string_view text) { written_ += Narrow(std::u16string(text)); },
        clock_.source());
  }

  FakeClock clock_;
  std::string written_;
};

TEST_F(ConsoleProgressLineTest, RewritesOneLineInPlaceAndBlanksItAtTheEnd) {
  auto line = MakeLine();
  line->Clear();  // nothing shown, nothing to clear
  EXPECT_EQ(written_, "");
  line->OnDomainsDone(0, 100);
  line->OnDomainsDone(1, 100);  // too soon: dropped
  clock_.now += 1000;
  line->OnDomainsDone(99, 100);
  line->OnDomainsDone(100, 100);
  const std::string first = "Importing: 0 of 100 domains done, 0:00 elapsed";
  const std::string blank(first.size() + 2, ' ');  // the widest: "100 of 100"
  EXPECT_EQ(written_, "\r" + first +               //
                          "\rImporting: 99 of 100 domains done, 0:01 elapsed" +  //
                          "\rImporting: 100 of 100 domains done, 0:01 elapsed");
  written_.clear();
  line->Clear();
  EXPECT_EQ(written_, "\r" + blank + "\r");
  written_.clear();
  line->Clear();
  EXPECT_EQ(written_, "");
}

TEST_F(ConsoleProgressLineTest, AShorterTextBlanksWhatTheLongerOneLeft) {
  auto line = MakeLine(platform::kMsgProgressExporting);
  line->OnDomainsDone(12345, kUnknown);
  clock_.now += ProgressMeter::kMinIntervalMs;
  line->OnDomainsDone(7, kUnknown);
  EXPECT_EQ(written_,
            "\rExporting: 12345 domains done, 0:00 elapsed"
            "\rExporting: 7 domains done, 0:00 elapsed    ");
}

TEST_F(ConsoleProgressLineTest, AMessageBoxClearsTheLineFirstAndTheEndClearsItToo) {
  platform::RecordingUserInterface recording;
  platform::ScopedUserInterface installed(&recording);
  {
    TerminalProgress progress(MakeLine());
    ASSERT_NE(progress.observer(), nullptr);
    progress.observer()->OnDomainsDone(0, 2);
    const size_t shown = written_.size();
    platform::ShowAppMessage(platform::kMsgDatabaseImportFailed, platform::MessageIcon::kError);
    ASSERT_EQ(recording.messages().size(), 1u);
    EXPECT_EQ(written_.substr(shown), "\r" + std::string(shown - 1, ' ') + "\r");
    progress.observer()->OnDomainsDone(2, 2);
    written_.clear();
  }
  EXPECT_EQ(written_.front(), '\r');
  EXPECT_EQ(written_.back(), '\r');
  // The interface current before is current again.
  EXPECT_EQ(&platform::CurrentUserInterface(), &recording);
}

TEST(TerminalProgressTest, WithoutALineThereIsNoObserverAndTheInterfaceStays) {
  platform::RecordingUserInterface recording;
  platform::ScopedUserInterface installed(&recording);
  TerminalProgress progress(nullptr);
  EXPECT_EQ(progress.observer(), nullptr);
  EXPECT_EQ(&platform::CurrentUserInterface(), &recording);
}

}  // namespace
