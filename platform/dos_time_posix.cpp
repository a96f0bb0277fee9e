// Local time on POSIX systems: localtime_r and mktime, after tzset so that a
// changed TZ counts.
#include <time.h>

#include "platform/dos_time.h"

namespace platform {

bool internal::LocalTimeOf(int64_t seconds, std::tm* local) {
  ::tzset();
  const time_t t = static_cast<time_t>(seconds);
  return ::localtime_r(&t, local) != nullptr;
}

bool internal::SecondsOfLocalTime(std::tm* local, int64_t* seconds) {
  ::tzset();
  const time_t t = ::mktime(local);
  if (t == static_cast<time_t>(-1)) return false;
  *seconds = static_cast<int64_t>(t);
  return true;
}

int64_t CurrentFileTime() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace platform
