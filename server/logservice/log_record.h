// One record of the debug-log client as the log service receives it, and the
// readable line the service writes for it.
//
// On the wire a record is UTF-16LE text ending with a NUL: the tokens
// LOG_WRITE, time (seconds since 1970 UTC), process id, thread id, level,
// source file, source line and text, separated by TABs. The text is the last
// token and may itself hold TABs.
//
// The line of a record:
//   2026-12-08 08:11:52 pid=1234 tid=5678 level=68 PortelleImport:42 [][portelle]...
// with the time in UTC. Control characters of the source file and the text
// are written as \n, \r, \t or \xNN, so that every record stays one line;
// other text is written in UTF-8.
#ifndef PORTELLE_SERVER_LOGSERVICE_LOG_RECORD_H_
#define PORTELLE_SERVER_LOGSERVICE_LOG_RECORD_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace logservice {

struct LogRecord {
  int32_t time = 0;
  uint32_t process_id = 0;
  uint32_t thread_id = 0;
  int32_t level = 0;
  std::u16string source_file;
  int32_t line = 0;
  std::u16string text;
};

// Decodes the bytes received on one connection. False, with *reason saying
// what is wrong, for anything but a whole record: an odd byte count, no NUL at
// the end, another command word, missing tokens, or a number token that is
// not a decimal number in the range of its field.
bool DecodeLogRecord(std::string_view bytes, LogRecord* record, std::string* reason);

// The line for a record, with its line feed.
std::string FormatLogLine(const LogRecord& record);

// The line for bytes that are not a record, with its line feed:
//   2026-12-08 08:11:52 undecodable record (13 bytes, no terminating NUL): LOG_WRITE\t17...
// `received` is the time they arrived (seconds since 1970 UTC); the bytes are
// shown as UTF-16LE text, escaped as in a record's line and cut after
// kUndecodableShownUnits characters.
std::string FormatUndecodableLine(int64_t received, std::string_view bytes,
                                  std::string_view reason);

inline constexpr size_t kUndecodableShownUnits = 4096;

}  // namespace logservice

#endif  // PORTELLE_SERVER_LOGSERVICE_LOG_RECORD_H_
