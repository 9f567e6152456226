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

const std::u16string kKey = u"Qor#Settings1";
const char kKeyBytes[9] = "Qor#Sett";  // the first eight bytes of kKey
const auto* const kDesKey = reinterpret_cast<const uint8_t*>(kKeyBytes);

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Raw DES-CBC encryption under kKey with a zero IV, no padding: builds
// cipher texts whose plain text ends in bytes the encoder never writes.
std::u16string RawDesCbcHex(const std::string& plain) {
  const uint8_t iv[8] = {};
  Bytes out(plain.size());
  EXPECT_TRUE(crypto_internal::DesCbc(kDesKey, iv, true, BytesOf(plain).data(), out.data(), plain.size()));
  std::u16string hex;
  BytesToHexString(out.data(), out.size(), &hex);
  return hex;
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

// The byte operations: whole blocks with a pad count 1 to 8 out, the plain
// text and a zero byte after it back.
TEST(DesStringTest, ByteOperationsPadAndTerminate) {
  for (uint32_t n : {0u, 7u, 8u, 9u, 16u}) {
    Bytes plain(n, 'p');
    uint32_t size = 99;
    DES_STATUS status = 99;
    uint8_t* cipher = DesCbcEncryptBuffer(&size, plain.data(), n, kDesKey, &status);
    ASSERT_NE(cipher, nullptr);
    EXPECT_EQ(status, kDesStatusOk);
    EXPECT_EQ(size, (n + 8) & ~7u);
    uint32_t length = 99;
    uint8_t* back = DesCbcDecryptBuffer(&length, cipher, size, kDesKey, &status);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Bytes(back, back + length), plain);
    EXPECT_EQ(back[n], 0);
    FreeDesBuffer(cipher);
    FreeDesBuffer(back);
  }
  FreeDesBuffer(nullptr);
  uint32_t length = 99;
  DES_STATUS status = 0;
  Bytes twelve(12, 0);
  EXPECT_EQ(DesCbcDecryptBuffer(&length, twelve.data(), 12, kDesKey, &status), nullptr);
  EXPECT_EQ(status, kDesStatusBadLength);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(DesCbcDecryptBuffer(&length, twelve.data(), 0, kDesKey, &status), nullptr);
  EXPECT_EQ(status, kDesStatusBadPadding);
}

// Decrypting a hex text: the pad count is checked (only the last byte; 0
// keeps the block and the text ends at its first zero); a failure leaves
// the out text as it was.
TEST(DesStringTest, TextDecryptionChecksThePadCountOnly) {
  const struct {
    std::u16string hex;
    const char16_t* text;  // null: refused
  } cases[] = {
      {u"", nullptr},                  // no block
      {u"552CB01C1B4E724", nullptr},   // odd
      {u"552CB01C1B4E", nullptr},      // six bytes
      {u"552CB01C1B4E724G", nullptr},  // not hex
      {RawDesCbcHex(std::string("1234567\x09")), nullptr},
      {RawDesCbcHex(std::string("ab\0cdef\0", 8)), u"ab"},
      {RawDesCbcHex("abcdefX\x02"), u"abcdef"},
      {u"552cb01c1b4e724f", u""},  // lower-case hex
  };
  for (const auto& c : cases) {
    std::u16string out = u"untouched";
    EXPECT_EQ(DesDecryptHexToString(c.hex, &out, kKey), c.text != nullptr) << &c - cases;
    EXPECT_EQ(out, c.text != nullptr ? c.text : u"untouched") << &c - cases;
  }
}

TEST(DesStringTest, KeyIsTheFirstEightUtf8Bytes) {
  std::u16string a, b, c;
  ASSERT_TRUE(DesEncryptStringToHex(u"secret value", &a, u"Qor#Settings1"));
  ASSERT_TRUE(DesEncryptStringToHex(u"secret value", &b, u"Qor#SettXYZ"));
  EXPECT_EQ(a, b);
  ASSERT_TRUE(DesEncryptStringToHex(u"secret value", &c, u"Qor#Setv"));
  EXPECT_NE(a, c);
  // A short key string is completed with zero bytes.
  ASSERT_TRUE(DesEncryptStringToHex(u"x", &a, u"ab"));
  ASSERT_TRUE(DesEncryptStringToHex(u"x", &b, std::u16string(u"ab\0\0\0\0\0\0", 8)));
  EXPECT_EQ(a, b);
  // Non-ASCII text and keys travel as UTF-8 and come back.
  const std::u16string text = u"\u00e4\u00f6\u00fc \u20ac \U0001F600";
  ASSERT_TRUE(DesEncryptStringToHex(text, &a, u"\u00e4\u00e4\u00e4\u00e4key"));
  EXPECT_EQ(a.size(), 32u);  // 15 UTF-8 bytes give two blocks
  ASSERT_TRUE(DesDecryptHexToString(a, &b, u"\u00e4\u00e4\u00e4\u00e4key"));
  EXPECT_EQ(b, text);
}

TEST(DesStringTest, HexCodec) {
  std::vector<uint8_t> a;
  EXPECT_TRUE(HexStringToBytes(u"0a1B", &a));
  EXPECT_EQ(a, (std::vector<uint8_t>{0x0A, 0x1B}));
  // Appends; what was decoded before a failure stays.
  EXPECT_TRUE(HexStringToBytes(u"", &a));
  EXPECT_FALSE(HexStringToBytes(u"ff0g", &a));
  EXPECT_EQ(a, (std::vector<uint8_t>{0x0A, 0x1B, 0xFF}));
  for (const char16_t* bad : {u"12 3", u"123", u"\uff10\uff10"}) EXPECT_FALSE(HexStringToBytes(bad, &a));

  // The encoder (upper case, as the known answers show) leaves the text
  // when there is nothing to encode.
  std::u16string text = u"keep";
  BytesToHexString(nullptr, 3, &text);
  BytesToHexString(a.data(), 0, &text);
  EXPECT_EQ(text, u"keep");
}

}  // namespace
}  // namespace qorlog
