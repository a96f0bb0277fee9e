// DOS dates and times, the packed local time that zip archives keep for each
// member: date = (year - 1980) << 9 | month << 5 | day, time = hour << 11 |
// minute << 5 | seconds / 2. File times are nanoseconds since 1970-01-01 UTC.
#ifndef PORTELLE_PLATFORM_DOS_TIME_H_
#define PORTELLE_PLATFORM_DOS_TIME_H_

#include <cstdint>
#include <ctime>

namespace platform {

// The DOS date and time of a file time in the local time zone, seconds
// rounded down to even. False when the local year lies outside 1980..2107,
// which the format cannot hold.
bool FileTimeToDosDateTime(int64_t file_time, uint16_t* dos_date, uint16_t* dos_time);

// The DOS date and time of a file time packed as zip archives keep them,
// date << 16 | time; 1980-01-01 00:00:00 for a time the format cannot hold.
inline uint32_t PackedDosDateTime(int64_t file_time) {
  uint16_t dos_date = 0;
  uint16_t dos_time = 0;
  if (!FileTimeToDosDateTime(file_time, &dos_date, &dos_time)) return 0x00210000;
  return static_cast<uint32_t>(dos_date) << 16 | dos_time;
}

// The file time of a DOS date and time taken as local time. False when a
// field is out of range (month 0 or above 12, a day the month does not have,
// hour above 23, minute above 59, seconds above 59), as Windows refuses such values too.
bool DosDateTimeToFileTime(uint16_t dos_date, uint16_t dos_time, int64_t* file_time);

// The current time as a file time.
int64_t CurrentFileTime();

namespace internal {

// The system's local-time conversions the DOS times rest on, one per system:
// the local calendar fields of `seconds` since 1970-01-01 UTC, and the seconds
// of local calendar fields (normalised as mktime does, the zone's rules
// deciding daylight saving). Both honour TZ. False when the system cannot
// convert.
bool LocalTimeOf(int64_t seconds, std::tm* local);
bool SecondsOfLocalTime(std::tm* local, int64_t* seconds);

}  // namespace internal

}  // namespace platform

#endif  // PORTELLE_PLATFORM_DOS_TIME_H_
