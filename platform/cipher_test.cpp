#include "platform/cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

std::vector<uint8_t> Hex(std::string_view hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

template <typename Array>
Array HexArray(std::string_view hex) {
  const std::vector<uint8_t> bytes = Hex(hex);
  Array array{};
  EXPECT_EQ(bytes.size(), array.size());
  std::copy(bytes.begin(), bytes.end(), array.begin());
  return array;
}

// FIPS 180-2, appendix B, and the empty message.
TEST(CipherTest, Sha256MatchesThePublishedDigests) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    Sha256Digest digest{};
    ASSERT_TRUE(Sha256(c.message, &digest).ok());
    EXPECT_EQ(digest, HexArray<Sha256Digest>(c.digest)) << c.message.substr(0, 60);
  }
}

// NIST SP 800-38A, F.2.1 and F.2.2 (CBC-AES128).
constexpr char kKey[] = "2b7e151628aed2a6abf7158809cf4f3c";
constexpr char kIv[] = "000102030405060708090a0b0c0d0e0f";
constexpr char kPlain[] =
    "6bc1bee22e409f96e93d7e117393172a"
    "ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef"
    "f69f2445df4f9b17ad2b417be66c3710";
constexpr char kCipher[] =
    "7649abac8119b246cee98e9b12e9197d"
    "5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e22229516"
    "3ff1caa1681fac09120eca307586e1a7";

TEST(CipherTest, Aes128CbcMatchesThePublishedVectors) {
  Aes128Cbc aes(HexArray<Aes128Key>(kKey));
  ASSERT_TRUE(aes.status().ok()) << aes.status().message();
  const AesBlock iv = HexArray<AesBlock>(kIv);
  const std::vector<uint8_t> plain = Hex(kPlain);
  const std::vector<uint8_t> expected = Hex(kCipher);

  std::vector<uint8_t> out(plain.size());
  ASSERT_TRUE(aes.Encipher(iv, plain, out).ok());
  EXPECT_EQ(out, expected);
  std::vector<uint8_t> back(out.size());
  ASSERT_TRUE(aes.Decipher(iv, out, back).ok());
  EXPECT_EQ(back, plain);

  // Every call starts from its own IV, not from where the last one ended:
  // the second block alone, chained from the first ciphertext block.
  AesBlock second_iv;
  std::copy(expected.begin(), expected.begin() + 16, second_iv.begin());
  const std::vector<uint8_t> block(plain.begin() + 16, plain.begin() + 32);
  std::vector<uint8_t> one(16);
  ASSERT_TRUE(aes.Encipher(second_iv, block, one).ok());
  EXPECT_EQ(one, std::vector<uint8_t>(expected.begin() + 16, expected.begin() + 32));
  ASSERT_TRUE(aes.Decipher(second_iv, one, one).ok());  // in place
  EXPECT_EQ(one, block);

  // The same IV twice in a row starts afresh both times, in both directions.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(aes.Decipher(iv, expected, back).ok());
    EXPECT_EQ(back, plain) << round;
  }
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(aes.Encipher(iv, plain, out).ok());
    EXPECT_EQ(out, expected) << round;
  }
}

TEST(CipherTest, Aes128CbcTakesOnlyWholeBlocks) {
  Aes128Cbc aes(HexArray<Aes128Key>(kKey));
  const AesBlock iv{};
  std::vector<uint8_t> in(17);
  std::vector<uint8_t> out(17);
  EXPECT_EQ(aes.Encipher(iv, in, out).code(), kErrorInvalidParameter);
  EXPECT_EQ(aes.Decipher(iv, in, out).code(), kErrorInvalidParameter);
  std::vector<uint8_t> shorter(16);
  EXPECT_FALSE(aes.Encipher(iv, std::span<const uint8_t>(in.data(), 32 - 16),
                            std::span<uint8_t>(shorter.data(), 8))
                   .ok());
}

TEST(CipherTest, RandomBytesAreFreshEveryTime) {
  std::array<uint8_t, 32> a{};
  std::array<uint8_t, 32> b{};
  ASSERT_TRUE(RandomBytes(a).ok());
  ASSERT_TRUE(RandomBytes(b).ok());
  EXPECT_NE(a, b);
  EXPECT_NE(a, (std::array<uint8_t, 32>{}));
}

}  // namespace
}  // namespace platform
