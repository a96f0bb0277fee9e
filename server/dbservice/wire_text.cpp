#include "server/dbservice/wire_text.h"

#include "platform/text.h"

namespace dbservice {

std::string Utf8ToUtf16Le(std::string_view text) {
  return platform::TextToUtf16Le(platform::Utf8ToUtf16(text));
}

bool FitsInReplyRecord(std::string_view text) {
  return text.find_first_of(std::string_view("\t\n\0", 3)) == std::string_view::npos;
}

std::vector<std::u16string> SplitAtTabs(std::u16string_view text) {
  std::vector<std::u16string> tokens;
  for (size_t start = 0;;) {
    const size_t tab = text.find(u'\t', start);
    tokens.emplace_back(text.substr(start, tab == std::u16string_view::npos ? tab : tab - start));
    if (tab == std::u16string_view::npos) return tokens;
    start = tab + 1;
  }
}

}  // namespace dbservice
