// Packing and unpacking of DOS dates and times; the local-time conversions
// they rest on are each system's own (dos_time_posix.cpp, dos_time_win.cpp).
#include "platform/dos_time.h"

namespace platform {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

// Floor division, so that times before 1970 fall into the right second.
int64_t SecondsOf(int64_t file_time) {
  int64_t seconds = file_time / kNanosecondsPerSecond;
  if (file_time % kNanosecondsPerSecond < 0) --seconds;
  return seconds;
}

}  // namespace

bool FileTimeToDosDateTime(int64_t file_time, uint16_t* dos_date, uint16_t* dos_time) {
  std::tm local = {};
  if (!internal::LocalTimeOf(SecondsOf(file_time), &local)) return false;
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return false;
  // A leap second is kept as the last second of its minute.
  const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
  *dos_date = static_cast<uint16_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  *dos_time = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | second / 2);
  return true;
}

bool DosDateTimeToFileTime(uint16_t dos_date, uint16_t dos_time, int64_t* file_time) {
  std::tm local = {};
  local.tm_year = (dos_date >> 9) + 1980 - 1900;
  local.tm_mon = ((dos_date >> 5) & 0x0F) - 1;
  local.tm_mday = dos_date & 0x1F;
  local.tm_hour = dos_time >> 11;
  local.tm_min = (dos_time >> 5) & 0x3F;
  local.tm_sec = (dos_time & 0x1F) * 2;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday == 0 || local.tm_hour > 23 ||
      local.tm_min > 59 || local.tm_sec > 59) {
    return false;
  }
  const int month = local.tm_mon;
  const int day = local.tm_mday;
  local.tm_isdst = -1;  // let the zone's rules decide, as a wall-clock time
  int64_t seconds = 0;
  if (!internal::SecondsOfLocalTime(&local, &seconds)) return false;
  // The conversion carries a day beyond the month's end (February 30) into
  // the next month; such a date does not exist.
  if (local.tm_mon != month || local.tm_mday != day) return false;
  *file_time = seconds * kNanosecondsPerSecond;
  return true;
}

}  // namespace platform
