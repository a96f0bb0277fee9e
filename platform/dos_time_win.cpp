// Local time on Windows comes from the C runtime (_localtime64_s,
// _mktime64) rather than FileTimeToLocalFileTime: the C runtime honours TZ,
// as the POSIX side does, and applies the daylight-saving rule of the date
// itself instead of today's bias; without TZ it takes the system's time zone.
#include <time.h>
#include <windows.h>

#include "platform/dos_time.h"

namespace platform {
namespace {

// 100 ns units from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000;

}  // namespace

bool internal::LocalTimeOf(int64_t seconds, std::tm* local) {
  ::_tzset();  // a TZ changed since the last call counts
  // The C runtime refuses times before 1970; DOS times start in 1980 anyway.
  const __time64_t t = seconds;
  return seconds >= 0 && ::_localtime64_s(local, &t) == 0;
}

bool internal::SecondsOfLocalTime(std::tm* local, int64_t* seconds) {
  ::_tzset();
  const __time64_t t = ::_mktime64(local);
  if (t == static_cast<__time64_t>(-1)) return false;
  *seconds = static_cast<int64_t>(t);
  return true;
}

int64_t CurrentFileTime() {
  FILETIME now;
  ::GetSystemTimePreciseAsFileTime(&now);
  const int64_t ticks =
      static_cast<int64_t>(static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime);
  return (ticks - kEpochDifference) * 100;
}

}  // namespace platform
