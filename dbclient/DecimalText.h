// Decimal text to integer, on UTF-16 text, by the rules of the C library's
// wide conversions (wcstol, wcstoul, wcstoll) in base 10 as they behave on
// Windows, where long is 32 bits: leading white space (space, TAB, LF, VT, FF,
// CR) is skipped, one optional '+' or '-' is taken, and digits are read up to
// the first character that is not an ASCII digit (a NUL included). Text
// without digits gives 0. No locale is consulted.
#ifndef PORTELLE_DBCLIENT_DECIMALTEXT_H_
#define PORTELLE_DBCLIENT_DECIMALTEXT_H_

#include <cstdint>
#include <string_view>

namespace dbclient {

// As wcstol: a value outside the signed 32-bit range gives INT32_MIN or
// INT32_MAX.
int32_t DecimalToInt32(std::u16string_view text);

// As wcstoul: a leading '-' negates the value modulo 2^32; a magnitude above
// 4294967295 gives 4294967295 whatever the sign.
uint32_t DecimalToUInt32(std::u16string_view text);

// As wcstoll: a value outside the signed 64-bit range gives INT64_MIN or
// INT64_MAX.
int64_t DecimalToInt64(std::u16string_view text);

}  // namespace dbclient

#endif  // PORTELLE_DBCLIENT_DECIMALTEXT_H_
