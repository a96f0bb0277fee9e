#include "migrate/StoredValueCipher.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>
#include <vector>

#include "platform/text.h"

namespace stored_value {
namespace {

// The two halves of the key material, kept apart so that the key itself
// never appears in the program's data.
constexpr std::string_view kKeyPartA = "Portelle\x1fstored-value\x1f";
constexpr std::string_view kKeyPartB = "k7Qm#2vL9x!R4tWz";

constexpr size_t kKeySize = 16;
using Key = std::array<uint8_t, kKeySize>;

const Key& CipherKey() {
  static const Key key = [] {
    const std::string material = std::string(kKeyPartA) + std::string(kKeyPartB);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_size = 0;
    EVP_Digest(material.data(), material.size(), digest, &digest_size, EVP_sha256(), nullptr);
    Key k{};
    std::copy(digest, digest + kKeySize, k.begin());
    return k;
  }();
  return key;
}

// Fetched once: an implicit fetch on every initialisation costs more than
// deciphering a short value.
const EVP_CIPHER* Aes128Cbc() {
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
  return cipher;
}

struct ContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

// One deciphering context per thread with the key schedule already built:
// each value then only sets its IV.
EVP_CIPHER_CTX* DecipherContext() {
  thread_local const Context context = [] {
    Context c(EVP_CIPHER_CTX_new());
    if (c &&
        (Aes128Cbc() == nullptr ||
         EVP_DecryptInit_ex2(c.get(), Aes128Cbc(), CipherKey().data(), nullptr, nullptr) != 1)) {
      c.reset();
    }
    return c;
  }();
  return context.get();
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
  const uint8_t* iv = bytes->data();
  const uint8_t* ciphertext = iv + kBlockSize;
  const int ciphertext_size = static_cast<int>(bytes->size() - kBlockSize);

  EVP_CIPHER_CTX* const context = DecipherContext();
  if (context == nullptr || EVP_DecryptInit_ex2(context, nullptr, nullptr, iv, nullptr) != 1) {
    return std::nullopt;
  }
  // Deciphering never yields more than the ciphertext, padding removed.
  std::string plain(static_cast<size_t>(ciphertext_size), '\0');
  int written = 0;
  int final_written = 0;
  if (EVP_DecryptUpdate(context, reinterpret_cast<unsigned char*>(plain.data()), &written,
                        ciphertext, ciphertext_size) != 1 ||
      EVP_DecryptFinal_ex(context, reinterpret_cast<unsigned char*>(plain.data()) + written,
                          &final_written) != 1) {
    return std::nullopt;
  }
  plain.resize(static_cast<size_t>(written + final_written));
  return plain;
}

std::string EncipherStoredValue(std::string_view plain, const InitVector& iv) {
  const Context context(EVP_CIPHER_CTX_new());
  std::vector<uint8_t> ciphertext(plain.size() + kBlockSize);
  int written = 0;
  int final_written = 0;
  if (!context || Aes128Cbc() == nullptr ||
      EVP_EncryptInit_ex2(context.get(), Aes128Cbc(), CipherKey().data(), iv.data(), nullptr) !=
          1 ||
      EVP_EncryptUpdate(context.get(), ciphertext.data(), &written,
                        reinterpret_cast<const unsigned char*>(plain.data()),
                        static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptFinal_ex(context.get(), ciphertext.data() + written, &final_written) != 1) {
    return std::string();
  }
  std::string stored(kMarker);
  AppendHex(stored, iv.data(), iv.size());
  AppendHex(stored, ciphertext.data(), static_cast<size_t>(written + final_written));
  return stored;
}

std::string EncipherStoredValue(std::string_view plain) {
  InitVector iv{};
  if (RAND_bytes(iv.data(), static_cast<int>(iv.size())) != 1) return std::string();
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
