// The debug log. Every part of the program reports what it does through
// DebugLog: each line is formatted on the spot and sent as one record to the
// server's log service on the pipe "Log_ServerNamePipe". The program keeps no
// log of its own; when the service is absent, lines are dropped (CLogGate).
//
// In a source file:
//   constexpr char16_t kLogSource[] = u"PortelleImport";
//   DEBUG_LOG(68, u"%s - =>ImportScanConfigs()", kFunc);
//
// The format is checked against the arguments at compile time and is not
// evaluated at all while the gate drops lines.
#ifndef PORTELLE_LOG_DEBUGLOG_H_
#define PORTELLE_LOG_DEBUGLOG_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "log/LogGate.h"
#include "platform/format.h"

namespace debug_log {

// The pipe of the log service.
inline constexpr std::u16string_view kLogPipeName = u"Log_ServerNamePipe";
// The longest line text sent, in characters ("[][module]message").
inline constexpr size_t kMaxTextLength = 4095;

// The process-wide gate. Not locked: the program logs from one thread.
CLogGate& ProcessGate();

// Builds the line text and the record and sends it; the gate has said yes.
void WriteLine(int level, std::u16string_view source_file, int line, std::u16string_view message);
// The narrow form: the message is cut in narrow characters and converted
// from the system code page afterwards.
void WriteLineA(int level, std::string_view source_file, int line, std::string_view message);

// The record for one line, as sent (without the terminating NUL). Exposed for
// tests and for the log service stand-in, which decodes the same layout.
std::u16string BuildRecord(int32_t time, uint32_t process_id, uint32_t thread_id, int level,
                           std::u16string_view source_file, int line, std::u16string_view text);
// The line text: "[]" + "[" + module + "]" + the message cut so that the
// whole is at most kMaxTextLength characters.
std::u16string BuildText(std::u16string_view module, std::u16string_view message);

// The file name of the running program, without folder.
const std::u16string& ModuleName();

}  // namespace debug_log

template <typename... Args>
void DebugLog(int level, std::u16string_view source_file, int line,
              platform::WideFormat<Args...> format, const Args&... args) {
  if (!debug_log::ProcessGate().Allow()) return;
  debug_log::WriteLine(level, source_file, line, platform::Format(format, args...));
}

template <typename... Args>
void DebugLogA(int level, std::string_view source_file, int line,
               platform::NarrowFormat<Args...> format, const Args&... args) {
  if (!debug_log::ProcessGate().Allow()) return;
  debug_log::WriteLineA(level, source_file, line, platform::FormatA(format, args...));
}

// The short form, without source file: the record carries an empty source
// file and line 1.
template <typename... Args>
void DebugLogShort(int level, platform::WideFormat<Args...> format, const Args&... args) {
  if (!debug_log::ProcessGate().Allow()) return;
  debug_log::WriteLine(level, u"", 1, platform::Format(format, args...));
}

// DebugLog with the file's kLogSource and the current line.
#define DEBUG_LOG(level, ...) ::DebugLog((level), kLogSource, __LINE__, __VA_ARGS__)
#define DEBUG_LOG_A(level, ...) ::DebugLogA((level), kLogSourceA, __LINE__, __VA_ARGS__)

#endif  // PORTELLE_LOG_DEBUGLOG_H_
