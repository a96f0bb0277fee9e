// The cryptographic primitives over OpenSSL's libcrypto.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cerrno>
#include <string>

#include "platform/cipher.h"

namespace platform {
namespace {

// A failed libcrypto call: its name and the library's first queued reason.
Status Failed(std::string_view call) {
  std::string operation(call);
  const unsigned long error = ERR_get_error();
  if (error != 0) {
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    operation += " (";
    operation += text;
    operation += ")";
  }
  ERR_clear_error();
  return Status::Error(EIO, operation);
}

// Fetched once: an implicit fetch on every initialisation costs more than
// one short value.
const EVP_CIPHER* Aes128CbcCipher() {
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
  return cipher;
}

struct ContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter>;

}  // namespace

Status Sha256(std::string_view data, Sha256Digest* digest) {
  unsigned int size = 0;
  if (EVP_Digest(data.data(), data.size(), digest->data(), &size, EVP_sha256(), nullptr) != 1 ||
      size != digest->size()) {
    return Failed("EVP_Digest");
  }
  return Status();
}

Status RandomBytes(std::span<uint8_t> buffer) {
  if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1) return Failed("RAND_bytes");
  return Status();
}

// One context per direction, each with the key schedule built.
struct Aes128Cbc::State {
  Context encipher{EVP_CIPHER_CTX_new()};
  Context decipher{EVP_CIPHER_CTX_new()};
};

Aes128Cbc::Aes128Cbc(const Aes128Key& key) : state_(std::make_unique<State>()) {
  if (!state_->encipher || !state_->decipher) {
    status_ = Failed("EVP_CIPHER_CTX_new");
  } else if (Aes128CbcCipher() == nullptr) {
    status_ = Failed("EVP_CIPHER_fetch AES-128-CBC");
  } else if (EVP_EncryptInit_ex2(state_->encipher.get(), Aes128CbcCipher(), key.data(), nullptr,
                                 nullptr) != 1 ||
             EVP_DecryptInit_ex2(state_->decipher.get(), Aes128CbcCipher(), key.data(), nullptr,
                                 nullptr) != 1) {
    status_ = Failed("EVP_CipherInit_ex2");
  } else {
    EVP_CIPHER_CTX_set_padding(state_->encipher.get(), 0);
    EVP_CIPHER_CTX_set_padding(state_->decipher.get(), 0);
  }
}

Aes128Cbc::~Aes128Cbc() = default;

Status Aes128Cbc::Encipher(const AesBlock& iv, std::span<const uint8_t> in,
                           std::span<uint8_t> out) {
  if (!status_.ok()) return status_;
  if (in.size() % kAesBlockSize != 0 || out.size() != in.size()) {
    return Status::Error(EINVAL, "AES-128-CBC encipher: not whole blocks");
  }
  EVP_CIPHER_CTX* const context = state_->encipher.get();
  int written = 0;
  int final_written = 0;
  if (EVP_EncryptInit_ex2(context, nullptr, nullptr, iv.data(), nullptr) != 1 ||
      EVP_EncryptUpdate(context, out.data(), &written, in.data(), static_cast<int>(in.size())) !=
          1 ||
      EVP_EncryptFinal_ex(context, out.data() + written, &final_written) != 1) {
    return Failed("AES-128-CBC encipher");
  }
  return Status();
}

Status Aes128Cbc::Decipher(const AesBlock& iv, std::span<const uint8_t> in,
                           std::span<uint8_t> out) {
  if (!status_.ok()) return status_;
  if (in.size() % kAesBlockSize != 0 || out.size() != in.size()) {
    return Status::Error(EINVAL, "AES-128-CBC decipher: not whole blocks");
  }
  EVP_CIPHER_CTX* const context = state_->decipher.get();
  int written = 0;
  int final_written = 0;
  if (EVP_DecryptInit_ex2(context, nullptr, nullptr, iv.data(), nullptr) != 1 ||
      EVP_DecryptUpdate(context, out.data(), &written, in.data(), static_cast<int>(in.size())) !=
          1 ||
      EVP_DecryptFinal_ex(context, out.data() + written, &final_written) != 1) {
    return Failed("AES-128-CBC decipher");
  }
  return Status();
}

}  // namespace platform
