#include "server/dbservice/wire_text.h"

#include <cstdint>

#include "platform/text.h"

namespace dbservice {

std::string ToUtf16Le(std::u16string_view text) {
  std::string bytes(2 * text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return bytes;
}

std::string Utf8ToUtf16Le(std::string_view text) { return ToUtf16Le(platform::Utf8ToUtf16(text)); }

std::u16string FromUtf16Le(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                    static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  return text;
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
