#include "server/logservice/log_record.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "dbclient/CmdProtocol.h"
#include "dbclient/DecimalText.h"
#include "platform/format.h"
#include "platform/text.h"
#include "server/common/utc_time.h"

namespace logservice {
namespace {

constexpr char16_t kCommandWord[] = u"LOG_WRITE";
constexpr size_t kTokenCount = 8;

// Whether `token` is a decimal number (with a '-' where `low` is negative)
// within [low, high]; its value goes to *value.
bool ReadNumber(std::u16string_view token, int64_t low, int64_t high, int64_t* value) {
  std::u16string_view digits = token;
  if (low < 0 && !digits.empty() && digits.front() == u'-') digits.remove_prefix(1);
  // Eleven digits already exceed every field; longer tokens would saturate.
  if (digits.empty() || digits.size() > 11) return false;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return false;
  }
  *value = dbclient::DecimalToInt64(token);
  return *value >= low && *value <= high;
}

std::u16string Escape(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'\n':
        out += u"\\n";
        break;
      case u'\r':
        out += u"\\r";
        break;
      case u'\t':
        out += u"\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += platform::Format(u"\\x%02X", static_cast<unsigned>(c));
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace

bool DecodeLogRecord(std::string_view bytes, LogRecord* record, std::string* reason) {
  if (bytes.size() % 2 != 0) {
    *reason = "odd byte count";
    return false;
  }
  std::u16string units = platform::Utf16LeToText(bytes);
  if (units.empty() || units.back() != u'\0') {
    *reason = "no terminating NUL";
    return false;
  }
  units.pop_back();
  // Past its end the stream yields empty tokens, so a missing text token
  // could not be told from an empty one: count the separators first.
  const auto separators = static_cast<size_t>(std::count(units.begin(), units.end(), u'\t'));
  if (separators + 1 < kTokenCount) {
    *reason = platform::FormatA("%d tokens, %d expected", static_cast<int>(separators + 1),
                                static_cast<int>(kTokenCount));
    return false;
  }
  CCmdProtocol stream(units);
  std::u16string command, time, process_id, thread_id, level, line;
  LogRecord decoded;
  stream.NextToken(command)
      .NextToken(time)
      .NextToken(process_id)
      .NextToken(thread_id)
      .NextToken(level)
      .NextToken(decoded.source_file)
      .NextToken(line);
  // The text is the rest of the record, TABs and all.
  stream.SetDelimiter(u"");
  stream.NextToken(decoded.text);
  if (command != kCommandWord) {
    *reason = "not a LOG_WRITE record";
    return false;
  }
  const struct {
    const char* name;
    const std::u16string& token;
    int64_t low, high;
  } numbers[] = {{"time", time, INT32_MIN, INT32_MAX},
                 {"process id", process_id, 0, UINT32_MAX},
                 {"thread id", thread_id, 0, UINT32_MAX},
                 {"level", level, INT32_MIN, INT32_MAX},
                 {"line", line, INT32_MIN, INT32_MAX}};
  int64_t values[std::size(numbers)];
  for (size_t i = 0; i < std::size(numbers); ++i) {
    if (!ReadNumber(numbers[i].token, numbers[i].low, numbers[i].high, &values[i])) {
      *reason = platform::FormatA("bad %s", numbers[i].name);
      return false;
    }
  }
  decoded.time = static_cast<int32_t>(values[0]);
  decoded.process_id = static_cast<uint32_t>(values[1]);
  decoded.thread_id = static_cast<uint32_t>(values[2]);
  decoded.level = static_cast<int32_t>(values[3]);
  decoded.line = static_cast<int32_t>(values[4]);
  *record = std::move(decoded);
  return true;
}

std::string FormatLogLine(const LogRecord& record) {
  std::string out = stand_in::UtcTimeText(record.time);
  out += platform::FormatA(" pid=%u tid=%u level=%d ", record.process_id, record.thread_id,
                           record.level);
  out += platform::Utf16ToUtf8(Escape(record.source_file));
  out += platform::FormatA(":%d ", record.line);
  out += platform::Utf16ToUtf8(Escape(record.text));
  out += '\n';
  return out;
}

std::string FormatUndecodableLine(int64_t received, std::string_view bytes,
                                  std::string_view reason) {
  std::string out = stand_in::UtcTimeText(received);
  out +=
      platform::FormatA(" undecodable record (%lld bytes, ", static_cast<long long>(bytes.size()));
  out += reason;
  out += "): ";
  std::u16string units = platform::Utf16LeToText(bytes);
  const bool cut = units.size() > kUndecodableShownUnits;
  if (cut) units.resize(kUndecodableShownUnits);
  out += platform::Utf16ToUtf8(Escape(units));
  if (cut) out += "...";
  out += '\n';
  return out;
}

}  // namespace logservice
