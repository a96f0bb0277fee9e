// The cryptographic primitives the system's own cryptographic library
// provides: SHA-256, AES-128 in CBC mode and random bytes. Padding, key
// derivation and text forms are the callers' business; these are the bare
// algorithms, so that both systems' libraries can be held to the same
// published test vectors.
#ifndef PORTELLE_PLATFORM_CIPHER_H_
#define PORTELLE_PLATFORM_CIPHER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/status.h"

namespace platform {

inline constexpr size_t kSha256Size = 32;
using Sha256Digest = std::array<uint8_t, kSha256Size>;

// The SHA-256 digest of `data`.
Status Sha256(std::string_view data, Sha256Digest* digest);

// Fills `buffer` from the system's cryptographic random generator.
Status RandomBytes(std::span<uint8_t> buffer);

inline constexpr size_t kAesBlockSize = 16;
using AesBlock = std::array<uint8_t, kAesBlockSize>;
using Aes128Key = std::array<uint8_t, 16>;

// AES-128 in CBC mode under one key, over whole 16-byte blocks without any
// padding. Each call takes its own initialisation vector and starts from it,
// so one object serves any number of values; the key schedule is built once
// where the system's library allows it (OpenSSL), per call on Windows. An
// object is used by one thread at a time.
class Aes128Cbc {
 public:
  explicit Aes128Cbc(const Aes128Key& key);
  ~Aes128Cbc();
  Aes128Cbc(const Aes128Cbc&) = delete;
  Aes128Cbc& operator=(const Aes128Cbc&) = delete;

  // Why the key could not be set up; ok() when it was.
  const Status& status() const { return status_; }

  // Enciphers or deciphers `in` into `out`, which must be as long; `in` must
  // be a whole number of blocks (kErrorInvalidParameter otherwise). `in` and
  // `out` may be the same bytes.
  Status Encipher(const AesBlock& iv, std::span<const uint8_t> in, std::span<uint8_t> out);
  Status Decipher(const AesBlock& iv, std::span<const uint8_t> in, std::span<uint8_t> out);

 private:
  struct State;
  std::unique_ptr<State> state_;
  Status status_;
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_CIPHER_H_
