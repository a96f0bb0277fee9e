#include "examine/ArchiveExaminer.h"

#include <minizip/unzip.h>

#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <string_view>

#include "package/PackageDataFile.h"
#include "package/ScanConfigLayout.h"
#include "package/ServerSettings.pb.h"
#include "platform/format.h"
#include "platform/ini_document.h"
#include "platform/string_table.h"
#include "platform/text.h"

namespace examine {
namespace {

using scan_config_layout::kFixedCount;
using scan_config_layout::kTailCount;

// Longer member names than any file system allows are refused.
constexpr size_t kMaxNameBytes = 4096;
// A member that inflates beyond this is not part of an export archive.
constexpr uint64_t kMaxMemberBytes = uint64_t{1} << 30;

struct UnzipCloser {
  void operator()(void* handle) const { unzClose(handle); }
};
using UnzipHandle = std::unique_ptr<void, UnzipCloser>;

bool IsPackageMember(std::string_view name) {
  return platform::EqualsIgnoreCase(name,
                                    platform::ToSystemCodePage(package::kPackageDataFileName));
}

// Reads the current member to its end, keeping its bytes in *bytes when
// given. False, with *error, for bad data, a CRC mismatch or a member larger
// than `limit`.
bool ReadMember(unzFile zip, const std::string& name, uint64_t limit, std::string* bytes,
                std::string* error) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) {
    *error = "member " + name + " cannot be opened (unknown compression or damaged header)";
    return false;
  }
  char chunk[65536];
  uint64_t total = 0;
  for (;;) {
    const int n = unzReadCurrentFile(zip, chunk, sizeof chunk);
    if (n < 0) {
      unzCloseCurrentFile(zip);
      *error = platform::FormatA("member %s does not read back (error %d)", name, n);
      return false;
    }
    if (n == 0) break;
    total += static_cast<uint64_t>(n);
    if (total > limit) {
      unzCloseCurrentFile(zip);
      *error = platform::FormatA("member %s is larger than %llu bytes", name, limit);
      return false;
    }
    if (bytes != nullptr) bytes->append(chunk, static_cast<size_t>(n));
  }
  if (unzCloseCurrentFile(zip) != UNZ_OK) {
    *error = "member " + name + " does not match its CRC";
    return false;
  }
  return true;
}

// A UTF-16LE field as UTF-8.
std::string Text(const std::string& bytes) {
  return platform::Utf16ToUtf8(platform::Utf16LeToText(bytes));
}

void DescribeConfig(const std::string& bytes, DomainRecord* record) {
  record->config_bytes = bytes.size();
  const std::u16string text = platform::Utf16LeToText(bytes);
  if (text.empty()) return;
  size_t count = 1;
  size_t count_begin = std::u16string::npos;  // token 63, the spyware list count
  size_t count_end = text.size();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\t') continue;
    ++count;
    if (count == kFixedCount + 1) count_begin = i + 1;
    if (count == kFixedCount + 2) count_end = i;
  }
  record->config_tokens = count;
  if (count_begin == std::u16string::npos || count_begin == count_end) return;
  uint64_t n = 0;
  for (size_t i = count_begin; i < count_end; ++i) {
    if (text[i] < u'0' || text[i] > u'9' || n > UINT32_MAX) return;
    n = n * 10 + static_cast<uint64_t>(text[i] - u'0');
  }
  if (n > UINT32_MAX) return;
  record->spyware_count = static_cast<uint32_t>(n);
  record->current_layout = count == kFixedCount + 1 + n + kTailCount;
}

DomainRecord Describe(const SKVA_Server_Settings::ScanConfigs& in) {
  DomainRecord out;
  out.uid = Text(in.domain_uid());
  out.uid_bytes = in.domain_uid().size();
  out.parent_uid = Text(in.parent_uid());
  out.parent_uid_bytes = in.parent_uid().size();
  out.domain_name = Text(in.domain_name());
  out.domain_name_bytes = in.domain_name().size();
  if (in.has_domain_name_size()) out.domain_name_size = in.domain_name_size();
  out.computer_name = Text(in.computer_name());
  out.computer_name_bytes = in.computer_name().size();
  if (in.has_computer_name_size()) out.computer_name_size = in.computer_name_size();
  out.uninstall_bytes = in.client_uninstall().size();
  out.unload_bytes = in.client_unload().size();
  out.has_config = in.has_config_string();
  if (out.has_config) DescribeConfig(in.config_string(), &out);
  return out;
}

// The INI sections of the carried text, each with its number of keys.
std::vector<IniSection> Sections(const std::string& ini_bytes) {
  const platform::IniDocument document(ini_bytes);
  std::vector<IniSection> sections;
  const std::u16string names = document.SectionNames();
  size_t start = 0;
  while (start < names.size()) {
    size_t end = names.find(u'\0', start);
    if (end == std::u16string::npos) end = names.size();
    const std::u16string_view name(names.data() + start, end - start);
    size_t keys = 0;
    for (char16_t c : document.KeyNames(name)) keys += c == u'\0' ? 1 : 0;
    sections.push_back({platform::Utf16ToUtf8(name), keys});
    start = end + 1;
  }
  return sections;
}

bool DecodePackage(const std::string& bytes, ArchiveReport* report, std::string* error) {
  SKVA_Server_Settings::SettingAggregation package;
  const package::PackageStatus decoded =
      package::DecodePackageData(bytes, u"portelle-examine", &package);
  if (!decoded.ok()) {
    std::string why = "skva.dat is not a settings package";
    if (decoded.corrupted()) {
      why += " (" +
             platform::Utf16ToUtf8(
                 platform::OneLine(platform::FormatMessageText(platform::kMsgDataFileCorrupted))) +
             ")";
    }
    *error = why;
    return false;
  }
  report->has_package = true;
  if (package.has_original_skva_ver()) report->version = package.original_skva_ver();
  if (package.has_original_servicepack_ver()) {
    report->service_pack = package.original_servicepack_ver();
  }
  if (package.has_original_patch_ver()) report->patch = package.original_patch_ver();
  for (const auto& record : package.scanconfigs()) report->domains.push_back(Describe(record));
  report->has_ini = package.has_global_config_string();
  report->ini_bytes = package.global_config_string().size();
  if (report->has_ini) report->ini_sections = Sections(package.global_config_string());
  return true;
}

bool Examine(const std::string& path, ArchiveReport* report, std::string* error) {
  const UnzipHandle zip(unzOpen64(path.c_str()));
  if (!zip) {
    *error = path + " cannot be opened as a zip archive";
    return false;
  }
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip.get(), &global) != UNZ_OK) {
    *error = path + ": the archive's directory cannot be read";
    return false;
  }
  if (global.number_entry > kMaxMembers) {
    *error = platform::FormatA("%s: %llu members, more than an export archive holds", path,
                               static_cast<unsigned long long>(global.number_entry));
    return false;
  }
  std::string package_bytes;
  bool package_found = false;
  int step = global.number_entry > 0 ? unzGoToFirstFile(zip.get()) : UNZ_END_OF_LIST_OF_FILE;
  while (step == UNZ_OK) {
    unz_file_info64 info{};
    char name[kMaxNameBytes + 1] = {};
    if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
            UNZ_OK ||
        info.size_filename > kMaxNameBytes) {
      *error = path + ": a member's header cannot be read";
      return false;
    }
    MemberInfo member{std::string(name, info.size_filename), info.uncompressed_size,
                      info.compressed_size, static_cast<int>(info.compression_method)};
    const bool is_package = IsPackageMember(member.name);
    if (is_package && package_found) {
      *error = path + ": more than one skva.dat";
      return false;
    }
    package_found = package_found || is_package;
    report->members.push_back(member);
    if (!ReadMember(zip.get(), member.name, is_package ? kMaxPackageMemberBytes : kMaxMemberBytes,
                    is_package ? &package_bytes : nullptr, error)) {
      return false;
    }
    step = unzGoToNextFile(zip.get());
  }
  if (step != UNZ_END_OF_LIST_OF_FILE) {
    *error = path + ": the archive's directory is damaged";
    return false;
  }
  if (!package_found) {
    *error = path + " holds no skva.dat: it is not an export archive";
    return false;
  }
  return DecodePackage(package_bytes, report, error);
}

// Text for a terminal: control characters of a hostile name are shown as '?'.
std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

std::string Optional(const std::optional<int32_t>& value) {
  return value ? std::to_string(*value) : std::string("(absent)");
}

}  // namespace

bool ExamineArchive(const std::string& path, ArchiveReport* report, std::string* error) {
  *report = ArchiveReport();
  try {
    return Examine(path, report, error);
  } catch (const std::bad_alloc&) {
    *error = path + ": out of memory while reading the archive";
    return false;
  }
}

std::string ReportText(const ArchiveReport& report) {
  std::string out = platform::FormatA("Members (%d):\n", static_cast<int>(report.members.size()));
  for (const MemberInfo& m : report.members) {
    out += platform::FormatA("  %-44s %10llu bytes  %s\n", Printable(m.name),
                             static_cast<unsigned long long>(m.size),
                             m.method == 8   ? "deflated"
                             : m.method == 0 ? "stored"
                                             : "other");
  }
  if (!report.has_package) return out;
  out += "Package (skva.dat):\n";
  out += "  Original_SKVA_Ver         " +
         (report.version ? platform::FormatA("%g", *report.version) : std::string("(absent)")) +
         "\n";
  out += "  Original_ServicePack_Ver  " + Optional(report.service_pack) + "\n";
  out += "  Original_Patch_Ver        " + Optional(report.patch) + "\n";
  out += platform::FormatA("  Domains (%d, children before parents):\n",
                           static_cast<int>(report.domains.size()));
  for (size_t i = 0; i < report.domains.size(); ++i) {
    const DomainRecord& d = report.domains[i];
    out +=
        platform::FormatA("  %3d. %s  \"%s\"  entry \"%s\"\n", static_cast<int>(i + 1),
                          Printable(d.uid), Printable(d.domain_name), Printable(d.computer_name));
    out += platform::FormatA("       parent %s  passwords %d/%d bytes  ", Printable(d.parent_uid),
                             static_cast<int>(d.uninstall_bytes), static_cast<int>(d.unload_bytes));
    if (!d.has_config) {
      out += "no configuration\n";
    } else {
      out += platform::FormatA("configuration %d tokens (%d spyware entries%s)\n",
                               static_cast<int>(d.config_tokens), static_cast<int>(d.spyware_count),
                               d.current_layout ? ", current layout" : ", NOT the current layout");
    }
  }
  if (!report.has_ini) {
    out += "  INI settings: none\n";
    return out;
  }
  out += platform::FormatA("  INI sections carried (%d, %d bytes):\n",
                           static_cast<int>(report.ini_sections.size()),
                           static_cast<int>(report.ini_bytes));
  for (const IniSection& s : report.ini_sections) {
    out += platform::FormatA("    [%s] %d keys\n", Printable(s.name), static_cast<int>(s.keys));
  }
  return out;
}

std::string ReportJson(const ArchiveReport& report) {
  using json = nlohmann::ordered_json;
  json root;
  json members = json::array();
  for (const MemberInfo& m : report.members) {
    members.push_back({{"name", m.name},
                       {"size", m.size},
                       {"compressed_size", m.compressed_size},
                       {"method", m.method}});
  }
  root["members"] = members;
  if (report.has_package) {
    json package;
    package["Original_SKVA_Ver"] = report.version ? json(*report.version) : json(nullptr);
    package["Original_ServicePack_Ver"] =
        report.service_pack ? json(*report.service_pack) : json(nullptr);
    package["Original_Patch_Ver"] = report.patch ? json(*report.patch) : json(nullptr);
    json domains = json::array();
    for (const DomainRecord& d : report.domains) {
      json record = {
          {"uid", d.uid},
          {"uid_bytes", d.uid_bytes},
          {"parent_uid", d.parent_uid},
          {"parent_uid_bytes", d.parent_uid_bytes},
          {"domain_name", d.domain_name},
          {"domain_name_bytes", d.domain_name_bytes},
          {"domain_name_size", d.domain_name_size ? json(*d.domain_name_size) : json(nullptr)},
          {"computer_name", d.computer_name},
          {"computer_name_bytes", d.computer_name_bytes},
          {"computer_name_size",
           d.computer_name_size ? json(*d.computer_name_size) : json(nullptr)},
          {"client_uninstall_bytes", d.uninstall_bytes},
          {"client_unload_bytes", d.unload_bytes},
          {"has_config", d.has_config}};
      if (d.has_config) {
        record["config_bytes"] = d.config_bytes;
        record["config_tokens"] = d.config_tokens;
        record["spyware_count"] = d.spyware_count;
        record["current_layout"] = d.current_layout;
      }
      domains.push_back(record);
    }
    package["domains"] = domains;
    if (report.has_ini) {
      json sections = json::array();
      for (const IniSection& s : report.ini_sections) {
        sections.push_back({{"name", s.name}, {"keys", s.keys}});
      }
      package["ini"] = {{"bytes", report.ini_bytes}, {"sections", sections}};
    } else {
      package["ini"] = nullptr;
    }
    root["package"] = package;
  }
  return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace examine
