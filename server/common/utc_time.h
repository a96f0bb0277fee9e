// Calendar times in UTC for the stand-ins' logs and journals, computed from
// the civil calendar alone, so that both systems write the same text without
// asking the C runtime (which has no gmtime_r on Windows).
#ifndef PORTELLE_SERVER_COMMON_UTC_TIME_H_
#define PORTELLE_SERVER_COMMON_UTC_TIME_H_

#include <cstdint>
#include <string>

namespace stand_in {

// "YYYY-MM-DD HH:MM:SS" for `seconds` since 1970, or "@seconds" for a time
// outside the years 1 to 9999.
std::string UtcTimeText(int64_t seconds);

// The time now with milliseconds: "2026-01-02T03:04:05.678Z".
std::string UtcNowText();

}  // namespace stand_in

#endif  // PORTELLE_SERVER_COMMON_UTC_TIME_H_
