// Text conversions. The core keeps all text as UTF-16 (std::u16string);
// narrow text is in the system code page: UTF-8 on Linux, the "ANSI" code
// page on Windows (1252 in Western installations). Every conversion between
// the two lives here.
#ifndef PORTELLE_PLATFORM_TEXT_H_
#define PORTELLE_PLATFORM_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 to UTF-16. Invalid sequences (stray continuation bytes, overlong
// forms, surrogates, truncated sequences) each become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Windows-1252 to UTF-16. The five bytes that code page leaves undefined map
// to the C1 control characters of the same value, so every byte string
// survives a round trip.
std::u16string Windows1252ToUtf16(std::string_view text);

// UTF-16 to Windows-1252; characters the code page cannot hold become '?'.
std::string Utf16ToWindows1252(std::u16string_view text);

// UTF-16LE bytes (a reply, a Config_String, a package field, a "Unicode"
// file) to text and back. The bytes need no alignment; an odd last byte is no
// whole unit and is dropped. A byte-order mark is not looked at: it is text.
std::u16string Utf16LeToText(std::string_view bytes);
std::string TextToUtf16Le(std::u16string_view text);

// The longest path, in bytes of the system code page without terminator,
// that the zip libraries, process creation and file copies take (MAX_PATH
// less the terminator).
inline constexpr size_t kMaxSystemPathBytes = 259;

// Text to the system code page and back. On Windows a character the code
// page cannot hold becomes '?', and a byte sequence it does not define
// becomes the character the system maps it to; on POSIX systems these are
// the UTF-8 conversions above.
std::string ToSystemCodePage(std::u16string_view text);
std::u16string FromSystemCodePage(std::string_view text);

// True when the system code page is UTF-8, so that narrow text holds every
// character.
bool SystemCodePageIsUtf8();

// Simple case folding of one UTF-16 unit: ASCII, Latin-1, Latin Extended-A,
// Greek, Cyrillic and the full-width Latin letters. Other units are returned
// unchanged.
char16_t FoldCase(char16_t c);

// Case-insensitive equality under FoldCase.
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);  // UTF-8 input

// The text with every unit passed through FoldCase.
std::u16string FoldCaseCopy(std::u16string_view text);

// Length of a NUL-terminated UTF-16 string.
size_t StringLength(const char16_t* text);

}  // namespace platform

#endif  // PORTELLE_PLATFORM_TEXT_H_
