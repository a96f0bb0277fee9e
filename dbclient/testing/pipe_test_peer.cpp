#include "dbclient/testing/pipe_test_peer.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <utility>

#include "dbclient/MsgSerializer.h"
#include "dbclient/OSException.h"
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
  const std::u16string text = platform::Utf16LeToText(bytes);
  return text.substr(0, text.find(u'\0'));
}

// The TAB-separated tokens of `text`; the last of at most `limit` tokens
// takes the rest of the text, TABs and all.
std::vector<std::u16string> Split(std::u16string_view text, size_t limit = SIZE_MAX) {
  std::vector<std::u16string> tokens;
  size_t start = 0;
  for (size_t tab;
       tokens.size() + 1 < limit && (tab = text.find(u'\t', start)) != std::u16string_view::npos;
       start = tab + 1) {
    tokens.emplace_back(text.substr(start, tab - start));
  }
  tokens.emplace_back(text.substr(start));
  return tokens;
}

// A serialized message opens with its version item: count 4, value 1.
constexpr std::string_view kMessageStart("\x04\0\0\0\x01\0\0\0", 8);

// Wakes a thread blocked in accepting on `name` with a connection that
// carries nothing.
void ConnectEmpty(std::u16string_view name) {
  platform::PipeStream wake;
  if (wake.Connect(name, kPeerDeadlineMs).ok()) wake.Close();
}

DbRequest ParseRequest(std::string bytes) {
  DbRequest request;
  request.bytes = std::move(bytes);
  if (request.bytes.starts_with(kMessageStart)) {
    request.serialized = true;
    CMsgSerializer message(nullptr);
    try {
      message.Load(request.bytes.data(), static_cast<uint32_t>(request.bytes.size()));
      request.command = message.GetCommandName();
      request.message_id = message.GetMessageId();
    } catch (const CIPCMsgBufferException&) {
      // A message start that cannot be read names no command and no reply pipe.
    }
    return request;
  }
  request.text = ToText(request.bytes);
  request.tokens = Split(request.text);
  request.command = request.tokens.front();
  return request;
}

}  // namespace

std::u16string ReplyPipeOf(const std::string& request) {
  const DbRequest parsed = ParseRequest(request);
  if (parsed.serialized) return parsed.message_id;
  if (parsed.tokens.size() < 2) return {};
  return u"DbCln_" + parsed.tokens[1];
}

DbScriptedPeer::DbScriptedPeer(DbHandler handler, bool keep_requests)
    : handler_(std::move(handler)), keep_requests_(keep_requests) {
  if (listener_.Listen(u"DbServerNamePipe", 64).ok()) thread_ = std::thread([this] { Serve(); });
}

DbScriptedPeer::~DbScriptedPeer() { Stop(); }

void DbScriptedPeer::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  ConnectEmpty(u"DbServerNamePipe");
  thread_.join();
  listener_.Close();
}

std::vector<DbRequest> DbScriptedPeer::RequestsFor(std::u16string_view command) const {
  std::vector<DbRequest> found;
  for (const DbRequest& request : requests_) {
    if (request.command == command) found.push_back(request);
  }
  return found;
}

std::string DbScriptedPeer::TextReply(std::u16string_view text) {
  return platform::TextToUtf16Le(text);
}

std::string DbScriptedPeer::StatusReply(const char16_t* command, int32_t status) {
  CMsgSerializer reply(command);
  reply << status;
  return std::string(reinterpret_cast<const char*>(reply.GetBytes()), reply.GetByteLength());
}

void DbScriptedPeer::Serve() {
  for (;;) {
    platform::PipeStream client;
    if (!listener_.Accept(&client, -1).ok()) return;
    std::string bytes = ReadAll(client);
    client.Close();
    if (bytes.empty()) {
      if (stopping_) return;
      continue;
    }
    DbRequest request = ParseRequest(std::move(bytes));
    const DbAnswer answer = handler_(request);
    const std::u16string reply_pipe =
        request.serialized ? request.message_id
                           : (request.tokens.size() > 1 ? u"DbCln_" + request.tokens[1] : u"");
    if (answer.has_value() && !reply_pipe.empty()) {
      platform::PipeStream reply;
      if (reply.Connect(reply_pipe, kPeerDeadlineMs).ok()) {
        reply.Write(answer->data(), answer->size());
      }
    }
    if (keep_requests_) requests_.push_back(std::move(request));
  }
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
  // Room for the lines logged while the thread is busy with one.
  if (!listener_.Listen(debug_log::kLogPipeName, 256).ok()) return;
  debug_log::ProcessGate().OnSent(true);
  thread_ = std::thread([this] { Serve(); });
}

LogRecorder::~LogRecorder() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ConnectEmpty(debug_log::kLogPipeName);
  thread_.join();
}

void LogRecorder::Serve() {
  for (;;) {
    platform::PipeStream stream;
    if (!listener_.Accept(&stream, -1).ok()) return;
    uint64_t markers = 0;
    Take(&stream, &markers);
    if (markers == 0) continue;
    // A marker: every record sent before it has been taken once the clients
    // already connected are, for the system need not hand clients over in
    // the order they came (Windows offers a pipe's waiting instances in
    // turn).
    while (listener_.Accept(&stream, 0).ok()) Take(&stream, &markers);
    std::lock_guard<std::mutex> lock(mutex_);
    markers_seen_ += markers;
    marker_seen_.notify_all();
    if (stopping_) return;
  }
}

void LogRecorder::Take(platform::PipeStream* stream, uint64_t* markers) {
  const std::string bytes = ReadAll(*stream);
  stream->Close();
  if (bytes.empty()) {
    ++*markers;
    return;
  }
  // LOG_WRITE, time, process, thread, level, source, line, text; the text
  // is the rest of the record, whatever TABs a logged command holds.
  const std::vector<std::u16string> fields = Split(ToText(bytes), 8);
  if (fields.size() < 8) return;
  LogRecord record;
  record.level = std::stoi(platform::Utf16ToUtf8(fields[4]));
  record.source = fields[5];
  const size_t module_end = fields[7].find(u']', 3);
  record.message = fields[7].substr(module_end == std::u16string::npos ? 0 : module_end + 1);
  std::lock_guard<std::mutex> lock(mutex_);
  received_.push_back(std::move(record));
}

void LogRecorder::Flush() {
  if (!thread_.joinable()) return;
  ConnectEmpty(debug_log::kLogPipeName);
  ++markers_sent_;
  std::unique_lock<std::mutex> lock(mutex_);
  marker_seen_.wait_for(lock, std::chrono::milliseconds(kPeerDeadlineMs),
                        [this] { return markers_seen_ >= markers_sent_; });
}

const std::vector<LogRecord>& LogRecorder::records() {
  Flush();
  std::lock_guard<std::mutex> lock(mutex_);
  records_ = received_;
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

size_t LogRecorder::Count(std::u16string_view source, std::u16string_view message) {
  size_t count = 0;
  for (const LogRecord& record : records()) {
    if (record.source == source && record.message == message) ++count;
  }
  return count;
}

}  // namespace dbclient_testing
