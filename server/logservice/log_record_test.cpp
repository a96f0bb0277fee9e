#include "server/logservice/log_record.h"

#include <gtest/gtest.h>

#include <string>

namespace logservice {
namespace {

// UTF-16LE of ASCII text, written out: each character, then a zero byte.
std::string Le(std::string_view ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

const std::string kNul("\0\0", 2);

std::string DecodeToLine(const std::string& bytes) {
  LogRecord record;
  std::string reason;
  if (!DecodeLogRecord(bytes, &record, &reason)) return "undecodable: " + reason;
  return FormatLogLine(record);
}

TEST(LogRecordTest, RecordBecomesOneLineInUtc) {
  const std::string bytes = Le("LOG_WRITE\t1700000000\t4321\t98765\t68\tPortelleImport\t42\t"
                               "[][portelle]CImportSkvaSettings::ImportToIni - =>ImportToIni()") +
                            kNul;
  EXPECT_EQ(DecodeToLine(bytes),
            "2023-11-14 22:13:20 pid=4321 tid=98765 level=68 PortelleImport:42 "
            "[][portelle]CImportSkvaSettings::ImportToIni - =>ImportToIni()\n");
}

TEST(LogRecordTest, TextKeepsItsTabsAndNonAsciiAndStaysOneLine) {
  // e-acute (E9 00), euro sign (AC 20), and U+1F600 as the pair D83D DE00.
  const std::string bytes = Le("LOG_WRITE\t0\t1\t4294967295\t-2\tZip\t-7\t[][p]a\tb\n") +
                            std::string("\xE9\x00\xAC\x20\x3D\xD8\x00\xDE", 8) + Le("\x01") + kNul;
  EXPECT_EQ(DecodeToLine(bytes),
            "1970-01-01 00:00:00 pid=1 tid=4294967295 level=-2 Zip:-7 "
            "[][p]a\\tb\\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\\x01\n");
}

TEST(LogRecordTest, ShortFormHasAnEmptySourceAndEmptyTextIsKept) {
  EXPECT_EQ(DecodeToLine(Le("LOG_WRITE\t-1\t2\t3\t2\t\t1\t") + kNul),
            "1969-12-31 23:59:59 pid=2 tid=3 level=2 :1 \n");
}

TEST(LogRecordTest, AnythingButAWholeRecordIsUndecodableWithItsReason) {
  const std::string whole = Le("LOG_WRITE\t1\t2\t3\t4\tsrc\t5\ttext") + kNul;
  const struct {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {whole.substr(0, whole.size() - 1), "odd byte count"},
      {whole.substr(0, 20), "no terminating NUL"},  // the client left mid-record
      {"", "no terminating NUL"},
      {Le("LOG_READ\t1\t2\t3\t4\tsrc\t5\ttext") + kNul, "not a LOG_WRITE record"},
      {Le("LOG_WRITE\t1\t2\t3\t4\tsrc\t5") + kNul, "7 tokens, 8 expected"},
      {Le("LOG_WRITE\t1x\t2\t3\t4\tsrc\t5\tt") + kNul, "bad time"},
      {Le("LOG_WRITE\t2147483648\t2\t3\t4\tsrc\t5\tt") + kNul, "bad time"},
      {Le("LOG_WRITE\t1\t-2\t3\t4\tsrc\t5\tt") + kNul, "bad process id"},
      {Le("LOG_WRITE\t1\t2\t4294967296\t4\tsrc\t5\tt") + kNul, "bad thread id"},
      {Le("LOG_WRITE\t1\t2\t3\t\tsrc\t5\tt") + kNul, "bad level"},
      {Le("LOG_WRITE\t1\t2\t3\t4\tsrc\t 5\tt") + kNul, "bad line"},
  };
  for (const auto& c : cases) {
    LogRecord record;
    std::string reason;
    EXPECT_FALSE(DecodeLogRecord(c.bytes, &record, &reason)) << c.reason;
    EXPECT_EQ(reason, c.reason);
  }
}

TEST(LogRecordTest, UndecodableLineShowsTheBytesEscapedAndCut) {
  EXPECT_EQ(FormatUndecodableLine(1700000000, Le("LOG_WRITE\t17") + "X", "odd byte count"),
            "2023-11-14 22:13:20 undecodable record (25 bytes, odd byte count): LOG_WRITE\\t17\n");
  const std::string line =
      FormatUndecodableLine(0, Le(std::string(5000, 'a')), "no terminating NUL");
  EXPECT_EQ(line, "1970-01-01 00:00:00 undecodable record (10000 bytes, no terminating NUL): " +
                      std::string(kUndecodableShownUnits, 'a') + "...\n");
}

}  // namespace
}  // namespace logservice
