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

// The key object, with its schedule, made once from the key bytes.
struct Aes128Cbc::State {
  BCRYPT_KEY_HANDLE key = nullptr;
  ~State() {
    if (key != nullptr) ::BCryptDestroyKey(key);
  }
};

Aes128Cbc::Aes128Cbc(const Aes128Key& key) : state_(std::make_unique<State>()) {
  const Provider& provider = AesCbcProvider();
  if (!Succeeded(provider.status)) {
    status_ = Failed("BCryptOpenAlgorithmProvider AES CBC", provider.status);
    return;
  }
  const NTSTATUS status = ::BCryptGenerateSymmetricKey(provider.handle, &state_->key, nullptr, 0,
                                                       const_cast<PUCHAR>(key.data()),
                                                       static_cast<ULONG>(key.size()), 0);
  if (!Succeeded(status)) {
    state_->key = nullptr;
    status_ = Failed("BCryptGenerateSymmetricKey", status);
  }
}

Aes128Cbc::~Aes128Cbc() = default;

Status Aes128Cbc::Encipher(const AesBlock& iv, std::span<const uint8_t> in,
                           std::span<uint8_t> out) {
  if (!status_.ok()) return status_;
  if (in.size() % kAesBlockSize != 0 || out.size() != in.size()) {
    return Status::Error(ERROR_INVALID_PARAMETER, "AES-128-CBC encipher: not whole blocks");
  }
  // BCrypt leaves the chaining value of the last block in the IV buffer.
  AesBlock chain = iv;
  ULONG written = 0;
  const NTSTATUS status =
      ::BCryptEncrypt(state_->key, const_cast<PUCHAR>(in.data()), static_cast<ULONG>(in.size()),
                      nullptr, chain.data(), static_cast<ULONG>(chain.size()), out.data(),
                      static_cast<ULONG>(out.size()), &written, 0);
  if (!Succeeded(status)) return Failed("BCryptEncrypt", status);
  if (written != in.size())
    return Status::Error(ERROR_INTERNAL_ERROR, "BCryptEncrypt: short output");
  return Status();
}

Status Aes128Cbc::Decipher(const AesBlock& iv, std::span<const uint8_t> in,
                           std::span<uint8_t> out) {
  if (!status_.ok()) return status_;
  if (in.size() % kAesBlockSize != 0 || out.size() != in.size()) {
    return Status::Error(ERROR_INVALID_PARAMETER, "AES-128-CBC decipher: not whole blocks");
  }
  AesBlock chain = iv;
  ULONG written = 0;
  const NTSTATUS status =
      ::BCryptDecrypt(state_->key, const_cast<PUCHAR>(in.data()), static_cast<ULONG>(in.size()),
                      nullptr, chain.data(), static_cast<ULONG>(chain.size()), out.data(),
                      static_cast<ULONG>(out.size()), &written, 0);
  if (!Succeeded(status)) return Failed("BCryptDecrypt", status);
  if (written != in.size())
    return Status::Error(ERROR_INTERNAL_ERROR, "BCryptDecrypt: short output");
  return Status();
}

}  // namespace platform
