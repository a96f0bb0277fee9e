#include "tests/support/utf16le.h"

#include "platform/text.h"

namespace testing_support {

std::string Utf16LeWithBom(std::u16string_view text) {
  return "\xFF\xFE" + platform::TextToUtf16Le(text);
}

}  // namespace testing_support
