#include "dbclient/pipe_test_peer.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "log/DebugLog.h"
#include "platform/text.h"

namespace dbclient_testing {
namespace {

// Reads `stream` to end-of-file (or the deadline).
std::string ReadAll(platform::PipeStream& stream) {
  std::string bytes;
  char buffer[4096];
  size_t n = 0;
  while (stream.Read(buffer, sizeof buffer, &n, kPeerDeadlineMs).ok() && n > 0) {
    bytes.append(buffer, n);
  }
  return bytes;
}

std::u16string ToText(const std::string& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text.substr(0, text.find(u'\0'));
}

// The TAB-separated tokens of `text`; the last of at most `limit` tokens
// takes the rest of the text, TABs and all.
std::vector<std::u16string> Split(std::u16string_view text, size_t limit = SIZE_MAX) {
  std::vector<std::u16string> tokens;
  size_t start = 0;
  for (size_t tab; tokens.size() + 1 < limit &&
                   (tab = text.find(u'\t', start)) != std::u16string_view::npos;
       start = tab + 1) {
    tokens.emplace_back(text.substr(start, tab - start));
  }
  tokens.emplace_back(text.substr(start));
  return tokens;
}

// The identifier of a serialized message, its fourth item (after the
// version, the header and the command name); empty when the bytes end
// before it.
std::u16string MessageId(const std::string& bytes) {
  size_t pos = 0;
  for (int item = 1;; ++item) {
    if (bytes.size() - pos < 4) return {};
    uint32_t count = 0;
    for (int i = 3; i >= 0; --i) count = (count << 8) | static_cast<uint8_t>(bytes[pos + i]);
    pos += 4;
    if (bytes.size() - pos < count) return {};
    if (item == 4) return ToText(bytes.substr(pos, count));
    pos += count;
  }
}

}  // namespace

std::u16string ReplyPipeOf(const std::string& request) {
  static const std::string kVersionItem("\x04\x00\x00\x00\x01\x00\x00\x00", 8);
  if (request.compare(0, kVersionItem.size(), kVersionItem) == 0) return MessageId(request);
  const std::vector<std::u16string> tokens = Split(ToText(request));
  if (tokens.size() < 2) return {};
  return u"DbCln_" + tokens[1];
}

DbServicePeer::DbServicePeer(Answer answer, std::vector<std::string> pieces)
    : answer_(answer), pieces_(std::move(pieces)) {
  if (listener_.Listen(u"DbServerNamePipe").ok()) thread_ = std::thread([this] { Serve(); });
}

DbServicePeer::~DbServicePeer() { Join(); }

void DbServicePeer::Join() {
  if (thread_.joinable()) thread_.join();
}

std::u16string DbServicePeer::request_text() const { return ToText(request_); }

void DbServicePeer::Serve() {
  platform::PipeStream client;
  if (!listener_.Accept(&client, kPeerDeadlineMs).ok()) return;
  request_ = ReadAll(client);
  reply_pipe_ = ReplyPipeOf(request_);
  if (reply_pipe_.empty()) return;
  served_ = true;
  if (answer_ == Answer::kNeverConnect) return;
  platform::PipeStream reply;
  reply_connect_ = reply.Connect(reply_pipe_, kPeerDeadlineMs);
  if (!reply_connect_.ok()) return;
  if (answer_ == Answer::kReply) {
    for (const std::string& piece : pieces_) {
      if (!reply.Write(piece.data(), piece.size()).ok()) return;
    }
  }
}

LogRecorder::LogRecorder() {
  // Room for every record a test sends before it looks at them.
  listener_.Listen(debug_log::kLogPipeName, 256);
  debug_log::ProcessGate().OnSent(true);
}

const std::vector<LogRecord>& LogRecorder::records() {
  platform::PipeStream stream;
  while (listener_.Accept(&stream, 0).ok()) {
    // LOG_WRITE, time, process, thread, level, source, line, text; the text
    // is the rest of the record, whatever TABs a logged command holds.
    const std::vector<std::u16string> fields = Split(ToText(ReadAll(stream)), 8);
    if (fields.size() < 8) continue;
    LogRecord record;
    record.level = std::stoi(platform::Utf16ToUtf8(fields[4]));
    record.source = fields[5];
    const size_t module_end = fields[7].find(u']', 3);
    record.message = fields[7].substr(module_end == std::u16string::npos ? 0 : module_end + 1);
    records_.push_back(std::move(record));
  }
  return records_;
}

bool LogRecorder::Has(int level, std::u16string_view source, std::u16string_view message) {
  for (const LogRecord& record : records()) {
    if (record.level == level && record.source == source && record.message == message) {
      return true;
    }
  }
  return false;
}

}  // namespace dbclient_testing
