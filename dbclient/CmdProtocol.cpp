#include "dbclient/CmdProtocol.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "dbclient/DecimalText.h"
#include "platform/text.h"

namespace {

constexpr char16_t kDefaultDelimiter[] = u"\t";

// Commands and new scan-configuration strings start with this much room, so
// that most are built without a reallocation.
constexpr size_t kInitialCapacity = 1024;

// Numeric reads copy the token into a buffer of this many characters, NUL
// included: what lies beyond the 19th character never reaches the conversion,
// so a number behind many blanks or leading zeros reads short.
constexpr size_t kNumberBufferChars = 20;

// Room for the decimal text of any 32-bit value, sign included.
constexpr size_t kDecimalChars = 11;

// Decimal text of `magnitude`, preceded by '-' when `negative`, written at the
// end of `buffer`.
std::u16string_view FormatDecimal(char16_t (&buffer)[kDecimalChars], uint32_t magnitude,
                                  bool negative) {
  size_t start = kDecimalChars;
  do {
    buffer[--start] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) buffer[--start] = u'-';
  return {buffer + start, kDecimalChars - start};
}

}  // namespace

CCmdProtocol::CCmdProtocol() : m_wstrDelimiter(kDefaultDelimiter) {
  m_wstrText.reserve(kInitialCapacity);
}

CCmdProtocol::CCmdProtocol(const char16_t* text, uint32_t length)
    : m_wstrDelimiter(kDefaultDelimiter) {
  if (text != nullptr) {
    if (length == kNulTerminated) {
      m_wstrText.assign(text, platform::StringLength(text));
    } else {
      m_wstrText =
          platform::Utf16LeToText(std::string_view(reinterpret_cast<const char*>(text), length));
    }
  }
  // A token appended to existing text needs a delimiter before it.
  m_bFirstToken = m_wstrText.empty();
}

CCmdProtocol::CCmdProtocol(std::u16string_view text)
    : m_wstrDelimiter(kDefaultDelimiter), m_wstrText(text), m_bFirstToken(text.empty()) {}

CCmdProtocol::CCmdProtocol(std::string_view utf16le_bytes)
    : m_wstrDelimiter(kDefaultDelimiter), m_wstrText(platform::Utf16LeToText(utf16le_bytes)) {
  m_bFirstToken = m_wstrText.empty();
}

CCmdProtocol::~CCmdProtocol() = default;

CCmdProtocol& CCmdProtocol::AppendToken(const char16_t* token, int length) {
  if (token == nullptr) return AppendToken(std::u16string_view());
  const size_t n = length < 0 ? platform::StringLength(token) : static_cast<size_t>(length);
  return AppendToken(std::u16string_view(token, n));
}

CCmdProtocol& CCmdProtocol::AppendToken(std::u16string_view token) {
  // Growing the text below would leave a token taken from the text itself
  // dangling; such a token is copied first.
  const char16_t* begin = m_wstrText.data();
  const char16_t* end = begin + m_wstrText.size();
  if (!token.empty() && std::greater_equal<>()(token.data(), begin) &&
      std::less<>()(token.data(), end)) {
    return AppendToken(std::u16string(token));
  }
  // Doubling ahead of need keeps a long scan-configuration string, rebuilt
  // token by token, to a few reallocations.
  if (m_wstrText.capacity() - m_wstrText.size() < token.size() + m_wstrDelimiter.size()) {
    m_wstrText.reserve(2 * m_wstrText.capacity());
  }
  if (m_bFirstToken) {
    m_bFirstToken = false;
  } else {
    m_wstrText += m_wstrDelimiter;
  }
  m_wstrText += token;
  return *this;
}

CCmdProtocol& CCmdProtocol::AppendInt(int32_t value) {
  char16_t buffer[kDecimalChars];
  // Negating in unsigned arithmetic also covers INT32_MIN.
  const uint32_t magnitude =
      value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  return AppendToken(FormatDecimal(buffer, magnitude, value < 0));
}

CCmdProtocol& CCmdProtocol::AppendWord(uint16_t value) { return AppendDword(value); }

CCmdProtocol& CCmdProtocol::AppendDword(uint32_t value) {
  char16_t buffer[kDecimalChars];
  return AppendToken(FormatDecimal(buffer, value, false));
}

std::u16string_view CCmdProtocol::TakeToken() {
  const std::u16string_view text = m_wstrText;
  if (m_nCursor >= text.size()) return {};
  const size_t start = m_nCursor;
  const size_t separator = m_wstrDelimiter.size() == 1 ? text.find(m_wstrDelimiter[0], start)
                                                       : text.find_first_of(m_wstrDelimiter, start);
  if (separator == std::u16string_view::npos) {
    m_nCursor = text.size();
    return text.substr(start);
  }
  m_nCursor = separator + 1;
  return text.substr(start, separator - start);
}

std::u16string_view CCmdProtocol::TakeNumber() {
  return TakeToken().substr(0, kNumberBufferChars - 1);
}

CCmdProtocol& CCmdProtocol::NextToken(std::u16string& token) {
  token = TakeToken();
  return *this;
}

CCmdProtocol& CCmdProtocol::NextToken(char16_t* buffer, size_t capacity) {
  const std::u16string_view token = TakeToken();
  if (buffer == nullptr || capacity == 0) return *this;
  const size_t n = std::min(token.size(), capacity - 1);
  std::copy_n(token.data(), n, buffer);
  buffer[n] = 0;
  return *this;
}

CCmdProtocol& CCmdProtocol::ReadWord(uint16_t& value) {
  value = static_cast<uint16_t>(dbclient::DecimalToInt32(TakeNumber()));
  return *this;
}

CCmdProtocol& CCmdProtocol::ReadDword(uint32_t& value) {
  value = dbclient::DecimalToUInt32(TakeNumber());
  return *this;
}

CCmdProtocol& CCmdProtocol::ReadInt(int32_t& value) {
  value = static_cast<int32_t>(dbclient::DecimalToInt64(TakeNumber()));
  return *this;
}

CCmdProtocol& CCmdProtocol::SkipTokens(int count) {
  for (int i = 0; i < count; ++i) TakeToken();
  return *this;
}
