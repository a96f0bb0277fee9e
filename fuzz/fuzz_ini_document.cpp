// The INI document parser: any bytes, then the reads the program makes and a
// rewrite that must parse again to the same sections.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  platform::IniDocument doc(bytes);
  const std::u16string sections = doc.SectionNames();
  // Every section's keys and lines, by the names the file gives.
  size_t start = 0;
  while (start < sections.size()) {
    size_t end = sections.find(u'\0', start);
    if (end == std::u16string::npos) end = sections.size();
    const std::u16string_view name(sections.data() + start, end - start);
    const std::u16string keys = doc.KeyNames(name);
    doc.SectionLines(name);
    const size_t key_end = keys.find(u'\0');
    if (!keys.empty()) {
      std::u16string_view value;
      doc.FindValue(name, std::u16string_view(keys).substr(0, key_end), &value);
    }
    start = end + 1;
  }
  const std::string text = doc.Serialize();
  platform::IniDocument again(text);
  if (again.SectionNames() != sections) __builtin_trap();
  // Edits on the parsed file.
  doc.SetValue(u"Fuzz", u"Key", u"Value");
  doc.DeleteKey(u"Fuzz", u"Key");
  doc.ReplaceSection(u"Fuzz", {u"a=1", u"b = 2"});
  doc.DeleteSection(u"Fuzz");
  doc.Serialize();
  return 0;
}
