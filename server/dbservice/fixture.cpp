#include "server/dbservice/fixture.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/text.h"
#include "server/dbservice/command_words.h"
#include "server/dbservice/wire_text.h"

namespace dbservice {
namespace {

using nlohmann::json;

// A fixture mistake, with the place it was found ("domains[2].status").
struct FixtureError {
  std::string message;
};

[[noreturn]] void Refuse(const std::string& where, const std::string& what) {
  throw FixtureError{where + ": " + what};
}

std::string At(const std::string& where, std::string_view key) {
  return where.empty() ? std::string(key) : where + "." + std::string(key);
}

void OnlyKeys(const json& object, const std::string& where,
              std::initializer_list<std::string_view> keys) {
  if (!object.is_object()) Refuse(where.empty() ? "the fixture" : where, "expected an object");
  for (const auto& [key, value] : object.items()) {
    bool known = key == "comment";
    for (std::string_view k : keys) known = known || key == k;
    if (!known) Refuse(where.empty() ? "the fixture" : where, "unknown key '" + key + "'");
  }
}

const json* Find(const json& object, std::string_view key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::string ReplyText(const json& value, const std::string& where) {
  if (!value.is_string()) Refuse(where, "expected a string");
  const std::string& text = value.get_ref<const std::string&>();
  if (!FitsInReplyRecord(text)) Refuse(where, "must not hold a TAB, a line feed or a NUL");
  return text;
}

int64_t Whole(const json& value, const std::string& where, int64_t low, int64_t high) {
  // Numbers above the int64 range are unsigned in the parsed document.
  const bool fits = value.is_number_integer() &&
                    !(value.is_number_unsigned() &&
                      value.get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max())) &&
                    value.get<int64_t>() >= low && value.get<int64_t>() <= high;
  if (!fits) {
    Refuse(where,
           "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return value.get<int64_t>();
}

int32_t Int32(const json& value, const std::string& where) {
  return static_cast<int32_t>(Whole(value, where, std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max()));
}

uint32_t UInt32(const json& value, const std::string& where) {
  return static_cast<uint32_t>(Whole(value, where, 0, std::numeric_limits<uint32_t>::max()));
}

std::string HexBytes(const json& value, const std::string& where) {
  if (!value.is_string()) Refuse(where, "expected a string of hexadecimal digits");
  const std::string& hex = value.get_ref<const std::string&>();
  const auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    Refuse(where, "expected a string of hexadecimal digits");
  };
  if (hex.size() % 2 != 0) Refuse(where, "expected an even number of hexadecimal digits");
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1])));
  }
  return bytes;
}

// A configuration is a list of tokens, joined with TABs, or the raw text.
std::string Configuration(const json& value, const std::string& where) {
  if (value.is_string()) return Utf8ToUtf16Le(value.get_ref<const std::string&>());
  if (!value.is_array()) Refuse(where, "expected a list of tokens or a string");
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string token_where = where + "[" + std::to_string(i) + "]";
    if (!value[i].is_string()) Refuse(token_where, "expected a string");
    const std::string& token = value[i].get_ref<const std::string&>();
    if (token.find('\t') != std::string::npos) Refuse(token_where, "must not hold a TAB");
    if (i > 0) text += '\t';
    text += token;
  }
  return Utf8ToUtf16Le(text);
}

Domain ParseDomain(const json& object, const std::string& where) {
  OnlyKeys(object, where,
           {"uid", "parent", "entry", "name", "third", "config", "status", "spyware",
            "uninstall_password", "unload_password", "dest_scan_type", "service_switch"});
  Domain domain;
  const json* uid = Find(object, "uid");
  const json* entry = Find(object, "entry");
  if (uid == nullptr) Refuse(where, "no uid");
  if (entry == nullptr) Refuse(where, "no entry");
  domain.uid = ReplyText(*uid, At(where, "uid"));
  if (domain.uid.empty()) Refuse(At(where, "uid"), "must not be empty");
  if (domain.uid == kRootUid) Refuse(At(where, "uid"), "the root is not a domain of the fixture");
  domain.entry = ReplyText(*entry, At(where, "entry"));
  domain.name = domain.entry;
  for (const auto& [key, value] : object.items()) {
    const std::string at = At(where, key);
    if (key == "parent") {
      domain.parent = ReplyText(value, at);
    } else if (key == "name") {
      domain.name = ReplyText(value, at);
    } else if (key == "third") {
      domain.third = ReplyText(value, at);
    } else if (key == "config") {
      if (!value.is_null()) domain.config = Configuration(value, at);
    } else if (key == "status") {
      domain.status = Int32(value, at);
    } else if (key == "spyware") {
      if (!value.is_array()) Refuse(at, "expected a list of numbers");
      for (size_t i = 0; i < value.size(); ++i) {
        domain.spyware.push_back(Int32(value[i], at + "[" + std::to_string(i) + "]"));
      }
    } else if (key == "uninstall_password") {
      domain.uninstall_password = ReplyText(value, at);
    } else if (key == "unload_password") {
      domain.unload_password = ReplyText(value, at);
    } else if (key == "dest_scan_type") {
      domain.dest_scan_type = UInt32(value, at);
    } else if (key == "service_switch") {
      if (!value.is_array() || value.size() != 3) Refuse(at, "expected a list of three numbers");
      domain.switch_first = UInt32(value[0], at + "[0]");
      domain.switch_second = Int32(value[1], at + "[1]");
      domain.switch_third = Int32(value[2], at + "[2]");
    }
  }
  return domain;
}

FaultRule ParseFault(const json& object, const std::string& where) {
  OnlyKeys(object, where,
           {"command", "match", "status", "drop_reply", "crash", "delay_ms", "pieces", "pause_ms",
            "reply", "reply_hex", "reply_bytes"});
  FaultRule rule;
  const json* command = Find(object, "command");
  if (command == nullptr) Refuse(where, "no command");
  rule.command = ReplyText(*command, At(where, "command"));
  if (FindCommandWord(platform::Utf8ToUtf16(rule.command)) == nullptr) {
    Refuse(At(where, "command"), "no command of the service is called '" + rule.command + "'");
  }
  const int replies = (Find(object, "reply") != nullptr) + (Find(object, "reply_hex") != nullptr) +
                      (Find(object, "reply_bytes") != nullptr);
  if (replies > 1) Refuse(where, "reply, reply_hex and reply_bytes exclude each other");
  for (const auto& [key, value] : object.items()) {
    const std::string at = At(where, key);
    if (key == "match") {
      rule.match = ReplyText(value, at);
    } else if (key == "status") {
      if (platform::Utf8ToUtf16(rule.command) != kDbv2ClientOnStart) {
        Refuse(at, "applies to DBV2_CLIENT_ON_START only");
      }
      rule.status = Int32(value, at);
    } else if (key == "drop_reply") {
      if (!value.is_boolean()) Refuse(at, "expected true or false");
      rule.drop_reply = value.get<bool>();
    } else if (key == "crash") {
      if (!value.is_boolean()) Refuse(at, "expected true or false");
      rule.crash = value.get<bool>();
    } else if (key == "delay_ms") {
      rule.delay_ms = static_cast<int>(Whole(value, at, 0, 3600000));
    } else if (key == "pieces") {
      rule.pieces = static_cast<int>(Whole(value, at, 1, 1000));
    } else if (key == "pause_ms") {
      rule.pause_ms = static_cast<int>(Whole(value, at, 0, 60000));
    } else if (key == "reply") {
      if (!value.is_string()) Refuse(at, "expected a string");
      rule.reply = Utf8ToUtf16Le(value.get_ref<const std::string&>());
    } else if (key == "reply_hex") {
      rule.reply = HexBytes(value, at);
    } else if (key == "reply_bytes") {
      rule.reply_bytes = Whole(value, at, 0, kMaxStreamedReplyBytes);
    }
  }
  return rule;
}

// Every parent is held by the fixture or is the root, and following parents
// from any domain reaches the root.
void CheckTree(const std::vector<Domain>& domains) {
  std::map<std::string, const Domain*> by_uid;
  for (size_t i = 0; i < domains.size(); ++i) {
    if (!by_uid.emplace(domains[i].uid, &domains[i]).second) {
      Refuse("domains[" + std::to_string(i) + "].uid", "'" + domains[i].uid + "' is held twice");
    }
  }
  enum class Mark { kOnPath, kReachesRoot };
  std::map<std::string, Mark> marks;
  for (const Domain& start : domains) {
    std::vector<const Domain*> path;
    const Domain* d = &start;
    while (!marks.contains(d->uid)) {
      marks[d->uid] = Mark::kOnPath;
      path.push_back(d);
      if (d->parent == kRootUid) break;
      const auto parent = by_uid.find(d->parent);
      if (parent == by_uid.end()) {
        throw FixtureError{"domain '" + d->uid + "' (" + d->entry + ") has the parent '" +
                           d->parent + "', which is neither the root nor a domain of the fixture"};
      }
      d = parent->second;
    }
    if (d->parent != kRootUid && marks[d->uid] == Mark::kOnPath) {
      std::string loop;
      for (auto it = std::find(path.begin(), path.end(), d); it != path.end(); ++it) {
        loop += "'" + (*it)->uid + "' -> ";
      }
      throw FixtureError{"the parents of the domains form a loop: " + loop + "'" + d->uid + "'"};
    }
    for (const Domain* p : path) marks[p->uid] = Mark::kReachesRoot;
  }
}

}  // namespace

bool ParseFixture(std::string_view json_text, Fixture* fixture, std::string* error) {
  try {
    const json root = json::parse(json_text);
    OnlyKeys(root, "", {"domains", "faults"});
    Fixture result;
    if (const json* domains = Find(root, "domains")) {
      if (!domains->is_array()) Refuse("domains", "expected a list");
      for (size_t i = 0; i < domains->size(); ++i) {
        result.domains.push_back(ParseDomain((*domains)[i], "domains[" + std::to_string(i) + "]"));
      }
    }
    if (const json* faults = Find(root, "faults")) {
      if (!faults->is_array()) Refuse("faults", "expected a list");
      for (size_t i = 0; i < faults->size(); ++i) {
        result.faults.push_back(ParseFault((*faults)[i], "faults[" + std::to_string(i) + "]"));
      }
    }
    CheckTree(result.domains);
    *fixture = std::move(result);
    return true;
  } catch (const json::exception& e) {
    *error = e.what();
  } catch (const FixtureError& e) {
    *error = e.message;
  }
  return false;
}

bool LoadFixture(const std::string& path, Fixture* fixture, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read the fixture " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (!ParseFixture(text.str(), fixture, error)) {
    *error = "fixture " + path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace dbservice
