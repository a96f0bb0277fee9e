// The system code page on Windows: the process's "ANSI" code page (GetACP),
// converted with the system's own tables.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/text.h"

namespace platform {

std::string ToSystemCodePage(std::u16string_view text) {
  if (text.empty()) return {};
  // Longer texts than an int counts are cut; no path or message comes near.
  const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX / 4));
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const UINT code_page = ::GetACP();
  const int size = ::WideCharToMultiByte(code_page, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(code_page, 0, wide, length, result.data(), size, nullptr, nullptr);
  return result;
}

std::u16string FromSystemCodePage(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX / 2));
  const UINT code_page = ::GetACP();
  const int size = ::MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::u16string result(static_cast<size_t>(size), u'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), length,
                        reinterpret_cast<wchar_t*>(result.data()), size);
  return result;
}

bool SystemCodePageIsUtf8() { return ::GetACP() == CP_UTF8; }

}  // namespace platform
