#include "migrate/StoredValueCipher.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "platform/cipher.h"
#include "platform/text.h"

namespace stored_value {
namespace {

// The two halves of the key material, kept apart so that the key itself
// never appears in the program's data.
constexpr std::string_view kKeyPartA = "Portelle\x1fstored-value\x1f";
constexpr std::string_view kKeyPartB = "k7Qm#2vL9x!R4tWz";

// The key: the first 16 bytes of SHA-256 of the joined halves, or nothing
// when the system's digest failed.
const std::optional<platform::Aes128Key>& CipherKey() {
  static const std::optional<platform::Aes128Key> key = []() -> std::optional<platform::Aes128Key> {
    platform::Sha256Digest digest;
    if (!platform::Sha256(std::string(kKeyPartA) + std::string(kKeyPartB), &digest).ok()) {
      return std::nullopt;
    }
    platform::Aes128Key k{};
    std::copy(digest.begin(), digest.begin() + k.size(), k.begin());
    return k;
  }();
  return key;
}

// One cipher object per thread, set up once: each value then only brings
// its IV. Null when the key could not be set up.
platform::Aes128Cbc* Cipher() {
  thread_local const std::unique_ptr<platform::Aes128Cbc> cipher =
      []() -> std::unique_ptr<platform::Aes128Cbc> {
    if (!CipherKey()) return nullptr;
    auto c = std::make_unique<platform::Aes128Cbc>(*CipherKey());
    if (!c->status().ok()) return nullptr;
    return c;
  }();
  return cipher.get();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::vector<uint8_t>> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes(hex.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int high = HexDigit(hex[2 * i]);
    const int low = HexDigit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return bytes;
}

void AppendHex(std::string& out, const uint8_t* bytes, size_t size) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
}

}  // namespace

std::optional<std::string> DecipherStoredValue(std::string_view stored) {
  if (!stored.starts_with(kMarker)) return std::nullopt;
  const std::optional<std::vector<uint8_t>> bytes = FromHex(stored.substr(kMarker.size()));
  if (!bytes || bytes->size() < 2 * kBlockSize || bytes->size() % kBlockSize != 0) {
    return std::nullopt;
  }
  platform::Aes128Cbc* const cipher = Cipher();
  if (cipher == nullptr) return std::nullopt;
  InitVector iv;
  std::copy(bytes->begin(), bytes->begin() + kBlockSize, iv.begin());
  const std::span<const uint8_t> ciphertext(bytes->data() + kBlockSize, bytes->size() - kBlockSize);
  std::string plain(ciphertext.size(), '\0');
  const std::span<uint8_t> out(reinterpret_cast<uint8_t*>(plain.data()), plain.size());
  if (!cipher->Decipher(iv, ciphertext, out).ok()) return std::nullopt;

  // PKCS#7: the last byte n (1 to 16) says how many bytes of value n end the
  // text; anything else is not a value of ours.
  const size_t padding = out.back();
  if (padding == 0 || padding > kBlockSize) return std::nullopt;
  for (size_t i = out.size() - padding; i < out.size(); ++i) {
    if (out[i] != padding) return std::nullopt;
  }
  plain.resize(plain.size() - padding);
  return plain;
}

std::string EncipherStoredValue(std::string_view plain, const InitVector& iv) {
  platform::Aes128Cbc* const cipher = Cipher();
  if (cipher == nullptr) return std::string();
  // PKCS#7: 1 to 16 bytes, each holding their count, up to whole blocks.
  const size_t padding = kBlockSize - plain.size() % kBlockSize;
  std::vector<uint8_t> text(plain.begin(), plain.end());
  text.insert(text.end(), padding, static_cast<uint8_t>(padding));
  if (!cipher->Encipher(iv, text, text).ok()) return std::string();
  std::string stored(kMarker);
  AppendHex(stored, iv.data(), iv.size());
  AppendHex(stored, text.data(), text.size());
  return stored;
}

std::string EncipherStoredValue(std::string_view plain) {
  InitVector iv{};
  if (!platform::RandomBytes(iv).ok()) return std::string();
  return EncipherStoredValue(plain, iv);
}

std::u16string RevealStoredValue(std::u16string_view value) {
  if (!value.starts_with(kWideMarker)) return std::u16string();
  const std::optional<std::string> plain = DecipherStoredValue(platform::ToSystemCodePage(value));
  if (!plain) return std::u16string();
  // The server keeps the deciphered value in a C string.
  return platform::FromSystemCodePage(std::string_view(plain->c_str()));
}

}  // namespace stored_value
