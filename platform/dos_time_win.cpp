// DOS times on Windows. The local time comes from the C runtime
// (_localtime64_s, _mktime64) rather than FileTimeToLocalFileTime: the C
// runtime honours TZ, as the POSIX side does, and applies the daylight-saving
// rule of the date itself instead of today's bias; without TZ it takes the
// system's time zone. The packing is FileTimeToDosDateTime's.
#include <time.h>
#include <windows.h>

#include "platform/dos_time.h"

namespace platform {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
// 100 ns units from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000;

// Floor division, so that times before 1970 fall into the right second.
int64_t SecondsOf(int64_t file_time) {
  int64_t seconds = file_time / kNanosecondsPerSecond;
  if (file_time % kNanosecondsPerSecond < 0) --seconds;
  return seconds;
}

}  // namespace

bool FileTimeToDosDateTime(int64_t file_time, uint16_t* dos_date, uint16_t* dos_time) {
  ::_tzset();  // a TZ changed since the last call counts
  const __time64_t seconds = SecondsOf(file_time);
  struct tm local = {};
  // Times before 1970 are refused by the C runtime; the format starts in
  // 1980 anyway.
  if (seconds < 0 || ::_localtime64_s(&local, &seconds) != 0) return false;
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return false;
  // FileTimeToDosDateTime packs the local fields the same way (seconds / 2);
  // going through a SYSTEMTIME keeps to the system's packing.
  SYSTEMTIME fields = {};
  fields.wYear = static_cast<WORD>(year);
  fields.wMonth = static_cast<WORD>(local.tm_mon + 1);
  fields.wDay = static_cast<WORD>(local.tm_mday);
  fields.wHour = static_cast<WORD>(local.tm_hour);
  fields.wMinute = static_cast<WORD>(local.tm_min);
  fields.wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
  FILETIME local_time;
  WORD date = 0;
  WORD time = 0;
  if (!::SystemTimeToFileTime(&fields, &local_time) ||
      !::FileTimeToDosDateTime(&local_time, &date, &time)) {
    return false;
  }
  *dos_date = date;
  *dos_time = time;
  return true;
}

bool DosDateTimeToFileTime(uint16_t dos_date, uint16_t dos_time, int64_t* file_time) {
  struct tm local = {};
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
  ::_tzset();
  const __time64_t seconds = ::_mktime64(&local);
  if (seconds == static_cast<__time64_t>(-1)) return false;
  // _mktime64 carries a day beyond the month's end (February 30) into the
  // next month; such a date does not exist.
  if (local.tm_mon != month || local.tm_mday != day) return false;
  *file_time = static_cast<int64_t>(seconds) * kNanosecondsPerSecond;
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
