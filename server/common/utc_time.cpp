#include "server/common/utc_time.h"

#include <chrono>

#include "platform/format.h"

namespace stand_in {
namespace {

// 0001-01-01T00:00:00 and 9999-12-31T23:59:59 in seconds since 1970.
constexpr int64_t kFirstSecond = -62135596800;
constexpr int64_t kLastSecond = 253402300799;

struct Fields {
  int year, month, day, hour, minute, second;
};

Fields Split(int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds time{std::chrono::seconds(seconds)};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
          static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count())};
}

}  // namespace

std::string UtcTimeText(int64_t seconds) {
  if (seconds < kFirstSecond || seconds > kLastSecond) {
    return platform::FormatA("@%lld", static_cast<long long>(seconds));
  }
  const Fields f = Split(seconds);
  return platform::FormatA("%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                           f.minute, f.second);
}

std::string UtcNowText() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  const int64_t seconds = ms / 1000;  // now is after 1970
  const Fields f = Split(seconds);
  return platform::FormatA("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", f.year, f.month, f.day, f.hour,
                           f.minute, f.second, static_cast<int>(ms % 1000));
}

}  // namespace stand_in
