#include "server/dbservice/db_service.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "dbclient/pipe_Client.h"
#include "platform/format.h"
#include "platform/status.h"
#include "platform/text.h"
#include "server/common/connection_loop.h"
#include "server/common/utc_time.h"
#include "server/dbservice/command_handler.h"

namespace dbservice {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

const char* KindName(Request::Kind kind) {
  switch (kind) {
    case Request::Kind::kText:
      return "text";
    case Request::Kind::kMessage:
      return "message";
    case Request::Kind::kUnparseable:
      break;
  }
  return "unparseable";
}

bool Carries(const Request& request, const std::string& text) {
  for (const std::u16string& token : request.tokens) {
    if (Utf8(token) == text) return true;
  }
  if (request.domain) {
    return Utf8(request.domain->GetDomainUid()) == text ||
           Utf8(request.domain->GetEntryName()) == text;
  }
  if (request.dlp) {
    for (const std::u16string& uid : request.dlp->uids) {
      if (Utf8(uid) == text) return true;
    }
  }
  return false;
}

}  // namespace

bool CDbService::Run(std::string* error) {
  return stand_in::ServeConnections(
      m_pListener, m_stop, kBacklog, [this](platform::PipeStream* stream) { Serve(stream); },
      error);
}

std::string CDbService::ReadRequest(platform::PipeStream* stream, std::string* ended,
                                    bool* too_long) {
  std::string bytes;
  char buffer[16384];
  for (;;) {
    size_t n = 0;
    const platform::Status status = stream->Read(buffer, sizeof buffer, &n, m_nIdleTimeoutMs);
    if (!status.ok()) {
      *ended = status.code() == platform::kErrorTimeout
                   ? platform::FormatA("client silent for %d ms", m_nIdleTimeoutMs)
                   : status.message();
      return bytes;
    }
    if (n == 0) return bytes;
    if (bytes.size() + n > kMaxRequestBytes) {
      *too_long = true;
      return bytes;
    }
    bytes.append(buffer, n);
  }
}

const FaultRule* CDbService::FindFault(const Request& request) const {
  const std::string command = Utf8(request.command);
  for (const FaultRule& rule : m_faults) {
    if (rule.command == command && (!rule.match || Carries(request, *rule.match))) return &rule;
  }
  return nullptr;
}

void CDbService::Serve(platform::PipeStream* stream) {
  const Clock::time_point start = Clock::now();
  JournalEntry entry;
  entry.received = stand_in::UtcNowText();
  std::string ended;
  bool too_long = false;
  const std::string bytes = ReadRequest(stream, &ended, &too_long);
  stream->Close();

  Request request = DecodeRequest(bytes);
  if (too_long) {
    request.Refuse(
        platform::FormatA("longer than %lld bytes", static_cast<long long>(kMaxRequestBytes)),
        bytes);
  } else if (request.kind == Request::Kind::kUnparseable && !ended.empty()) {
    // A request that arrived whole counts even if its client then stalled.
    request.error += ", " + ended;
  }
  const bool parsed = request.kind != Request::Kind::kUnparseable;
  const FaultRule* fault = parsed ? FindFault(request) : nullptr;
  // A crashing service's pipe is gone before its last reply arrives, so the
  // client's next request fails at once instead of waiting for a reply
  // that will never come.
  if (fault != nullptr && fault->crash) m_pListener->Close();
  entry.kind = KindName(request.kind);
  entry.command = Utf8(request.command);
  entry.reply_pipe = Utf8(request.reply_pipe);
  entry.arguments = DescribeArguments(request).dump(
      -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  entry.bytes = static_cast<int64_t>(request.bytes);
  entry.error = request.error;
  entry.raw = request.raw;

  // The reply connection is closed only once the journal entry is
  // committed: a client that has its whole reply finds the request in a dump.
  CPipeClient reply_client;
  try {
    SqliteTransaction transaction(&m_pStore->db());
    Outcome outcome;
    if (parsed) outcome = HandleRequest(request, fault, m_pStore);
    entry.outcome = outcome.note;
    const int64_t id = m_pStore->AddJournal(entry);
    microseconds injected{0};
    std::string reply;
    if (!parsed) {
      reply = "none: unparseable";
    } else if (request.reply_pipe.empty() || !outcome.reply) {
      reply = "none: one-way command";
    } else if (fault != nullptr && fault->drop_reply) {
      reply = "dropped by fault";
    } else {
      reply = SendReply(request.reply_pipe,
                        fault != nullptr && fault->reply ? *fault->reply : *outcome.reply, fault,
                        &reply_client, &injected);
    }
    const auto own = std::chrono::duration_cast<microseconds>(Clock::now() - start) - injected;
    m_pStore->FinishJournal(id, reply, own.count());
    transaction.Commit();
  } catch (const StoreError& e) {
    // Nothing is answered for a request the service could not record (unless
    // the failure came after the reply was written).
    std::fprintf(stderr, "bastionel-dbservice: %s request: %s\n", entry.command.c_str(), e.what());
  }
  reply_client.Close();
  if (fault != nullptr && fault->crash) {
    std::fprintf(stderr, "bastionel-dbservice: crashing after %s as the fixture asks\n",
                 entry.command.c_str());
    std::fflush(nullptr);
    std::_Exit(kCrashExitCode);
  }
}

std::string CDbService::SendReply(const std::u16string& pipe, const std::string& bytes,
                                  const FaultRule* fault, CPipeClient* client,
                                  microseconds* injected) {
  std::string note;
  if (fault != nullptr && fault->delay_ms > 0) {
    *injected += Pause(fault->delay_ms);
    note = platform::FormatA(" after %d ms", fault->delay_ms);
  }
  if (!client->Open(pipe)) {
    return "failed: " +
           platform::Status::Error(platform::GetLastError(), "connect", pipe).message();
  }
  if (fault != nullptr && fault->reply_bytes) {
    // A reply of any size, never held whole: the same piece again and again.
    static const std::string piece = [] {
      std::string x(kStreamedPieceBytes, '\0');
      for (size_t i = 0; i < x.size(); i += 2) x[i] = 'x';
      return x;
    }();
    const int64_t total = *fault->reply_bytes;
    int64_t sent = 0;
    while (sent < total) {
      uint32_t count = static_cast<uint32_t>(std::min<int64_t>(total - sent, kStreamedPieceBytes));
      if (!client->Write(piece.data(), &count)) {
        return platform::FormatA("failed after %lld bytes: ", static_cast<long long>(sent)) +
               platform::Status::Error(platform::GetLastError(), "write reply", pipe).message();
      }
      sent += count;
    }
    return platform::FormatA("sent %lld bytes streamed", static_cast<long long>(total)) + note;
  }
  // Pieces as even as the length allows, none of them empty.
  const size_t wanted = fault != nullptr ? static_cast<size_t>(fault->pieces) : 1;
  const size_t pieces = std::max<size_t>(1, std::min(wanted, bytes.size()));
  size_t offset = 0;
  for (size_t i = 0; i < pieces; ++i) {
    if (i > 0 && fault->pause_ms > 0) *injected += Pause(fault->pause_ms);
    const size_t end = bytes.size() * (i + 1) / pieces;
    uint32_t count = static_cast<uint32_t>(end - offset);
    if (count > 0 && !client->Write(bytes.data() + offset, &count)) {
      return "failed: " +
             platform::Status::Error(platform::GetLastError(), "write reply", pipe).message();
    }
    offset = end;
  }
  if (pieces > 1) note = platform::FormatA(" in %d writes", static_cast<int>(pieces)) + note;
  return platform::FormatA("sent %lld bytes", static_cast<long long>(bytes.size())) + note;
}

microseconds CDbService::Pause(int ms) {
  const Clock::time_point start = Clock::now();
  size_t signalled = 0;
  platform::WaitForAny({&m_stop, 1}, ms, &signalled);  // the stop, or the time ran out
  return std::chrono::duration_cast<microseconds>(Clock::now() - start);
}

}  // namespace dbservice
