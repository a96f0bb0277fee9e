#include "platform/registry_file.h"

#include <utility>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/status.h"
#include "platform/text.h"

namespace platform {
namespace {

using KeyMap = std::map<std::u16string, RegistryValues>;

constexpr std::u16string_view kHeaderVersion5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeaderVersion4 = u"REGEDIT4";

std::u16string Decode(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    return Utf16LeToText(bytes.substr(2));
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return Utf8ToUtf16(bytes);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::u16string_view Trim(std::u16string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// What may follow a complete value: nothing or a comment.
bool EndsCleanly(std::u16string_view rest) {
  rest = TrimLeft(rest);
  return rest.empty() || rest.front() == u';';
}

bool StartsWithIgnoreCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

class LineReader {
 public:
  explicit LineReader(std::u16string_view text) : text_(text) {}

  // The next line without its end (LF or CR LF); false after the last one.
  bool Next(std::u16string_view* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find(u'\n', pos_);
    if (end == std::u16string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    if (!line->empty() && line->back() == u'\r') line->remove_suffix(1);
    pos_ = end + 1;
    return true;
  }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
};

// Reads the quoted text at the start of *s (which begins with '"') and
// removes it from *s; false when the closing quote is missing.
bool ReadQuoted(std::u16string_view* s, std::u16string* out) {
  out->clear();
  for (size_t i = 1; i < s->size(); ++i) {
    const char16_t c = (*s)[i];
    if (c == u'"') {
      s->remove_prefix(i + 1);
      return true;
    }
    if (c == u'\\' && i + 1 < s->size() && ((*s)[i + 1] == u'\\' || (*s)[i + 1] == u'"')) {
      ++i;
      out->push_back((*s)[i]);
      continue;
    }
    out->push_back(c);
  }
  return false;
}

// 1 to 8 hex digits and nothing but a comment after them.
bool ReadDword(std::u16string_view s, uint32_t* value) {
  uint32_t v = 0;
  size_t digits = 0;
  for (; digits < s.size(); ++digits) {
    const char16_t c = s[digits];
    uint32_t d;
    if (c >= u'0' && c <= u'9') {
      d = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
      d = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
      d = c - u'A' + 10;
    } else {
      break;
    }
    if (digits == 8) return false;
    v = v << 4 | d;
  }
  if (digits == 0 || !EndsCleanly(s.substr(digits))) return false;
  *value = v;
  return true;
}

bool IsHexData(std::u16string_view data) {
  return StartsWithIgnoreCase(data, u"hex") && data.size() > 3 &&
         (data[3] == u':' || data[3] == u'(');
}

// A "[...]" line: the key that the following values belong to, or nullptr
// when the line deletes a key or is malformed (its values are then dropped
// rather than given to the key before it).
RegistryValues* ApplyKeyLine(std::u16string_view line, KeyMap* keys) {
  if (line.size() < 3 || line.back() != u']') return nullptr;
  std::u16string_view path = line.substr(1, line.size() - 2);
  const bool remove = path.front() == u'-';
  if (remove) path.remove_prefix(1);
  if (path.empty()) return nullptr;
  const std::u16string folded = FoldCaseCopy(path);
  if (remove) {
    keys->erase(folded);
    const std::u16string below = folded + u'\\';
    auto it = keys->lower_bound(below);
    while (it != keys->end() && it->first.starts_with(below)) it = keys->erase(it);
    return nullptr;
  }
  for (size_t pos = folded.find(u'\\'); pos != std::u16string::npos;
       pos = folded.find(u'\\', pos + 1)) {
    (*keys)[folded.substr(0, pos)];
  }
  return &(*keys)[folded];
}

// A value line ("Name"=... or @=...). `key` may be nullptr, in which case the
// line is still read to its end so that its continuation lines are consumed.
void ApplyValueLine(std::u16string_view line, LineReader* lines, RegistryValues* key) {
  std::u16string name;
  std::u16string_view rest = line;
  if (rest.front() == u'@') {
    rest.remove_prefix(1);
  } else if (!ReadQuoted(&rest, &name)) {
    return;
  }
  rest = TrimLeft(rest);
  if (rest.empty() || rest.front() != u'=') return;
  rest = TrimLeft(rest.substr(1));

  RegistryValue value;
  if (IsHexData(rest)) {
    while (!line.empty() && line.back() == u'\\' && lines->Next(&line)) line = Trim(line);
    value.type = RegistryValue::Type::kOther;
  } else if (!rest.empty() && rest.front() == u'-') {
    if (EndsCleanly(rest.substr(1)) && key != nullptr) key->erase(FoldCaseCopy(name));
    return;
  } else if (!rest.empty() && rest.front() == u'"') {
    if (!ReadQuoted(&rest, &value.text) || !EndsCleanly(rest)) return;
    value.type = RegistryValue::Type::kString;
  } else if (StartsWithIgnoreCase(rest, u"dword:")) {
    if (!ReadDword(rest.substr(6), &value.dword)) return;
    value.type = RegistryValue::Type::kDword;
  } else {
    return;
  }
  if (key != nullptr) (*key)[FoldCaseCopy(name)] = std::move(value);
}

}  // namespace

RegistryFile RegistryFile::Parse(std::string_view bytes) {
  RegistryFile file;
  const std::u16string text = Decode(bytes);
  LineReader lines(text);
  std::u16string_view line;
  bool header_seen = false;
  RegistryValues* key = nullptr;
  while (lines.Next(&line)) {
    line = Trim(line);
    if (line.empty()) continue;
    if (!header_seen) {
      if (line != kHeaderVersion5 && line != kHeaderVersion4) return file;
      header_seen = true;
    } else if (line.front() == u'[') {
      key = ApplyKeyLine(line, &file.keys_);
    } else if (line.front() == u'"' || line.front() == u'@') {
      ApplyValueLine(line, &lines, key);
    }
  }
  return file;
}

const RegistryValues* RegistryFile::FindKey(std::u16string_view path) const {
  const auto it = keys_.find(FoldCaseCopy(path));
  return it == keys_.end() ? nullptr : &it->second;
}

namespace {

const RegistryValue* FindValue(const RegistryValues* values, std::u16string_view name,
                               RegistryValue::Type type) {
  if (values == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return nullptr;
  }
  const auto it = values->find(FoldCaseCopy(name));
  if (it == values->end()) {
    SetLastError(kErrorFileNotFound);
    return nullptr;
  }
  if (it->second.type != type) {
    SetLastError(kErrorRegistryValueType);
    return nullptr;
  }
  return &it->second;
}

}  // namespace

std::u16string RegistryFileKeyPath(RegistryRoot root, std::u16string_view subkey) {
  std::u16string path;
  switch (root) {
    case RegistryRoot::kLocalMachine:
      path = u"HKEY_LOCAL_MACHINE";
      break;
  }
  if (!subkey.empty()) {
    path += u'\\';
    path += subkey;
  }
  return path;
}

bool OpenRegistryFileKey(const std::string& native_store_path, std::u16string_view path,
                         RegistryValues* values) {
  std::string bytes;
  const Status read = ReadNativeFile(native_store_path, &bytes);
  if (!read.ok()) {
    SetLastError(read.code());
    return false;
  }
  const RegistryFile file = RegistryFile::Parse(bytes);
  const RegistryValues* found = file.FindKey(path);
  if (found == nullptr) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  *values = *found;
  return true;
}

bool QueryRegistryFileString(const RegistryValues* values, std::u16string_view name,
                             size_t capacity_units, std::u16string* value) {
  const RegistryValue* found = FindValue(values, name, RegistryValue::Type::kString);
  if (found == nullptr) return false;
  if (found->text.size() >= capacity_units) {
    SetLastError(kErrorRegistryMoreData);
    return false;
  }
  *value = found->text;
  return true;
}

bool QueryRegistryFileDword(const RegistryValues* values, std::u16string_view name,
                            uint32_t* value) {
  const RegistryValue* found = FindValue(values, name, RegistryValue::Type::kDword);
  if (found == nullptr) return false;
  *value = found->dword;
  return true;
}

}  // namespace platform
