#include "platform/ini_document.h"

#include <iterator>
#include <utility>

#include "platform/text.h"

namespace platform {
namespace {

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::u16string_view kLineBreakUnits = u"\r\n";

std::u16string_view Trim(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsIniBlank(text[begin])) ++begin;
  while (end > begin && IsIniBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::u16string_view TrimLeading(std::u16string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsIniBlank(text[begin])) ++begin;
  return text.substr(begin);
}

// The form names are indexed under: trimmed and case-folded.
std::u16string IndexName(std::u16string_view name) { return FoldCaseCopy(Trim(name)); }

bool HasLineBreak(std::u16string_view text) {
  return text.find_first_of(kLineBreakUnits) != std::u16string_view::npos;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-8 cannot hold a surrogate that is not part of a pair.
void ReplaceUnpairedSurrogates(std::u16string* text) {
  for (size_t i = 0; i < text->size(); ++i) {
    const char16_t c = (*text)[i];
    if (IsHighSurrogate(c) && i + 1 < text->size() && IsLowSurrogate((*text)[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      (*text)[i] = u'?';
    }
  }
}

}  // namespace

bool IsIniBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0x1A;
}

IniDocument::IniDocument() = default;

IniDocument::IniDocument(std::string_view bytes) {
  std::u16string text;
  if (bytes.starts_with(kUtf16LeBom)) {
    codec_ = Codec::kUtf16Le;
    bom_ = true;
    // An odd last byte is no unit: it is ignored, and a rewrite drops it.
    text = Utf16LeToText(bytes.substr(kUtf16LeBom.size()));
  } else {
    if (bytes.starts_with(kUtf8Bom)) {
      bom_ = true;
      bytes.remove_prefix(kUtf8Bom.size());
    }
    // Text that is not valid UTF-8 most likely comes from a Windows server;
    // read as Windows-1252 every byte survives a rewrite unchanged.
    if (IsValidUtf8(bytes)) {
      codec_ = Codec::kUtf8;
      text = Utf8ToUtf16(bytes);
    } else {
      codec_ = Codec::kWindows1252;
      text = Windows1252ToUtf16(bytes);
    }
  }
  SplitLines(text);
  for (LineIt it = lines_.begin(); it != lines_.end(); ++it) {
    if (it->kind == Kind::kHeader) sections_.push_back(Section{it, {}});
  }
  for (size_t i = 0; i < sections_.size(); ++i) IndexKeys(i);
  IndexSectionNames();
}

void IniDocument::SplitLines(std::u16string_view text) {
  bool first_break = true;
  size_t start = 0;
  while (start < text.size()) {
    Line line;
    const size_t end = text.find_first_of(kLineBreakUnits, start);
    if (end == std::u16string_view::npos) {
      line.text.assign(text.substr(start));
      start = text.size();
    } else {
      line.text.assign(text.substr(start, end - start));
      if (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') {
        line.line_break = LineBreak::kCrLf;
        start = end + 2;
      } else {
        line.line_break = text[end] == u'\r' ? LineBreak::kCr : LineBreak::kLf;
        start = end + 1;
      }
      if (first_break) new_line_break_ = line.line_break;
      first_break = false;
    }
    Classify(&line);
    lines_.push_back(std::move(line));
  }
}

void IniDocument::Classify(Line* line) {
  const std::u16string& t = line->text;
  const auto set_trimmed = [&t](size_t begin, size_t end, size_t* pos, size_t* size) {
    const std::u16string_view part = Trim(std::u16string_view(t).substr(begin, end - begin));
    *pos = static_cast<size_t>(part.data() - t.data());
    *size = part.size();
  };
  line->name_pos = line->name_size = line->value_pos = line->value_size = 0;
  size_t begin = 0;
  size_t end = t.size();
  while (begin < end && IsIniBlank(t[begin])) ++begin;
  while (end > begin && IsIniBlank(t[end - 1])) --end;
  if (begin == end) {
    line->kind = Kind::kBlank;
    return;
  }
  if (t[begin] == u'[') {
    const size_t close = t.rfind(u']');
    if (close != std::u16string::npos) {
      line->kind = Kind::kHeader;
      set_trimmed(begin + 1, close, &line->name_pos, &line->name_size);
      return;
    }
  }
  if (t[begin] == u';') {
    line->kind = Kind::kComment;
    return;
  }
  const size_t equals = t.find(u'=', begin);
  if (equals == std::u16string::npos) {
    line->kind = Kind::kText;
    set_trimmed(begin, end, &line->name_pos, &line->name_size);
    return;
  }
  line->kind = Kind::kEntry;
  set_trimmed(begin, equals, &line->name_pos, &line->name_size);
  set_trimmed(equals + 1, end, &line->value_pos, &line->value_size);
}

IniDocument::Line IniDocument::NewLine(std::u16string text) const {
  Line line;
  line.text = std::move(text);
  line.line_break = new_line_break_;
  Classify(&line);
  return line;
}

std::string IniDocument::Serialize() const {
  size_t units = 0;
  for (const Line& line : lines_) units += line.text.size() + 2;
  std::u16string text;
  text.reserve(units);
  for (const Line& line : lines_) {
    text += line.text;
    switch (line.line_break) {
      case LineBreak::kNone:
        break;
      case LineBreak::kCrLf:
        text += u"\r\n";
        break;
      case LineBreak::kCr:
        text += u'\r';
        break;
      case LineBreak::kLf:
        text += u'\n';
        break;
    }
  }
  std::string out;
  switch (codec_) {
    case Codec::kUtf16Le:
      out = kUtf16LeBom;
      out += TextToUtf16Le(text);
      break;
    case Codec::kUtf8:
      if (bom_) out = kUtf8Bom;
      ReplaceUnpairedSurrogates(&text);
      out += Utf16ToUtf8(text);
      break;
    case Codec::kWindows1252:
      if (bom_) out = kUtf8Bom;
      out += Utf16ToWindows1252(text);
      break;
  }
  return out;
}

void IniDocument::IndexKeys(size_t section) {
  Section& s = sections_[section];
  s.keys.clear();
  for (LineIt it = std::next(s.header); it != lines_.end() && it->kind != Kind::kHeader; ++it) {
    if (it->kind == Kind::kEntry) s.keys.emplace(FoldCaseCopy(it->name()), it);
  }
}

void IniDocument::IndexSectionNames() {
  first_section_.clear();
  for (size_t i = 0; i < sections_.size(); ++i) {
    first_section_.emplace(FoldCaseCopy(sections_[i].header->name()), i);
  }
}

size_t IniDocument::FindSection(std::u16string_view name) const {
  const auto it = first_section_.find(IndexName(name));
  return it == first_section_.end() ? kNoSection : it->second;
}

template <typename Visit>
void IniDocument::ForEachLine(size_t section, Visit&& visit) const {
  Lines::const_iterator it = sections_[section].header;
  for (++it; it != lines_.end() && it->kind != Kind::kHeader; ++it) visit(*it);
}

IniDocument::LineIt IniDocument::SectionEnd(size_t section) {
  return section + 1 < sections_.size() ? sections_[section + 1].header : lines_.end();
}

IniDocument::LineIt IniDocument::LastContentLine(size_t section) {
  LineIt last = SectionEnd(section);
  do {
    --last;
  } while (last != sections_[section].header && last->kind == Kind::kBlank);
  return last;
}

IniDocument::LineIt IniDocument::InsertAfter(LineIt pos, Line line) {
  if (pos->line_break == LineBreak::kNone) pos->line_break = new_line_break_;
  return lines_.insert(std::next(pos), std::move(line));
}

size_t IniDocument::AppendSection(std::u16string_view name) {
  if (!lines_.empty() && lines_.back().line_break == LineBreak::kNone) {
    lines_.back().line_break = new_line_break_;
  }
  std::u16string header = u"[";
  header += name;
  header += u']';
  lines_.push_back(NewLine(std::move(header)));
  sections_.push_back(Section{std::prev(lines_.end()), {}});
  first_section_.emplace(FoldCaseCopy(name), sections_.size() - 1);
  return sections_.size() - 1;
}

bool IniDocument::FindValue(std::u16string_view section, std::u16string_view key,
                            std::u16string_view* value) const {
  const size_t s = FindSection(section);
  if (s == kNoSection) return false;
  const auto& keys = sections_[s].keys;
  const auto it = keys.find(IndexName(key));
  if (it == keys.end()) return false;
  *value = it->second->value();
  return true;
}

// In the NUL-separated lists an empty name would read as the end of the list
// and hide every name after it, so entries with an empty key ("=value") and
// "[]" headers are left out of the name lists.
std::u16string IniDocument::KeyNames(std::u16string_view section) const {
  std::u16string list;
  const size_t s = FindSection(section);
  if (s == kNoSection) return list;
  ForEachLine(s, [&list](const Line& line) {
    if (line.kind == Kind::kEntry && line.name_size > 0) {
      list += line.name();
      list += u'\0';
    }
  });
  return list;
}

std::u16string IniDocument::SectionNames() const {
  std::u16string list;
  for (const Section& section : sections_) {
    if (section.header->name_size == 0) continue;
    list += section.header->name();
    list += u'\0';
  }
  return list;
}

std::u16string IniDocument::SectionLines(std::u16string_view section) const {
  std::u16string list;
  const size_t s = FindSection(section);
  if (s == kNoSection) return list;
  ForEachLine(s, [&list](const Line& line) {
    if (line.kind == Kind::kEntry) {
      list += line.name();
      list += u'=';
      list += line.value();
      list += u'\0';
    } else if (line.kind == Kind::kText) {
      list += line.name();
      list += u'\0';
    }
  });
  return list;
}

IniEdit IniDocument::SetValue(std::u16string_view section, std::u16string_view key,
                              std::u16string_view value) {
  const std::u16string_view name = Trim(section);
  const std::u16string_view key_name = Trim(key);
  if (HasLineBreak(name) || HasLineBreak(key_name) || HasLineBreak(value)) {
    return IniEdit::kInvalid;
  }
  std::u16string text(key_name);
  text += u'=';
  text += value;
  Line line = NewLine(std::move(text));
  // A key starting with ';' would make a comment, one starting with '[' a
  // header when the value holds ']', and a '=' in the key would move the
  // split: none of these would read back as the key asked for.
  if (line.kind != Kind::kEntry || line.name_pos != 0 || line.name_size != key_name.size()) {
    return IniEdit::kInvalid;
  }
  size_t s = FindSection(name);
  if (s == kNoSection) {
    s = AppendSection(name);
    const LineIt inserted = InsertAfter(sections_[s].header, std::move(line));
    sections_[s].keys.emplace(FoldCaseCopy(key_name), inserted);
    return IniEdit::kChanged;
  }
  auto& keys = sections_[s].keys;
  const auto found = keys.find(FoldCaseCopy(key_name));
  if (found == keys.end()) {
    const LineIt inserted = InsertAfter(LastContentLine(s), std::move(line));
    keys.emplace(FoldCaseCopy(key_name), inserted);
    return IniEdit::kChanged;
  }
  Line& existing = *found->second;
  std::u16string updated(existing.name());
  updated += u'=';
  updated += value;
  if (updated == existing.text) return IniEdit::kUnchanged;
  existing.text = std::move(updated);
  Classify(&existing);
  return IniEdit::kChanged;
}

IniEdit IniDocument::DeleteKey(std::u16string_view section, std::u16string_view key) {
  const size_t s = FindSection(section);
  if (s == kNoSection) return IniEdit::kUnchanged;
  const auto found = sections_[s].keys.find(IndexName(key));
  if (found == sections_[s].keys.end()) return IniEdit::kUnchanged;
  lines_.erase(found->second);
  IndexKeys(s);  // a later line with the same key becomes the one used
  return IniEdit::kChanged;
}

IniEdit IniDocument::DeleteSection(std::u16string_view section) {
  const size_t s = FindSection(section);
  if (s == kNoSection) return IniEdit::kUnchanged;
  const LineIt end = std::next(LastContentLine(s));
  lines_.erase(sections_[s].header, end);
  sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(s));
  IndexSectionNames();  // a later section with the same name becomes the one used
  return IniEdit::kChanged;
}

IniEdit IniDocument::ReplaceSection(std::u16string_view section,
                                    const std::vector<std::u16string_view>& entries) {
  const std::u16string_view name = Trim(section);
  if (HasLineBreak(name)) return IniEdit::kInvalid;
  std::vector<Line> new_lines;
  new_lines.reserve(entries.size());
  for (std::u16string_view entry : entries) {
    const size_t equals = entry.find(u'=');
    if (equals == std::u16string_view::npos) continue;
    std::u16string text(TrimLeading(entry.substr(0, equals)));
    text += u'=';
    text += TrimLeading(entry.substr(equals + 1));
    if (HasLineBreak(text)) return IniEdit::kInvalid;
    new_lines.push_back(NewLine(std::move(text)));
    if (new_lines.back().kind == Kind::kHeader) return IniEdit::kInvalid;
  }
  size_t s = FindSection(name);
  if (s == kNoSection) {
    s = AppendSection(name);
  } else {
    const LineIt end = std::next(LastContentLine(s));
    lines_.erase(std::next(sections_[s].header), end);
  }
  LineIt pos = sections_[s].header;
  for (Line& line : new_lines) pos = InsertAfter(pos, std::move(line));
  IndexKeys(s);
  return IniEdit::kChanged;
}

}  // namespace platform
