#include "server/dbservice/request.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "dbclient/DecimalText.h"
#include "dbclient/MsgSerializer.h"
#include "platform/format.h"
#include "platform/text.h"
#include "server/dbservice/wire_text.h"

namespace dbservice {
namespace {

using json = nlohmann::ordered_json;

constexpr char kMessageStart[] = {4, 0, 0, 0, 1, 0, 0, 0};
constexpr std::u16string_view kReplyPipePrefix = u"DbCln_";

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

Request Unparseable(Request request, std::string_view bytes, std::string error) {
  request.Refuse(std::move(error), bytes);
  return request;
}

// The transaction number as the client writes it: decimal, a '-' only when
// negative, no '+', blanks or leading zeros.
bool ParseTransaction(std::u16string_view token, int32_t* transaction) {
  *transaction = dbclient::DecimalToInt32(token);
  return !token.empty() && platform::Format(u"%d", *transaction) == token;
}

Request DecodeText(Request request, std::string_view bytes) {
  if (bytes.empty()) return Unparseable(std::move(request), bytes, "empty request");
  if (bytes.size() % 2 != 0) return Unparseable(std::move(request), bytes, "odd byte count");
  const std::u16string text = platform::Utf16LeToText(bytes);
  const size_t nul = text.find(u'\0');
  if (nul == std::u16string::npos) {
    return Unparseable(std::move(request), bytes, "no terminating NUL");
  }
  request.tokens = SplitAtTabs(std::u16string_view(text).substr(0, nul));
  request.command = std::move(request.tokens.front());
  request.tokens.erase(request.tokens.begin());
  if (nul + 1 != text.size()) {
    return Unparseable(std::move(request), bytes,
                       platform::FormatA("%d bytes after the terminating NUL",
                                         static_cast<int>(2 * (text.size() - nul - 1))));
  }
  const CommandWord* word = FindCommandWord(request.command);
  if (word == nullptr || word->kind == CommandKind::kMessage) {
    return Unparseable(std::move(request), bytes,
                       "unknown text command '" + Utf8(request.command) + "'");
  }
  const int count = static_cast<int>(request.tokens.size());
  const bool stream_with_tabs = word->word == kDbImport && count > word->arguments;
  if (count != word->arguments && !stream_with_tabs) {
    return Unparseable(std::move(request), bytes,
                       platform::FormatA("%s takes %d tokens after the command word, not %d",
                                         Utf8(word->word), word->arguments, count));
  }
  if (word->kind == CommandKind::kTextWithReply) {
    int32_t transaction = 0;
    if (!ParseTransaction(request.tokens[0], &transaction)) {
      return Unparseable(std::move(request), bytes,
                         "bad transaction number '" + Utf8(request.tokens[0]) + "'");
    }
    request.reply_pipe = std::u16string(kReplyPipePrefix) + platform::Format(u"%d", transaction);
  }
  request.kind = Request::Kind::kText;
  request.word = word;
  return request;
}

// A message identifier names a socket in the pipe folder.
bool IsPipeName(std::u16string_view name) {
  return !name.empty() && name.find_first_of(u"/\\") == std::u16string_view::npos && name != u"." &&
         name != u"..";
}

Request DecodeMessage(Request request, std::string_view bytes) {
  CMsgSerializer message(nullptr);
  try {
    message.Load(bytes.data(), static_cast<uint32_t>(bytes.size()));
  } catch (const CIPCMsgBufferException& e) {
    return Unparseable(std::move(request), bytes,
                       "the message ends within its start (" + Utf8(e.GetText()) + ")");
  }
  request.command = message.GetCommandName();
  request.flags = message.GetFlags();
  const CommandWord* word = FindCommandWord(request.command);
  if (word == nullptr || word->kind != CommandKind::kMessage) {
    return Unparseable(std::move(request), bytes,
                       "unknown message command '" + Utf8(request.command) + "'");
  }
  if (!IsPipeName(message.GetMessageId())) {
    return Unparseable(
        std::move(request), bytes,
        "the message identifier '" + Utf8(message.GetMessageId()) + "' cannot name a reply pipe");
  }
  try {
    if (word->word == kDbv2ClientOnStart) {
      uint32_t size = 0;
      message.ReadBlock(nullptr, size);
      if (size != tagCln_CgiOnStart::kSize) {
        return Unparseable(std::move(request), bytes,
                           platform::FormatA("the domain record has %u bytes, not %u", size,
                                             tagCln_CgiOnStart::kSize));
      }
      request.domain.emplace();
      message.ReadObject(*request.domain);
    } else {
      DlpSettings& dlp = request.dlp.emplace();
      message >> dlp.uids >> dlp.value;
      message.ReadObject(dlp.dc);
      message.ReadObject(dlp.clc);
    }
  } catch (const CIPCMsgBufferException& e) {
    return Unparseable(std::move(request), bytes,
                       "the body ends too early (" + Utf8(e.GetText()) + ")");
  }
  // A body read from a file of the client's has no bytes of its own here.
  if (message.GetTempFilePath().empty() &&
      message.GetCurPos() != static_cast<uint32_t>(message.GetBytesUsed())) {
    return Unparseable(
        std::move(request), bytes,
        platform::FormatA("%u bytes follow the body",
                          static_cast<uint32_t>(message.GetBytesUsed()) - message.GetCurPos()));
  }
  request.kind = Request::Kind::kMessage;
  request.word = word;
  request.reply_pipe = message.GetMessageId();
  return request;
}

json DescribeDomainRecord(const tagCln_CgiOnStart& record) {
  // Bytes the import does not fill must stay zero: count the others.
  std::array<uint8_t, tagCln_CgiOnStart::kSize> rest = record.GetBody();
  const auto clear = [&](uint32_t offset, size_t bytes) {
    std::memset(rest.data() + offset, 0, bytes);
  };
  const auto clear_text = [&](uint32_t offset, const std::u16string& text) {
    clear(offset, 2 * (text.size() + 1));
  };
  clear(tagCln_CgiOnStart::kRecordTypeOffset, 2);
  clear(tagCln_CgiOnStart::kInitialValueOffset, 4);
  clear_text(tagCln_CgiOnStart::kUidOffset, record.GetDomainUid());
  clear_text(tagCln_CgiOnStart::kEntryNameOffset, record.GetEntryName());
  clear_text(tagCln_CgiOnStart::kDomainNameOffset, record.GetDomainName());
  clear_text(tagCln_CgiOnStart::kVersionOffset, record.GetVersionText());
  clear_text(tagCln_CgiOnStart::kParentUidOffset, record.GetParentUid());
  int other = 0;
  for (uint8_t b : rest) other += b != 0;
  return {{"uid", Utf8(record.GetDomainUid())},        {"entry", Utf8(record.GetEntryName())},
          {"name", Utf8(record.GetDomainName())},      {"parent", Utf8(record.GetParentUid())},
          {"record_type", record.GetRecordType()},     {"version", Utf8(record.GetVersionText())},
          {"initial_value", record.GetInitialValue()}, {"other_nonzero_bytes", other}};
}

}  // namespace

std::u16string Request::ImportStream() const {
  std::u16string stream;
  for (size_t i = 2; i < tokens.size(); ++i) {
    if (i > 2) stream += u'\t';
    stream += tokens[i];
  }
  return stream;
}

void Request::Refuse(std::string why, std::string_view received) {
  kind = Kind::kUnparseable;
  word = nullptr;
  reply_pipe.clear();
  error = std::move(why);
  raw = received.substr(0, kJournaledRawBytes);
}

Request DecodeRequest(std::string_view bytes) {
  Request request;
  request.bytes = bytes.size();
  if (bytes.size() >= sizeof kMessageStart &&
      std::memcmp(bytes.data(), kMessageStart, sizeof kMessageStart) == 0) {
    return DecodeMessage(std::move(request), bytes);
  }
  return DecodeText(std::move(request), bytes);
}

json DescribeDlpRecords(const tagCln_DlpDCCfg& dc, const tagCln_DlpClcCfg& clc) {
  return {{"dc",
           {{"m_strReserved", Utf8(dc.m_strReserved)},
            {"m_dwDCFlagIn", dc.m_dwDCFlagIn},
            {"m_dwDCFlagOut", dc.m_dwDCFlagOut},
            {"m_dwDeviceIn", dc.m_dwDeviceIn},
            {"m_dwDeviceOut", dc.m_dwDeviceOut},
            {"m_strDevExceptionListIn", Utf8(dc.m_strDevExceptionListIn)},
            {"m_strDevExceptionListOut", Utf8(dc.m_strDevExceptionListOut)}}},
          {"clc",
           {{"m_strReserved", Utf8(clc.m_strReserved)},
            {"m_dwClcFlagIn", clc.m_dwClcFlagIn},
            {"m_dwClcFlagOut", clc.m_dwClcFlagOut},
            {"m_strChannelListIn", Utf8(clc.m_strChannelListIn)},
            {"m_strChannelListOut", Utf8(clc.m_strChannelListOut)},
            {"m_dwActionIn", clc.m_dwActionIn},
            {"m_dwActionOut", clc.m_dwActionOut},
            {"m_dwCompressFileSizeIn", clc.m_dwCompressFileSizeIn},
            {"m_dwCompressFileSizeOut", clc.m_dwCompressFileSizeOut},
            {"m_sCompressLayerIn", clc.m_sCompressLayerIn},
            {"m_sCompressLayerOut", clc.m_sCompressLayerOut},
            {"m_dwCompressFileCountIn", clc.m_dwCompressFileCountIn},
            {"m_dwCompressFileCountOut", clc.m_dwCompressFileCountOut},
            {"m_strTemplateIn", Utf8(clc.m_strTemplateIn)},
            {"m_strTemplateOut", Utf8(clc.m_strTemplateOut)},
            {"m_strIpWlIn", Utf8(clc.m_strIpWlIn)},
            {"m_strIpWlOut", Utf8(clc.m_strIpWlOut)},
            {"m_strIpBlIn", Utf8(clc.m_strIpBlIn)},
            {"m_strIpBlOut", Utf8(clc.m_strIpBlOut)},
            {"m_strEmailWlIn", Utf8(clc.m_strEmailWlIn)},
            {"m_strEmailWlOut", Utf8(clc.m_strEmailWlOut)},
            {"m_strEmailBlIn", Utf8(clc.m_strEmailBlIn)},
            {"m_strEmailBlOut", Utf8(clc.m_strEmailBlOut)},
            {"m_strUsbWlIn", Utf8(clc.m_strUsbWlIn)},
            {"m_strUsbWlOut", Utf8(clc.m_strUsbWlOut)},
            {"m_strUsbBlIn", Utf8(clc.m_strUsbBlIn)},
            {"m_strUsbBlOut", Utf8(clc.m_strUsbBlOut)}}}};
}

json DescribeArguments(const Request& request) {
  if (!request.tokens.empty()) {
    json tokens = json::array();
    for (const std::u16string& t : request.tokens) tokens.push_back(Utf8(t));
    return tokens;
  }
  if (request.domain) return DescribeDomainRecord(*request.domain);
  if (request.dlp) {
    json uids = json::array();
    for (const std::u16string& u : request.dlp->uids) uids.push_back(Utf8(u));
    json body = DescribeDlpRecords(request.dlp->dc, request.dlp->clc);
    body["uids"] = uids;
    body["value"] = request.dlp->value;
    return body;
  }
  return nullptr;
}

}  // namespace dbservice
