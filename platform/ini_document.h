// A parsed INI file as the private-profile functions see it.
//
// Every line is kept exactly as read, with its own line break (CR LF, CR or
// LF; a run of breaks is several breaks with blank lines between them), so
// that a rewrite changes only the lines an edit touched. The file's encoding
// is kept as well: UTF-16LE (byte-order mark FF FE), UTF-8 (with or without
// the mark EF BB BF) when the text is valid UTF-8, else Windows-1252. New
// lines use the file's own line break, that of its first line; CR LF for a
// file that has none.
//
// Reading rules: a line whose first non-blank character is '[' and that holds
// a ']' is a section header named by the trimmed text between the first '['
// and the last ']'; a line starting with ';' is a comment; any other line of a
// section is an entry when it holds a '=' (key and value are the trimmed parts
// around the first '='), else plain text. Lines before the first header belong
// to no section. Names given to the functions below are trimmed and compare
// with the file's names under simple case folding; of several sections with
// one name only the first is used, and of several keys in a section only the
// first.
#ifndef PORTELLE_PLATFORM_INI_DOCUMENT_H_
#define PORTELLE_PLATFORM_INI_DOCUMENT_H_

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

// The blanks trimmed around lines, names and values: space, tab, vertical
// tab, form feed and Ctrl-Z (0x1A).
bool IsIniBlank(char16_t c);

// The outcome of an edit. kInvalid: the input would not read back as what
// was asked for (a line break in a name or value, a key that would read as a
// comment or header, or a key holding '='); the document is left as it was.
enum class IniEdit { kUnchanged, kChanged, kInvalid };

class IniDocument {
 public:
  // A file that does not exist yet: UTF-8 without byte-order mark, CR LF.
  IniDocument();
  // The file whose content is `bytes`. Any bytes are accepted.
  explicit IniDocument(std::string_view bytes);
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // The file's content in its own encoding, byte-order mark included.
  // Characters the encoding cannot hold are written as '?'.
  std::string Serialize() const;

  // The trimmed value of `key` in `section` (quotes kept). False when the
  // section or the key is missing; a line without '=' is not a key.
  bool FindValue(std::u16string_view section, std::u16string_view key,
                 std::u16string_view* value) const;

  // Lists: each item followed by a NUL, nothing after the last one.
  // The keys of the section's entries in file order (empty when missing).
  std::u16string KeyNames(std::u16string_view section) const;
  // Every header's name in file order, duplicates included.
  std::u16string SectionNames() const;
  // The section's entries as "key=value" (both trimmed) and its plain-text
  // lines trimmed, in file order; comments and blank lines left out.
  std::u16string SectionLines(std::u16string_view section) const;

  // Sets `key` to `value`, which is written as given. An existing key's line
  // becomes key=value with the file's spelling of the key; a missing key is
  // inserted after the last non-blank line of its section; a missing section
  // is appended at the end.
  IniEdit SetValue(std::u16string_view section, std::u16string_view key, std::u16string_view value);
  // Removes the line of `key`.
  IniEdit DeleteKey(std::u16string_view section, std::u16string_view key);
  // Removes the header and every line of the section up to its last
  // non-blank line; blank lines before the next header stay.
  IniEdit DeleteSection(std::u16string_view section);
  // Replaces the section's lines (entries and comments; blank lines before the
  // next header stay) by `entries`, or appends the section when missing.
  // Entries without '=' are skipped; the others are written with key and
  // value trimmed of leading blanks. An entry that would read as a header is
  // refused (kInvalid), as is a line break in any entry.
  IniEdit ReplaceSection(std::u16string_view section,
                         const std::vector<std::u16string_view>& entries);

 private:
  enum class Codec : uint8_t { kUtf8, kWindows1252, kUtf16Le };
  enum class LineBreak : uint8_t { kNone, kCrLf, kCr, kLf };
  enum class Kind : uint8_t { kBlank, kComment, kHeader, kEntry, kText };

  struct Line {
    std::u16string text;  // as read, without the line break
    LineBreak line_break = LineBreak::kNone;
    Kind kind = Kind::kBlank;
    // kHeader: the name; kEntry: the key; kText: the trimmed text.
    size_t name_pos = 0;
    size_t name_size = 0;
    // kEntry: the value.
    size_t value_pos = 0;
    size_t value_size = 0;

    std::u16string_view name() const { return {text.data() + name_pos, name_size}; }
    std::u16string_view value() const { return {text.data() + value_pos, value_size}; }
  };
  using Lines = std::list<Line>;
  using LineIt = Lines::iterator;

  struct Section {
    LineIt header;
    std::unordered_map<std::u16string, LineIt> keys;  // folded key -> first entry
  };

  static constexpr size_t kNoSection = static_cast<size_t>(-1);

  static void Classify(Line* line);
  Line NewLine(std::u16string text) const;
  void SplitLines(std::u16string_view text);
  void IndexKeys(size_t section);
  void IndexSectionNames();
  size_t FindSection(std::u16string_view name) const;
  LineIt SectionEnd(size_t section);
  LineIt LastContentLine(size_t section);
  template <typename Visit>
  void ForEachLine(size_t section, Visit&& visit) const;
  LineIt InsertAfter(LineIt pos, Line line);
  size_t AppendSection(std::u16string_view name);

  Lines lines_;
  std::vector<Section> sections_;                             // in file order
  std::unordered_map<std::u16string, size_t> first_section_;  // folded name -> index
  Codec codec_ = Codec::kUtf8;
  bool bom_ = false;
  LineBreak new_line_break_ = LineBreak::kCrLf;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_INI_DOCUMENT_H_
