// DES string protection: the byte operations, the hex codec and the text
// operations, against the known answers of vectors/des.txt.
#include <gtest/gtest.h>

#include "crypto/cryptmod.h"
#include "crypto/primitives.h"
#include "test_util.h"

namespace qorlog {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::FromHex;

const std::u16string kKey = u"Qor#Settings1";

std::u16string Wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// Raw DES-CBC encryption with a zero IV, no padding: builds cipher texts
// whose plain text ends in bytes the encoder never writes.
Bytes RawDesCbc(const Bytes& plain, const char key[8]) {
  const uint8_t iv[8] = {};
  Bytes out(plain.size());
  EXPECT_TRUE(crypto_internal::DesCbc(reinterpret_cast<const uint8_t*>(key), iv, true,
                                      plain.data(), out.data(), plain.size()));
  return out;
}

TEST(DesStringTest, MatchesKnownAnswersAndRoundTrips) {
  auto vectors = testing::ReadVectors("des.txt", true);
  ASSERT_EQ(vectors.size(), 4u);
  for (const auto& v : vectors) {
    std::u16string hex;
    ASSERT_TRUE(DesEncryptStringToHex(Wide(v.message), &hex, kKey));
    EXPECT_EQ(hex, Wide(v.fields[0])) << v.message;
    std::u16string plain = u"old";
    ASSERT_TRUE(DesDecryptHexToString(hex, &plain, kKey));
    EXPECT_EQ(plain, Wide(v.message));
  }
}

TEST(DesStringTest, SizesFollowThePadCount) {
  for (uint32_t n : {0u, 7u, 8u, 9u, 16u}) {
    Bytes plain(n, 'p');
    uint32_t size = 99;
    DES_STATUS status = 99;
    uint8_t* cipher =
        DesCbcEncryptBuffer(&size, plain.data(), n, FromHex("0102030405060708").data(),
                            &status);
    ASSERT_NE(cipher, nullptr);
    EXPECT_EQ(status, kDesStatusOk);
    EXPECT_EQ(size, (n + 8) & ~7u);
    uint32_t length = 99;
    uint8_t* back = DesCbcDecryptBuffer(&length, cipher, size,
                                        FromHex("0102030405060708").data(), &status);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(length, n);
    EXPECT_EQ(Bytes(back, back + n), plain);
    EXPECT_EQ(back[n], 0);  // the zero byte after the plain text
    FreeDesBuffer(cipher);
    FreeDesBuffer(back);
  }
  // Each pad byte holds the count: seven bytes get one 0x01.
  const Bytes key = FromHex("1122334455667788");
  uint32_t size = 0;
  uint8_t* cipher = DesCbcEncryptBuffer(&size, BytesOf("1234567").data(), 7, key.data(),
                                        nullptr);
  ASSERT_NE(cipher, nullptr);
  Bytes expected = RawDesCbc(BytesOf("1234567\x01"),
                             reinterpret_cast<const char*>(key.data()));
  EXPECT_EQ(Bytes(cipher, cipher + size), expected);
  FreeDesBuffer(cipher);
  FreeDesBuffer(nullptr);
}

TEST(DesStringTest, DecryptionRefusesBadLengthsAndPadCounts) {
  const char key[9] = "Qor#Sett";
  const auto* k = reinterpret_cast<const uint8_t*>(key);
  uint32_t length = 99;
  DES_STATUS status = 0;
  Bytes twelve(12, 0);
  EXPECT_EQ(DesCbcDecryptBuffer(&length, twelve.data(), 12, k, &status), nullptr);
  EXPECT_EQ(status, kDesStatusBadLength);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(DesCbcDecryptBuffer(&length, twelve.data(), 0, k, &status), nullptr);
  EXPECT_EQ(status, kDesStatusBadPadding);

  Bytes nine = RawDesCbc(BytesOf(std::string("1234567") + '\x09'), key);
  EXPECT_EQ(DesCbcDecryptBuffer(&length, nine.data(), 8, k, &status), nullptr);
  EXPECT_EQ(status, kDesStatusBadPadding);

  // Pad count 0 keeps the whole block; the text ends at the first zero.
  Bytes zero = RawDesCbc(BytesOf(std::string("ab\0cdef", 7) + '\0'), key);
  uint8_t* plain = DesCbcDecryptBuffer(&length, zero.data(), 8, k, &status);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(status, kDesStatusOk);
  EXPECT_EQ(length, 8u);
  FreeDesBuffer(plain);
  std::u16string hex, text = u"untouched";
  BytesToHexString(zero.data(), zero.size(), &hex);
  ASSERT_TRUE(DesDecryptHexToString(hex, &text, kKey));
  EXPECT_EQ(text, u"ab");

  // The pad bytes other than the last are not examined.
  Bytes loose = RawDesCbc(BytesOf("abcdefX\x02"), key);
  BytesToHexString(loose.data(), loose.size(), &hex);
  ASSERT_TRUE(DesDecryptHexToString(hex, &text, kKey));
  EXPECT_EQ(text, u"abcdef");
}

TEST(DesStringTest, TextOperationsFailWithoutTouchingTheOutText) {
  std::u16string out = u"untouched";
  EXPECT_FALSE(DesDecryptHexToString(u"", &out, kKey));            // no block
  EXPECT_FALSE(DesDecryptHexToString(u"552CB01C1B4E724", &out, kKey));  // odd
  EXPECT_FALSE(DesDecryptHexToString(u"552CB01C1B4E", &out, kKey));  // 6 bytes
  EXPECT_FALSE(DesDecryptHexToString(u"552CB01C1B4E724G", &out, kKey));
  Bytes nine = RawDesCbc(BytesOf(std::string("1234567") + '\x09'), "Qor#Sett");
  std::u16string hex;
  BytesToHexString(nine.data(), nine.size(), &hex);
  EXPECT_FALSE(DesDecryptHexToString(hex, &out, kKey));
  EXPECT_EQ(out, u"untouched");
  // Lower-case hex decodes as well.
  ASSERT_TRUE(DesDecryptHexToString(u"552cb01c1b4e724f", &out, kKey));
  EXPECT_EQ(out, u"");
}

TEST(DesStringTest, KeyIsTheFirstEightNarrowBytes) {
  std::u16string a, b, c, d;
  ASSERT_TRUE(DesEncryptStringToHex(u"secret value", &a, u"Qor#Settings1"));
  ASSERT_TRUE(DesEncryptStringToHex(u"secret value", &b, u"Qor#SettXYZ"));
  EXPECT_EQ(a, b);
  // 'Q' is 0x51; 0x50 differs only in the parity bit, which DES ignores.
  ASSERT_TRUE(DesEncryptStringToHex(u"secret value", &c, u"Por#Settings1"));
  EXPECT_EQ(a, c);
  ASSERT_TRUE(DesEncryptStringToHex(u"secret value", &d, u"Qor#Setv"));
  EXPECT_NE(a, d);
  // A short key string is completed with zero bytes.
  std::u16string e, f;
  ASSERT_TRUE(DesEncryptStringToHex(u"x", &e, u"ab"));
  ASSERT_TRUE(DesEncryptStringToHex(u"x", &f, std::u16string(u"ab\0\0\0\0\0\0", 8)));
  EXPECT_EQ(e, f);
  // Non-ASCII text travels as UTF-8 and comes back.
  const std::u16string text = u"\u00e4\u00f6\u00fc \u20ac \U0001F600";
  ASSERT_TRUE(DesEncryptStringToHex(text, &a, u"\u00e4\u00e4\u00e4\u00e4key"));
  EXPECT_EQ(a.size(), 32u);  // 15 UTF-8 bytes give two blocks
  ASSERT_TRUE(DesDecryptHexToString(a, &b, u"\u00e4\u00e4\u00e4\u00e4key"));
  EXPECT_EQ(b, text);
}

TEST(DesStringTest, HexCodec) {
  std::vector<uint8_t> a, b;
  EXPECT_TRUE(HexStringToBytes(u"0a1B", &a));
  EXPECT_TRUE(HexStringToBytes(u"0A1b", &b));
  EXPECT_EQ(a, (std::vector<uint8_t>{0x0A, 0x1B}));
  EXPECT_EQ(a, b);
  // Appends; what was decoded before a failure stays.
  EXPECT_TRUE(HexStringToBytes(u"", &a));
  EXPECT_FALSE(HexStringToBytes(u"ff0g", &a));
  EXPECT_EQ(a, (std::vector<uint8_t>{0x0A, 0x1B, 0xFF}));
  EXPECT_FALSE(HexStringToBytes(u"12 3", &a));
  EXPECT_FALSE(HexStringToBytes(u"123", &a));
  EXPECT_EQ(a.size(), 5u);
  EXPECT_FALSE(HexStringToBytes(u"\uff10\uff10", &a));  // full-width digits

  std::u16string text = u"keep";
  BytesToHexString(nullptr, 3, &text);
  BytesToHexString(a.data(), 0, &text);
  EXPECT_EQ(text, u"keep");
  const uint8_t bytes[] = {0x00, 0xAB, 0x5F};
  BytesToHexString(bytes, 3, &text);
  EXPECT_EQ(text, u"00AB5F");
}

}  // namespace
}  // namespace qorlog
