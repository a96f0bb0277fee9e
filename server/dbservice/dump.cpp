#include "server/dbservice/dump.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/text.h"
#include "server/dbservice/wire_text.h"

namespace dbservice {
namespace {

using json = nlohmann::ordered_json;

json ConfigTokens(const std::optional<std::string>& config) {
  if (!config) return nullptr;
  json tokens = json::array();
  const std::u16string text = platform::Utf16LeToText(*config);
  if (text.empty()) return tokens;  // as a fixture's empty list of tokens
  for (const std::u16string& token : SplitAtTabs(text)) {
    tokens.push_back(platform::Utf16ToUtf8(token));
  }
  return tokens;
}

json DomainJson(const Domain& d) {
  return {{"uid", d.uid},
          {"parent", d.parent},
          {"entry", d.entry},
          {"name", d.name},
          {"third", d.third},
          {"config", ConfigTokens(d.config)},
          {"status", d.status},
          {"spyware", d.spyware},
          {"uninstall_password", d.uninstall_password},
          {"unload_password", d.unload_password},
          {"dest_scan_type", d.dest_scan_type},
          {"service_switch", {d.switch_first, d.switch_second, d.switch_third}}};
}

// The subtree below `uid`; `placed` collects the UIDs it holds.
json Subtree(const std::string& uid, const std::multimap<std::string, const Domain*>& by_parent,
             std::set<std::string>* placed) {
  json children = json::array();
  const auto [first, last] = by_parent.equal_range(uid);
  for (auto it = first; it != last; ++it) {
    const Domain& child = *it->second;
    // The store keeps the parents free of loops; the check guards a file
    // changed behind its back.
    if (!placed->insert(child.uid).second) continue;
    children.push_back({{"uid", child.uid},
                        {"entry", child.entry},
                        {"children", Subtree(child.uid, by_parent, placed)}});
  }
  return children;
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

json JournalJson(const JournalEntry& e) {
  json entry = {{"id", e.id},
                {"time", e.received},
                {"kind", e.kind},
                {"command", e.command},
                {"arguments", json::parse(e.arguments)},
                {"bytes", e.bytes},
                {"outcome", e.outcome},
                {"reply", e.reply},
                {"service_us", e.service_us ? json(*e.service_us) : json(nullptr)}};
  if (!e.reply_pipe.empty()) entry["reply_pipe"] = e.reply_pipe;
  if (!e.error.empty()) entry["error"] = e.error;
  if (!e.raw.empty()) entry["raw_hex"] = Hex(e.raw);
  return entry;
}

json Timing(const std::vector<JournalEntry>& journal) {
  std::vector<int64_t> times;
  for (const JournalEntry& e : journal) {
    if (e.service_us) times.push_back(*e.service_us);
  }
  json timing = {{"requests", times.size()}};
  if (times.empty()) return timing;
  std::sort(times.begin(), times.end());
  int64_t total = 0;
  for (int64_t t : times) total += t;
  timing["total_us"] = total;
  timing["median_us"] = times[times.size() / 2];
  timing["max_us"] = times.back();
  return timing;
}

}  // namespace

std::string DumpDatabase(CDbStore* store) {
  SqliteTransaction transaction(&store->db());
  const std::vector<Domain> domains = store->AllDomains();
  const std::vector<DlpRow> dlp = store->AllDlp();
  const std::vector<JournalEntry> journal = store->Journal();
  transaction.Commit();

  json dump;
  dump["domains"] = json::array();
  std::multimap<std::string, const Domain*> by_parent;
  for (const Domain& d : domains) {
    dump["domains"].push_back(DomainJson(d));
    by_parent.emplace(d.parent, &d);
  }
  std::set<std::string> placed;
  dump["tree"] = Subtree(kRootUid, by_parent, &placed);
  dump["detached"] = json::array();
  std::set<std::string> uids;
  for (const Domain& d : domains) uids.insert(d.uid);
  for (const Domain& d : domains) {
    // The top of a detached subtree is a domain whose parent does not exist.
    if (placed.contains(d.uid) || uids.contains(d.parent)) continue;
    placed.insert(d.uid);
    dump["detached"].push_back({{"uid", d.uid},
                                {"entry", d.entry},
                                {"parent", d.parent},
                                {"children", Subtree(d.uid, by_parent, &placed)}});
  }
  dump["dlp"] = json::array();
  for (const DlpRow& row : dlp) {
    json records = json::parse(row.records);
    dump["dlp"].push_back(
        {{"uid", row.uid}, {"value", row.value}, {"dc", records["dc"]}, {"clc", records["clc"]}});
  }
  dump["journal"] = json::array();
  for (const JournalEntry& e : journal) dump["journal"].push_back(JournalJson(e));
  dump["timing"] = Timing(journal);
  return dump.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace dbservice
