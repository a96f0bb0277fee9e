#include "server/dbservice/command_handler.h"

#include <nlohmann/json.hpp>

#include "dbclient/MsgSerializer.h"
#include "platform/format.h"
#include "platform/text.h"
#include "server/dbservice/wire_text.h"

namespace dbservice {
namespace {

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// The statuses of DBV2_SET_DLP_CFG, which the client does not read.
constexpr int32_t kDlpStored = 0;
constexpr int32_t kDlpNothingStored = -1;

std::string StatusReply(std::u16string_view command, int32_t status) {
  CMsgSerializer reply(std::u16string(command).c_str());
  reply << status;
  return std::string(reinterpret_cast<const char*>(reply.GetBytes()), reply.GetByteLength());
}

// A query about one domain: `answer` builds the reply text from it; a domain
// the service does not hold gets the empty reply.
template <typename Answer>
Outcome Query(CDbStore* store, const std::u16string& uid, Answer answer) {
  const std::optional<Domain> domain = store->GetDomain(Utf8(uid));
  if (!domain) return {std::string(), "no such domain"};
  return {Utf8ToUtf16Le(answer(*domain)), "answered"};
}

Outcome GetDomainChildren(CDbStore* store, const std::u16string& uid) {
  const std::vector<Domain> children = store->Children(Utf8(uid));
  std::string text;
  for (const Domain& c : children) text += c.uid + '\t' + c.entry + '\t' + c.third + '\n';
  return {Utf8ToUtf16Le(text), platform::FormatA("%d children", static_cast<int>(children.size()))};
}

Outcome Import(CDbStore* store, const Request& request) {
  const std::string uid = Utf8(request.tokens[0]);
  if (!store->GetDomain(uid)) return {std::nullopt, "no such domain; nothing stored"};
  const std::u16string stream = request.ImportStream();
  store->SetConfig(uid, platform::TextToUtf16Le(stream));
  return {std::nullopt, platform::FormatA("configuration of %d characters stored",
                                          static_cast<int>(stream.size()))};
}

Outcome SetDomainUid(CDbStore* store, const Request& request) {
  const std::string uid = Utf8(request.tokens[0]);
  const std::string parent = Utf8(request.tokens[2]);
  if (!store->GetDomain(uid)) return {std::nullopt, "no such domain; nothing changed"};
  if (!FitsInReplyRecord(parent)) return {std::nullopt, "unusable parent UID; nothing changed"};
  if (store->IsWithin(parent, uid)) {
    return {std::nullopt, "the parent lies within the domain; nothing changed"};
  }
  store->SetParent(uid, parent);
  return {std::nullopt, "linked to " + parent};
}

Outcome ClientOnStart(CDbStore* store, const Request& request, const FaultRule* fault) {
  const tagCln_CgiOnStart& record = *request.domain;
  const auto refuse = [&](const std::string& why) {
    return Outcome{StatusReply(request.command, kDbClientOnStartRefused), "refused: " + why};
  };
  if (fault != nullptr && fault->status == kDbClientOnStartRefused) return refuse("fault injected");
  Domain domain;
  domain.uid = Utf8(record.GetDomainUid());
  domain.entry = Utf8(record.GetEntryName());
  domain.name = Utf8(record.GetDomainName());
  domain.parent = Utf8(record.GetParentUid());
  if (domain.uid.empty() || domain.uid == kRootUid) return refuse("no domain UID");
  for (const std::string* text : {&domain.uid, &domain.entry, &domain.name, &domain.parent}) {
    if (!FitsInReplyRecord(*text)) return refuse("a text holds a TAB, a line feed or a NUL");
  }
  if (store->GetDomain(domain.uid)) return refuse("the UID exists already");
  // Domains created earlier may name this one as their parent.
  if (store->IsWithin(domain.parent, domain.uid)) return refuse("the parent lies below the domain");
  store->CreateDomain(domain);
  const int32_t status =
      fault != nullptr && fault->status ? *fault->status : kDbClientOnStartCreated;
  return {StatusReply(request.command, status),
          status == kDbClientOnStartCreated ? "created"
                                            : platform::FormatA("created; answered %d", status)};
}

Outcome SetDlpCfg(CDbStore* store, const Request& request) {
  const DlpSettings& dlp = *request.dlp;
  if (dlp.uids.empty()) {
    return {StatusReply(request.command, kDlpNothingStored), "no domain UID; nothing stored"};
  }
  for (const std::u16string& uid : dlp.uids) {
    if (!store->GetDomain(Utf8(uid))) {
      return {StatusReply(request.command, kDlpNothingStored),
              "no such domain '" + Utf8(uid) + "'; nothing stored"};
    }
  }
  const std::string records =
      DescribeDlpRecords(dlp.dc, dlp.clc)
          .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  for (const std::u16string& uid : dlp.uids) store->SetDlp({Utf8(uid), dlp.value, records});
  return {StatusReply(request.command, kDlpStored), "stored"};
}

}  // namespace

Outcome HandleRequest(const Request& request, const FaultRule* fault, CDbStore* store) {
  const std::u16string_view word = request.word->word;
  const std::vector<std::u16string>& t = request.tokens;
  if (word == kDbGetDomain) return GetDomainChildren(store, t[2]);
  if (word == kDbGetClnDomainNameAndUid) {
    return Query(store, t[1], [](const Domain& d) { return d.name + '\t' + d.uid; });
  }
  if (word == kDbExport) {
    const std::optional<Domain> domain = store->GetDomain(Utf8(t[1]));
    if (!domain) return {std::string(), "no such domain"};
    if (!domain->config) return {std::string(), "no configuration"};
    return {*domain->config, "answered"};
  }
  if (word == kDbGetStatus) {
    return Query(store, t[1], [](const Domain& d) { return std::to_string(d.status); });
  }
  if (word == kDbFindDomainUid) {
    const std::optional<std::string> uid = store->FindByEntry(Utf8(t[1]));
    if (!uid) return {std::string(), "not found"};
    return {Utf8ToUtf16Le(*uid), "found"};
  }
  if (word == kDbGetSpywareWhiteList) {
    return Query(store, t[1], [](const Domain& d) { return SpywareText(d.spyware); });
  }
  if (word == kDbGetClientPassword) {
    return Query(store, t[1],
                 [](const Domain& d) { return d.uninstall_password + '\t' + d.unload_password; });
  }
  if (word == kDbGetKsrcDestScanType) {
    return Query(store, t[1], [](const Domain& d) { return std::to_string(d.dest_scan_type); });
  }
  if (word == kDbGetServiceSwitch) {
    return Query(store, t[1], [](const Domain& d) {
      return platform::FormatA("%u\t%d\t%d", d.switch_first, d.switch_second, d.switch_third);
    });
  }
  if (word == kDbImport) return Import(store, request);
  if (word == kDbSetDomainUid) return SetDomainUid(store, request);
  if (word == kDbv2ClientOnStart) return ClientOnStart(store, request, fault);
  return SetDlpCfg(store, request);
}

}  // namespace dbservice
