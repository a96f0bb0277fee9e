// The cipher of values the server stores enciphered in its INI files, such
// as the entries of the web-threat approved lists.
//
// Stored form (narrow text, in the system code page):
//
//   "!CRYPT!" HEX(IV) HEX(CIPHERTEXT)
//
//   IV          16 random bytes, a fresh one for every value enciphered;
//   CIPHERTEXT  AES-128-CBC of the plain text's bytes with PKCS#7 padding,
//               so a whole number of 16-byte blocks, at least one;
//   HEX         two hexadecimal digits per byte, high digit first; written
//               in upper case, read in either case.
//   key         the first 16 bytes of SHA-256 of two strings the program
//               holds apart and joins at run time.
//
// A stored value is therefore at least 7 + 64 characters long, and its plain
// text is always shorter than the stored form.
#ifndef PORTELLE_MIGRATE_STOREDVALUECIPHER_H_
#define PORTELLE_MIGRATE_STOREDVALUECIPHER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace stored_value {

inline constexpr std::string_view kMarker = "!CRYPT!";
inline constexpr std::u16string_view kWideMarker = u"!CRYPT!";
inline constexpr size_t kBlockSize = 16;

using InitVector = std::array<uint8_t, kBlockSize>;

// The plain text of a stored form, or nothing when `stored` lacks the marker
// or does not decipher (a character that is not a hexadecimal digit, an odd
// number of digits, a length that is not IV plus whole blocks, bad padding).
std::optional<std::string> DecipherStoredValue(std::string_view stored);

// The stored form of `plain` under a fresh random IV, or under `iv`.
std::string EncipherStoredValue(std::string_view plain);
std::string EncipherStoredValue(std::string_view plain, const InitVector& iv);

// The value an INI entry stands for: a marked entry is taken into the system
// code page, deciphered and taken back, and ends at its first NUL; an
// unmarked entry, or one that does not decipher, gives the empty string.
// The result is never longer than `value`.
std::u16string RevealStoredValue(std::u16string_view value);

}  // namespace stored_value

#endif  // PORTELLE_MIGRATE_STOREDVALUECIPHER_H_
