#include "migrate/StoredValueCipher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/text.h"

namespace stored_value {
namespace {

// Written with the openssl command-line tool: the key is the first 16 bytes
// of SHA-256 of the two key strings, the IV 00 01 .. 0F.
constexpr char kKnownStored[] =
    "!CRYPT!000102030405060708090A0B0C0D0E0F31F3B740327A86A136576E62609D320B";
constexpr InitVector kKnownIv = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

TEST(StoredValueCipherTest, MatchesAnIndependentlyEncipheredValue) {
  EXPECT_EQ(EncipherStoredValue("www.example.com", kKnownIv), kKnownStored);
  EXPECT_EQ(DecipherStoredValue(kKnownStored), "www.example.com");
  std::string lower = kKnownStored;
  for (size_t i = kMarker.size(); i < lower.size(); ++i)
    lower[i] = static_cast<char>(std::tolower(lower[i]));
  EXPECT_EQ(DecipherStoredValue(lower), "www.example.com");
}

TEST(StoredValueCipherTest, RoundTripsAndNeverGrows) {
  for (const std::string& plain :
       {std::string(), std::string("a"), std::string(15, 'b'), std::string(16, 'c'),
        std::string(1000, 'd'), std::string("h\xc3\xa9t\xc3\xa9rog\xc3\xa8ne \xe2\x82\xac")}) {
    const std::string stored = EncipherStoredValue(plain);
    ASSERT_TRUE(stored.starts_with(kMarker));
    EXPECT_EQ(DecipherStoredValue(stored), plain);
    EXPECT_LT(plain.size(), stored.size());
  }
  // A fresh IV every time.
  EXPECT_NE(EncipherStoredValue("same"), EncipherStoredValue("same"));
}

TEST(StoredValueCipherTest, MalformedValuesDoNotDecipher) {
  const std::string good = kKnownStored;
  const std::string body = good.substr(kMarker.size());
  std::string bad_padding = good;
  bad_padding.back() = bad_padding.back() == '0' ? '1' : '0';
  const std::string cases[] = {
      body,                                        // no marker
      "!crypt!" + body,                            // the marker is case-sensitive
      good.substr(0, good.size() - 1),             // odd number of digits
      good.substr(0, good.size() - 2),             // not whole blocks
      good.substr(0, kMarker.size() + 32),         // an IV and no block
      "!CRYPT!",                                   // nothing at all
      good.substr(0, 20) + "G" + good.substr(21),  // not a hexadecimal digit
      bad_padding,                                 // the last block no longer pads
  };
  for (const std::string& stored : cases) {
    EXPECT_EQ(DecipherStoredValue(stored), std::nullopt) << stored;
  }
}

TEST(StoredValueCipherTest, RevealGivesThePlainTextOrNothing) {
  EXPECT_EQ(
      RevealStoredValue(u"!CRYPT!000102030405060708090A0B0C0D0E0F31F3B740327A86A136576E62609D320B"),
      u"www.example.com");
  EXPECT_EQ(RevealStoredValue(u"www.example.com"), u"");
  EXPECT_EQ(RevealStoredValue(u"!CRYPT!00"), u"");
  EXPECT_EQ(RevealStoredValue(u"!CRYPT!\u00e9\u00e9"), u"");

  // Non-ASCII plain text in the system code page comes back as UTF-16; a NUL
  // ends it.
  const std::string stored = EncipherStoredValue(platform::ToSystemCodePage(u"caf\u00e9"));
  EXPECT_EQ(RevealStoredValue(std::u16string(stored.begin(), stored.end())), u"caf\u00e9");
  const std::string with_nul = EncipherStoredValue(std::string("ab\0cd", 5));
  EXPECT_EQ(RevealStoredValue(std::u16string(with_nul.begin(), with_nul.end())), u"ab");
}

}  // namespace
}  // namespace stored_value
