// The system code page of POSIX systems: UTF-8.
#include "platform/text.h"

namespace platform {

std::string ToSystemCodePage(std::u16string_view text) { return Utf16ToUtf8(text); }
std::u16string FromSystemCodePage(std::string_view text) { return Utf8ToUtf16(text); }
bool SystemCodePageIsUtf8() { return true; }

}  // namespace platform
