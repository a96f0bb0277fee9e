// The cryptographic primitives over the Windows cryptography API (CNG):
// BCrypt's SHA-256 and AES providers, the latter in CBC mode, and its
// system-preferred random generator.
#include <windows.h>
// windows.h first: the CNG header needs its types.
#include <bcrypt.h>
#include <winternl.h>

#include <algorithm>
#include <string>

#include "platform/cipher.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// A failed BCrypt call: its name and the Windows error its status stands for.
Status Failed(std::string_view call, NTSTATUS status) {
  ULONG code = ::RtlNtStatusToDosError(status);
  if (code == 0 || code == ERROR_MR_MID_NOT_FOUND) code = ERROR_INTERNAL_ERROR;
  return Status::Error(static_cast<int>(code), call);
}

// An algorithm provider, opened once for the process and kept: opening one
// costs far more than using it.
struct Provider {
  BCRYPT_ALG_HANDLE handle = nullptr;
  NTSTATUS status = 0;
};

const Provider& Sha256Provider() {
  static const Provider provider = [] {
    Provider p;
    p.status = ::BCryptOpenAlgorithmProvider(&p.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    return p;
  }();
  return provider;
}

const Provider& AesCbcProvider() {
  static const Provider provider = [] {
    Provider p;
    p.status = ::BCryptOpenAlgorithmProvider(&p.handle, BCRYPT_AES_ALGORITHM, nullptr, 0);
    if (Succeeded(p.status)) {
      wchar_t mode[] = BCRYPT_CHAIN_MODE_CBC;
      p.status = ::BCryptSetProperty(p.handle, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(mode),
                                     sizeof mode, 0);
    }
    return p;
  }();
  return provider;
}

}  // namespace

Status Sha256(std::string_view data, Sha256Digest* digest) {
  const Provider& provider = Sha256Provider();
  if (!Succeeded(provider.status))
    return Failed("BCryptOpenAlgorithmProvider SHA256", provider.status);
  BCRYPT_HASH_HANDLE hash = nullptr;
  NTSTATUS status = ::BCryptCreateHash(provider.handle, &hash, nullptr, 0, nullptr, 0, 0);
  if (!Succeeded(status)) return Failed("BCryptCreateHash", status);
  // BCryptHashData takes at most 4 GiB at a time.
  std::string_view rest = data;
  while (Succeeded(status) && !rest.empty()) {
    const ULONG piece = static_cast<ULONG>((std::min<size_t>)(rest.size(), 0x40000000));
    status =
        ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data())), piece, 0);
    rest.remove_prefix(piece);
  }
  if (Succeeded(status)) {
    status = ::BCryptFinishHash(hash, digest->data(), static_cast<ULONG>(digest->size()), 0);
    if (!Succeeded(status)) {
      ::BCryptDestroyHash(hash);
      return Failed("BCryptFinishHash", status);
    }
  } else {
    ::BCryptDestroyHash(hash);
    return Failed("BCryptHashData", status);
  }
  ::BCryptDestroyHash(hash);
  return Status();
}

Status RandomBytes(std::span<uint8_t> buffer) {
  std::span<uint8_t> rest = buffer;
  while (!rest.empty()) {
    const ULONG piece = static_cast<ULONG>((std::min<size_t>)(rest.size(), 0x40000000));
    const NTSTATUS status =
        ::BCryptGenRandom(nullptr, rest.data(), piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (!Succeeded(status)) return Failed("BCryptGenRandom", status);
    rest = rest.subspan(piece);
  }
  return Status();
}

namespace {

// A key object for one call. Wine 8's BCrypt keeps the chaining state in
// the key object and starts afresh only when a call brings an IV other than
// the last one, so that a second value under the same IV would continue
// from where the first ended; a key object per call starts every value from
// its own IV on every system. Making one costs a key schedule, which is
// small beside the call itself.
class ScopedKey {
 public:
  explicit ScopedKey(const Aes128Key& bytes) {
    const Provider& provider = AesCbcProvider();
    status_ = provider.status;
    if (!Succeeded(status_)) return;
    status_ = ::BCryptGenerateSymmetricKey(provider.handle, &key_, nullptr, 0,
                                           const_cast<PUCHAR>(bytes.data()),
                                           static_cast<ULONG>(bytes.size()), 0);
    if (!Succeeded(status_)) key_ = nullptr;
  }
  ~ScopedKey() {
    if (key_ != nullptr) ::BCryptDestroyKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  BCRYPT_KEY_HANDLE get() const { return key_; }
  NTSTATUS status() const { return status_; }

 private:
  BCRYPT_KEY_HANDLE key_ = nullptr;
  NTSTATUS status_ = 0;
};

enum class Direction { kEncipher, kDecipher };

Status Run(const Aes128Key& key_bytes, Direction direction, const AesBlock& iv,
           std::span<const uint8_t> in, std::span<uint8_t> out) {
  const char* const name = direction == Direction::kEncipher ? "BCryptEncrypt" : "BCryptDecrypt";
  if (in.size() % kAesBlockSize != 0 || out.size() != in.size()) {
    return Status::Error(ERROR_INVALID_PARAMETER, std::string(name) + ": not whole blocks");
  }
  const ScopedKey key(key_bytes);
  if (!Succeeded(key.status())) return Failed("BCryptGenerateSymmetricKey", key.status());
  // BCrypt leaves the chaining value of the last block in the IV buffer.
  AesBlock chain = iv;
  ULONG written = 0;
  PUCHAR const input = const_cast<PUCHAR>(in.data());
  const ULONG size = static_cast<ULONG>(in.size());
  const NTSTATUS status =
      direction == Direction::kEncipher
          ? ::BCryptEncrypt(key.get(), input, size, nullptr, chain.data(),
                            static_cast<ULONG>(chain.size()), out.data(), size, &written, 0)
          : ::BCryptDecrypt(key.get(), input, size, nullptr, chain.data(),
                            static_cast<ULONG>(chain.size()), out.data(), size, &written, 0);
  if (!Succeeded(status)) return Failed(name, status);
  if (written != size)
    return Status::Error(ERROR_INTERNAL_ERROR, std::string(name) + ": short output");
  return Status();
}

}  // namespace

// The key's bytes; the key object is made for each call (see ScopedKey).
struct Aes128Cbc::State {
  Aes128Key key;
};

Aes128Cbc::Aes128Cbc(const Aes128Key& key) : state_(std::make_unique<State>(State{key})) {
  // A key the provider refuses is told now, as on every system.
  const ScopedKey check(key);
  if (!Succeeded(check.status())) status_ = Failed("BCryptGenerateSymmetricKey", check.status());
}

Aes128Cbc::~Aes128Cbc() = default;

Status Aes128Cbc::Encipher(const AesBlock& iv, std::span<const uint8_t> in,
                           std::span<uint8_t> out) {
  if (!status_.ok()) return status_;
  return Run(state_->key, Direction::kEncipher, iv, in, out);
}

Status Aes128Cbc::Decipher(const AesBlock& iv, std::span<const uint8_t> in,
                           std::span<uint8_t> out) {
  if (!status_.ok()) return status_;
  return Run(state_->key, Direction::kDecipher, iv, in, out);
}

}  // namespace platform
