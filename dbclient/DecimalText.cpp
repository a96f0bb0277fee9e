#include "dbclient/DecimalText.h"

#include <limits>

namespace dbclient {
namespace {

// The sign and magnitude of the number at the start of a text. A magnitude
// that does not fit 64 bits is flagged rather than wrapped, so that each
// conversion can saturate at its own bounds.
struct Magnitude {
  bool negative = false;
  bool overflow = false;
  uint64_t value = 0;
};

bool IsBlank(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');  // TAB, LF, VT, FF, CR
}

Magnitude Scan(std::u16string_view text) {
  Magnitude m;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    m.negative = text[i] == u'-';
    ++i;
  }
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - u'0');
    if (m.overflow || m.value > (kMax - digit) / 10) {
      m.overflow = true;
    } else {
      m.value = m.value * 10 + digit;
    }
  }
  return m;
}

// Signed conversion of a magnitude to the range of T, saturating.
template <typename T>
T ToSigned(const Magnitude& m) {
  constexpr uint64_t kMaxPositive = static_cast<uint64_t>(std::numeric_limits<T>::max());
  if (m.negative) {
    if (m.overflow || m.value > kMaxPositive + 1) return std::numeric_limits<T>::min();
    // Unsigned negation, so that the most negative value needs no special case.
    return static_cast<T>(static_cast<int64_t>(0 - m.value));
  }
  if (m.overflow || m.value > kMaxPositive) return std::numeric_limits<T>::max();
  return static_cast<T>(m.value);
}

}  // namespace

int32_t DecimalToInt32(std::u16string_view text) { return ToSigned<int32_t>(Scan(text)); }

int64_t DecimalToInt64(std::u16string_view text) { return ToSigned<int64_t>(Scan(text)); }

uint32_t DecimalToUInt32(std::u16string_view text) {
  const Magnitude m = Scan(text);
  constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();
  if (m.overflow || m.value > kMax) return kMax;
  const uint32_t value = static_cast<uint32_t>(m.value);
  return m.negative ? 0u - value : value;
}

}  // namespace dbclient
