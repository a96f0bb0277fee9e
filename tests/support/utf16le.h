// Test files in UTF-16LE, the encoding Windows tools write "Unicode" text in.
#ifndef PORTELLE_TESTS_SUPPORT_UTF16LE_H_
#define PORTELLE_TESTS_SUPPORT_UTF16LE_H_

#include <string>
#include <string_view>

namespace testing_support {

// The byte-order mark FF FE followed by `text`, low byte of each unit first.
std::string Utf16LeWithBom(std::u16string_view text);

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_UTF16LE_H_
