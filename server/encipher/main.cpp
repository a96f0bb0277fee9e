// bastionel-encipher: writes values in the enciphered form the server's
// console stores in its INI files ("!CRYPT!" + IV + ciphertext), one line per
// argument, so that sample installations can hold such values.
//
//   bastionel-encipher [--iv HEX32] TEXT...
//
// --iv fixes the 16-byte initial vector (32 hexadecimal digits) for every
// value, so that a generator writes the same files on every run; without it
// each value gets a fresh random one. Exit codes: 0 done, 2 bad command line.
#include <cstdio>
#include <string>
#include <string_view>

#include "migrate/StoredValueCipher.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseInitVector(std::string_view hex, stored_value::InitVector* iv) {
  if (hex.size() != 2 * iv->size()) return false;
  for (size_t i = 0; i < iv->size(); ++i) {
    const int high = HexDigit(hex[2 * i]);
    const int low = HexDigit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    (*iv)[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

int Usage() {
  std::fputs("usage: bastionel-encipher [--iv HEX32] TEXT...\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  bool fixed_iv = false;
  stored_value::InitVector iv{};
  if (argc > 1 && std::string_view(argv[1]) == "--iv") {
    if (argc < 3 || !ParseInitVector(argv[2], &iv)) return Usage();
    fixed_iv = true;
    first = 3;
  }
  if (first >= argc) return Usage();
  for (int i = first; i < argc; ++i) {
    const std::string stored = fixed_iv ? stored_value::EncipherStoredValue(argv[i], iv)
                                        : stored_value::EncipherStoredValue(argv[i]);
    std::printf("%s\n", stored.c_str());
  }
  return 0;
}
