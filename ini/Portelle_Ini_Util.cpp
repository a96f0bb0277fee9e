#include "ini/Portelle_Ini_Util.h"

#include <algorithm>
#include <span>
#include <vector>

#include "log/DebugLog.h"
#include "platform/format.h"
#include "platform/profile.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"

namespace util_HelperFunctions {
namespace {

constexpr char16_t kLogSource[] = u"Portelle_Ini_Util";

// Buffer sizes in UTF-16 units. The section and name-list reads return
// size - 2 when the list did not fit.
constexpr uint32_t kListBufferSize = 32767;
constexpr uint32_t kCutListLength = kListBufferSize - 2;
constexpr uint32_t kValueBufferSize = 1024;
constexpr size_t kMaxKeyNameLength = kValueBufferSize - 1;

constexpr char16_t kUrlFilterSection[] = u"URL_FILTER_INI_SECTION";

// A counted web-threat list: the count key and the prefix of its entries,
// which are numbered with three zero-filled digits.
struct CountedUrlList {
  std::u16string_view count_key;
  std::u16string_view entry_prefix;
};

constexpr CountedUrlList kUrlLists[] = {
    {u"URLFilterAWSLCount_InOffice", u"URLFilterAWSL_InOffice"},
    {u"URLFilterAWSLCount_OutOffice", u"URLFilterAWSL_OutOffice"},
    {u"URLFilterBlackListCount_InOffice", u"URLFilterBlackList_InOffice"},
    {u"URLFilterBlackListCount_OutOffice", u"URLFilterBlackList_OutOffice"},
};

// The prefixes of the numbered device-control keys of each section; an entry
// "Item" stands for "Item0", "Item1", … and their "ItemOut0", … forms.
constexpr std::u16string_view kPolicyKeys[] = {u"PolicyId", u"Action", u"Enable"};
constexpr std::u16string_view kExecutableListKeys[] = {u"Item", u"Type"};
constexpr std::u16string_view kApprovedListKeys[] = {u"Item"};

std::u16string ReadString(const std::u16string& file, const std::u16string& section,
                          const std::u16string& key, const std::u16string& default_value) {
  char16_t buffer[kValueBufferSize] = {};
  const uint32_t length = platform::GetPrivateProfileStringW(
      section.c_str(), key.c_str(), default_value.c_str(), buffer, kValueBufferSize, file.c_str());
  return std::u16string(buffer, length);
}

int32_t ReadInt(const std::u16string& file, const std::u16string& section,
                const std::u16string& key, int32_t default_value) {
  return static_cast<int32_t>(
      platform::GetPrivateProfileIntW(section.c_str(), key.c_str(), default_value, file.c_str()));
}

void WriteString(const std::u16string& file, const std::u16string& section,
                 const std::u16string& key, const std::u16string& value) {
  platform::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}

// The key names of a section in file order. When the list was cut at the
// buffer's end its last name may be broken off; that name is left out, so
// that a truncated name never turns into a key of its own.
std::vector<std::u16string> ReadKeyNames(const std::u16string& file,
                                         const std::u16string& section) {
  std::vector<char16_t> list(kListBufferSize, u'\0');
  const uint32_t length = platform::GetPrivateProfileStringW(
      section.c_str(), nullptr, u"", list.data(), kListBufferSize, file.c_str());
  size_t end = length;
  if (length == kCutListLength && list[end - 1] != u'\0') {
    while (end > 0 && list[end - 1] != u'\0') --end;
  }
  std::vector<std::u16string> names;
  for (size_t pos = 0; pos < end && list[pos] != u'\0';) {
    const std::u16string_view name(&list[pos]);
    names.emplace_back(name.substr(0, kMaxKeyNameLength));
    pos += name.size() + 1;
  }
  return names;
}

// Every key name of a section in file order, however many there are.
std::vector<std::u16string> ReadAllKeyNames(const std::u16string& file,
                                            const std::u16string& section) {
  std::vector<char16_t> list(kListBufferSize, u'\0');
  uint32_t length = 0;
  for (;;) {
    const auto size = static_cast<uint32_t>(list.size());
    length = platform::GetPrivateProfileStringW(section.c_str(), nullptr, u"", list.data(), size,
                                                file.c_str());
    if (length != size - 2) break;
    list.assign(list.size() * 2, u'\0');
  }
  std::vector<std::u16string> names;
  for (size_t pos = 0; pos < length && list[pos] != u'\0';) {
    names.emplace_back(&list[pos]);
    pos += names.back().size() + 1;
  }
  return names;
}

// The entry number of `name` when it is one of the numbered `keys` exactly
// as the copy loops spell their names (no extra leading zeros), else -1.
// Numbers above kMaxListEntries come back as kMaxListEntries + 1.
int64_t EntryNumber(std::u16string_view name, const NumberedKeys& keys) {
  if (name.size() <= keys.prefix.size() ||
      !platform::EqualsIgnoreCase(name.substr(0, keys.prefix.size()), keys.prefix)) {
    return -1;
  }
  const std::u16string_view digits = name.substr(keys.prefix.size());
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return -1;
  }
  const size_t shortest = keys.digits > 1 ? static_cast<size_t>(keys.digits) : 1;
  if (digits.size() < shortest || (digits.size() > shortest && digits[0] == u'0')) return -1;
  int64_t number = 0;
  for (const char16_t c : digits) {
    number = number * 10 + (c - u'0');
    if (number > kMaxListEntries) return kMaxListEntries + 1;
  }
  return number;
}

// The flag word of one side of the web-threat settings from its older
// enable and log switches; 0x8 is always part of the converted word.
int32_t MigratedCfgFlag(const std::u16string& src_file, const std::u16string& enable_key,
                        const std::u16string& log_key, std::u16string_view enabled_line,
                        std::u16string_view log_line) {
  int32_t flag = 0;
  if (ReadInt(src_file, kUrlFilterSection, enable_key, 0) != 0) {
    DEBUG_LOG(8, u"%s", enabled_line);
    flag |= 0x1;
  }
  if (ReadInt(src_file, kUrlFilterSection, log_key, 0) != 0) {
    DEBUG_LOG(8, u"%s", log_line);
    flag |= 0x10;
  }
  return flag | 0x8;
}

// Writes `value` under `key` and under `key` + "Out".
void WriteIntWithOutForm(const std::u16string& dest_file, const std::u16string& section,
                         const std::u16string& key, int32_t value) {
  WriteIniInt(section, key, value, dest_file);
  WriteIniInt(section, key + u"Out", value, dest_file);
}

// Reads an integer and writes it under `key` and under `key` + "Out".
void CopyIntWithOutForm(const std::u16string& src_file, const std::u16string& dest_file,
                        const std::u16string& section, const std::u16string& key,
                        int32_t default_value) {
  WriteIntWithOutForm(dest_file, section, key, ReadInt(src_file, section, key, default_value));
}

// Reads the "Count" of a device-control section, bounded by the numbered
// keys of `prefixes` that the source holds, and writes it under "Count"
// and "CountOut"; returns it.
int32_t CopyDeviceControlCount(const std::u16string& src_file, const std::u16string& dest_file,
                               const std::u16string& section,
                               std::span<const std::u16string_view> prefixes) {
  std::vector<NumberedKeys> keys;
  for (std::u16string_view prefix : prefixes) keys.push_back({prefix, 0});
  const int32_t count = BoundedListCount(src_file, section, u"Count",
                                         ReadInt(src_file, section, u"Count", 0), 0, keys);
  WriteIntWithOutForm(dest_file, section, u"Count", count);
  return count;
}

// For every number below `count`, copies the numbered keys of `prefixes`
// (missing ones as empty values), each also under its "Out" form.
void CopyNumberedWithOutForm(const std::u16string& src_file, const std::u16string& dest_file,
                             const std::u16string& section, int32_t count,
                             std::span<const std::u16string_view> prefixes) {
  for (int32_t i = 0; i < count; ++i) {
    for (std::u16string_view prefix : prefixes) {
      const std::u16string key = platform::Format(u"%s%d", prefix, i);
      const std::u16string value = ReadString(src_file, section, key, u"");
      WriteString(dest_file, section, key, value);
      WriteString(dest_file, section, platform::Format(u"%sOut%d", prefix, i), value);
    }
  }
}

}  // namespace

bool DuplicateIniSection(std::u16string_view src_file, std::u16string_view section,
                         std::u16string_view dest_file) {
  constexpr char16_t kFunc[] = u"util_HelperFunctions::DuplicateIniSection";
  DEBUG_LOG(68, u"%s - section[%s], srcFile[%s], DestFile[%s]", kFunc, section, src_file,
            dest_file);
  const std::u16string src(src_file);
  const std::u16string sect(section);
  const std::u16string dest(dest_file);

  std::vector<char16_t> data(kListBufferSize, u'\0');
  const uint32_t length =
      platform::GetPrivateProfileSectionW(sect.c_str(), data.data(), kListBufferSize, src.c_str());
  if (length == 0) {
    DEBUG_LOG(69, u"%s - nothing to copy", kFunc);
    return true;
  }
  // A cut section would lose its last keys in the destination: copy nothing.
  if (length == kCutListLength) {
    DEBUG_LOG(69,
              u"%s - the buffer is not large enough to contain all the key name and value pairs "
              u"associated with section [%s]",
              kFunc, section);
    return false;
  }
  if (!platform::WritePrivateProfileSectionW(sect.c_str(), data.data(), dest.c_str())) {
    DEBUG_LOG(69, u"%s - WritePrivateProfileSection failed. GetLastError() = %d", kFunc,
              platform::GetLastError());
    return false;
  }
  return true;
}

bool DuplicateIniValues(std::u16string_view src_file, std::u16string_view section,
                        std::u16string_view dest_file) {
  constexpr char16_t kFunc[] = u"util_HelperFunctions::DuplicateIniValues";
  DEBUG_LOG(68, u"%s - section[%s], srcFile[%s], destFile[%s]", kFunc, section, src_file,
            dest_file);
  const std::u16string src(src_file);
  const std::u16string sect(section);
  const std::u16string dest(dest_file);

  // Like every write below, a failing rewrite goes unnoticed.
  platform::ProfileWriteBatch writes(dest);
  for (const std::u16string& key : ReadKeyNames(src, sect)) {
    const std::u16string value = ReadString(src, sect, key, u"");
    DEBUG_LOG(68, u"%s - [+] writing [%s] (%s = %s)", kFunc, section, key, value);
    WriteString(dest, sect, key, value);
  }
  return true;
}

bool DuplicateIniKeyValue(std::u16string_view src_file, std::u16string_view src_section,
                          std::u16string_view key, std::u16string_view default_value,
                          std::u16string_view dest_file, std::u16string_view dest_section) {
  DEBUG_LOG(8,
            u"=>DuplicateIniKeyValue(srcFile[%s], sectName[%s], KeyName[%s], DestFile[%s], "
            u"DestSectName[%s]",
            src_file, src_section, key, dest_file, dest_section);
  const std::u16string value = ReadString(std::u16string(src_file), std::u16string(src_section),
                                          std::u16string(key), std::u16string(default_value));
  DEBUG_LOG(68, u"%s - [+] write %s::[%s] as (%s)", u"util_HelperFunctions::DuplicateIniKeyValue",
            src_section, key, value);
  WriteString(std::u16string(dest_file), std::u16string(dest_section), std::u16string(key), value);
  DEBUG_LOG(8, u"<= DuplicateIniKeyValue()");
  return true;
}

bool DuplicateIniKeyValue(std::u16string_view src_file, std::u16string_view section,
                          std::u16string_view key, std::u16string_view default_value,
                          std::u16string_view dest_file) {
  return DuplicateIniKeyValue(src_file, section, key, default_value, dest_file, section);
}

void WriteIniInt(std::u16string_view section, std::u16string_view key, int32_t number,
                 std::u16string_view file) {
  WriteString(std::u16string(file), std::u16string(section), std::u16string(key),
              platform::Format(u"%d", number));
}

std::u16string NewGuidText() {
  platform::Guid guid;
  if (!platform::CreateGuid(&guid)) return std::u16string();
  return platform::Format(u"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", guid.data1,
                          guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                          guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6],
                          guid.data4[7]);
}

int32_t BoundedListCount(std::u16string_view file, std::u16string_view section,
                         std::u16string_view count_key, int32_t count, int32_t floor,
                         std::span<const NumberedKeys> keys) {
  constexpr char16_t kFunc[] = u"util_HelperFunctions::BoundedListCount";
  if (count <= floor || count <= 0) return count;
  const std::u16string src(file);
  const std::u16string sect(section);
  int64_t highest = -1;
  for (const std::u16string& name : ReadAllKeyNames(src, sect)) {
    for (const NumberedKeys& k : keys) highest = std::max(highest, EntryNumber(name, k));
  }
  const int64_t present = std::max<int64_t>(highest + 1, floor);
  if (present >= count) {
    if (count <= kMaxListEntries) return count;
  } else if (present <= kMaxListEntries) {
    if (highest < 0) {
      DEBUG_LOG(69,
                u"%s - [%s] %s = %d in %s, but the section holds no entry: %d entries are "
                u"copied",
                kFunc, section, count_key, count, file, static_cast<int32_t>(present));
    } else {
      DEBUG_LOG(69,
                u"%s - [%s] %s = %d in %s, but no entry is numbered above %d: %d entries are "
                u"copied",
                kFunc, section, count_key, count, file, static_cast<int32_t>(highest),
                static_cast<int32_t>(present));
    }
    return static_cast<int32_t>(present);
  }
  DEBUG_LOG(69,
            u"%s - [%s] %s = %d in %s: no server holds more than %d entries, only these are "
            u"copied",
            kFunc, section, count_key, count, file, kMaxListEntries);
  return kMaxListEntries;
}

bool DuplicateWtpValues(std::u16string_view src_file, std::u16string_view dest_file,
                        bool bMigrateIniKeyName) {
  constexpr char16_t kFunc[] = u"util_HelperFunctions::DuplicateWtpValues";
  DEBUG_LOG(68, u"%s - => DuplicateWtpValues(srcFile[%s], DestFile[%s]), bMigrateIniKeyName = %d",
            kFunc, src_file, dest_file, bMigrateIniKeyName ? 1 : 0);
  const std::u16string src(src_file);
  const std::u16string dest(dest_file);
  platform::ProfileWriteBatch writes(dest);

  if (bMigrateIniKeyName) {
    WriteIniInt(
        kUrlFilterSection, u"URLFilterCfgFlag_InOffice",
        MigratedCfgFlag(src, u"URLFilterEnable_InOffice", u"URLFilterLogEnable_InOffice",
                        u"WTP is enabled for in-office", u"WTP log is enabled for in-office"),
        dest);
    WriteIniInt(
        kUrlFilterSection, u"URLFilterCfgFlag_OutOffice",
        MigratedCfgFlag(src, u"URLFilterEnable_OutOffice", u"URLFilterLogEnable_OutOffice",
                        u"WTP is enabled for out-office", u"WTP log is enabled for out-office"),
        dest);
  } else {
    DuplicateIniKeyValue(src, kUrlFilterSection, u"URLFilterCfgFlag_InOffice", u"0", dest);
    DuplicateIniKeyValue(src, kUrlFilterSection, u"URLFilterCfgFlag_OutOffice", u"0", dest);
  }
  DuplicateIniKeyValue(src, kUrlFilterSection, u"URLFilterRatingLevel_InOffice", u"1", dest);
  DuplicateIniKeyValue(src, kUrlFilterSection, u"URLFilterRatingLevel_OutOffice", u"1", dest);
  DuplicateIniKeyValue(src, kUrlFilterSection, u"URLFilterQueryMode_InOffice", u"0", dest);

  // An empty source list leaves the destination's own list in place.
  for (const CountedUrlList& list : kUrlLists) {
    const NumberedKeys entries[] = {{list.entry_prefix, 3}};
    const int32_t count = BoundedListCount(
        src, kUrlFilterSection, list.count_key,
        ReadInt(src, kUrlFilterSection, std::u16string(list.count_key), 0), 0, entries);
    if (count <= 0) continue;
    WriteIniInt(kUrlFilterSection, list.count_key, count, dest);
    for (int32_t i = 0; i < count; ++i) {
      DuplicateIniKeyValue(src, kUrlFilterSection,
                           platform::Format(u"%s%03d", list.entry_prefix, i), u"", dest);
    }
  }
  DEBUG_LOG(68, u"%s - <= DuplicateWtpValues()", kFunc);
  return true;
}

bool DuplicateDeviceControlValues(std::u16string_view src_file, std::u16string_view dest_file) {
  constexpr char16_t kFunc[] = u"util_HelperFunctions::DuplicateDeviceControlValues";
  DEBUG_LOG(68, u"%s - => DuplicateDeviceControlValues(srcFile[%s], DestFile[%s])", kFunc, src_file,
            dest_file);
  const std::u16string src(src_file);
  const std::u16string dest(dest_file);
  platform::ProfileWriteBatch writes(dest);

  const std::u16string policy = u"VIGIL_DACPolicy";
  const int32_t policy_count = CopyDeviceControlCount(src, dest, policy, kPolicyKeys);
  CopyIntWithOutForm(src, dest, policy, u"Enable", 1);
  CopyIntWithOutForm(src, dest, policy, u"PopAlert", 1);
  CopyNumberedWithOutForm(src, dest, policy, policy_count, kPolicyKeys);

  const std::u16string executables = u"DAC_EXECUTABLE_LIST";
  CopyNumberedWithOutForm(src, dest, executables,
                          CopyDeviceControlCount(src, dest, executables, kExecutableListKeys),
                          kExecutableListKeys);

  const std::u16string approved = u"DAC_APPROVED_LIST";
  CopyNumberedWithOutForm(src, dest, approved,
                          CopyDeviceControlCount(src, dest, approved, kApprovedListKeys),
                          kApprovedListKeys);

  DEBUG_LOG(68, u"%s - <= DuplicateDeviceControlValues()", kFunc);
  return true;
}

}  // namespace util_HelperFunctions
