#include "app/import_cli/ImportPreview.h"

#include <nlohmann/json.hpp>
#include <vector>

#include "platform/format.h"
#include "platform/string_table.h"
#include "platform/text.h"

namespace headless_import {
namespace {

using import_plan::DomainFate;
using import_plan::DomainPlan;
using import_plan::ImportPlan;
using import_plan::IniChange;

constexpr char16_t kIndent[] = u"  ";
constexpr char16_t kNoValue[] = u"(none)";

std::u16string Heading(int id, size_t count) {
  return platform::FormatMessageText(
             platform::AppMessage(id, platform::Format(u"%d", static_cast<int32_t>(count)))) +
         u"\n";
}

std::u16string ValueText(bool present, const std::u16string& value) {
  return present ? value : std::u16string(kNoValue);
}

std::u16string IniLine(const IniChange& change) {
  std::u16string line = kIndent + change.file + u" [" + change.section + u"] " + change.key + u": ";
  if (change.kept) {
    return line + ValueText(change.had_value, change.current) + u" (" +
           platform::FormatMessageText(
               platform::AppMessage(platform::kMsgPreviewValueKept, change.archive_value)) +
           u")\n";
  }
  return line + ValueText(change.had_value, change.current) + u" -> " +
         ValueText(change.has_value, change.next) + u"\n";
}

std::vector<const DomainPlan*> DomainsOf(const ImportPlan& plan, DomainFate fate) {
  std::vector<const DomainPlan*> domains;
  for (const DomainPlan& domain : plan.domains) {
    if (domain.fate == fate) domains.push_back(&domain);
  }
  return domains;
}

void AppendNames(int id, const std::vector<std::u16string>& names, std::u16string* text) {
  *text += Heading(id, names.size());
  for (const std::u16string& name : names) *text += kIndent + name + u"\n";
}

nlohmann::ordered_json Text(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

nlohmann::ordered_json OptionalText(bool present, const std::u16string& text) {
  return present ? Text(text) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json Names(const std::vector<std::u16string>& names) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const std::u16string& name : names) list.push_back(Text(name));
  return list;
}

nlohmann::ordered_json Domains(const ImportPlan& plan, DomainFate fate) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const DomainPlan* domain : DomainsOf(plan, fate)) {
    nlohmann::ordered_json object;
    object["uid"] = Text(domain->uid);
    object["entry_name"] = Text(domain->entry_name);
    object["domain_name"] = Text(domain->domain_name);
    object["parent_uid"] = Text(domain->parent_uid);
    list.push_back(std::move(object));
  }
  return list;
}

}  // namespace

std::u16string PreviewText(const ImportPlan& plan) {
  std::u16string text = platform::OneLine(platform::FormatMessageText(platform::AppMessage(
                            platform::kMsgPreviewHeading, plan.archive, plan.install))) +
                        u"\n";
  text += Heading(platform::kMsgPreviewIniChanges, plan.ini.size());
  for (const IniChange& change : plan.ini) text += IniLine(change);
  const struct {
    int id;
    DomainFate fate;
  } kDomainLists[] = {{platform::kMsgPreviewDomainsCreated, DomainFate::kCreated},
                      {platform::kMsgPreviewDuplicates, DomainFate::kDuplicate},
                      {platform::kMsgPreviewDomainsNotImported, DomainFate::kNotImported}};
  for (const auto& list : kDomainLists) {
    const std::vector<const DomainPlan*> domains = DomainsOf(plan, list.fate);
    if (domains.empty() && list.fate == DomainFate::kNotImported) continue;
    text += Heading(list.id, domains.size());
    for (const DomainPlan* domain : domains) {
      // As the duplicate-domain report names a domain.
      text +=
          kIndent + domain->domain_name + u"\\" + domain->entry_name + u" (" + domain->uid + u")\n";
    }
  }
  AppendNames(platform::kMsgPreviewFilesReplaced, plan.files_replaced, &text);
  AppendNames(platform::kMsgPreviewFilesAdded, plan.files_added, &text);
  AppendNames(platform::kMsgPreviewFilesRemoved, plan.files_removed, &text);
  text += platform::FormatMessageText(platform::kMsgPreviewComponentCalls) + u"\n";
  for (const std::u16string& call : plan.component_calls) text += kIndent + call + u"\n";
  return text;
}

std::string PreviewJson(const ImportPlan& plan) {
  nlohmann::ordered_json ini = nlohmann::ordered_json::array();
  for (const IniChange& change : plan.ini) {
    nlohmann::ordered_json object;
    object["file"] = Text(change.file);
    object["section"] = Text(change.section);
    object["key"] = Text(change.key);
    object["current"] = OptionalText(change.had_value, change.current);
    object["new"] = OptionalText(change.has_value, change.next);
    object["kept"] = change.kept;
    object["archive_value"] = OptionalText(change.kept, change.archive_value);
    ini.push_back(std::move(object));
  }
  nlohmann::ordered_json object;
  object["archive"] = Text(plan.archive);
  object["install_folder"] = Text(plan.install);
  object["previewed"] = true;
  object["ini_changes"] = std::move(ini);
  object["domains_created"] = Domains(plan, DomainFate::kCreated);
  object["duplicates_left_alone"] = Domains(plan, DomainFate::kDuplicate);
  object["domains_not_imported"] = Domains(plan, DomainFate::kNotImported);
  object["files_replaced"] = Names(plan.files_replaced);
  object["files_added"] = Names(plan.files_added);
  object["files_removed"] = Names(plan.files_removed);
  object["component_calls"] = Names(plan.component_calls);
  object["failure"] = nullptr;
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace headless_import
