// The password cipher (SEED-ECB, PKCS#7) and its wide front ends.
#include <gtest/gtest.h>

#include <cstring>

#include "crypto/block_primitive.h"
#include "crypto/cryptmod.h"
#include "test_util.h"

namespace qorlog {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::FromHex;

Bytes Seal(const std::string& data, const char* password) {
  CryptBufferPtr out(PasswordEncrypt(data.data(), static_cast<uint32_t>(data.size()), password));
  EXPECT_TRUE(out);
  return BytesOf(out.get());
}

TEST(PasswordCipherTest, IsSeedEcbUnderTheZeroExtendedPassword) {
  // A 3-character password keys SEED with those bytes and 13 zeros: the
  // first block equals SEED of the plain block under that key.
  Bytes block = FromHex("000102030405060708090a0b0c0d0e0f");
  std::string data(block.begin(), block.end());
  Bytes sealed = Seal(data + data, "abc");
  ASSERT_EQ(sealed.size(), 48u);
  Bytes key = BytesOf("abc");
  key.resize(16);
  auto seed = crypto_internal::BlockPrimitive::Create(CRYPTMOD_ALG_SEED, key.data(), key.size());
  ASSERT_TRUE(seed);
  Bytes expected(16);
  seed->Encipher(block.data(), expected.data());
  EXPECT_EQ(Bytes(sealed.begin(), sealed.begin() + 16), expected);
  EXPECT_EQ(Bytes(sealed.begin(), sealed.begin() + 16), Bytes(sealed.begin() + 16, sealed.begin() + 32));
  // Only the first 16 password bytes count.
  EXPECT_EQ(Seal("text", "0123456789abcdefWXYZ"), Seal("text", "0123456789abcdef"));
  EXPECT_NE(Seal("text", "0123456789abcdeX"), Seal("text", "0123456789abcdef"));
}

TEST(PasswordCipherTest, FailuresGiveNull) {
  EXPECT_EQ(PasswordEncrypt("data", 4, ""), nullptr);
  Bytes sealed = Seal("data", "right");
  EXPECT_EQ(PasswordDecrypt(sealed.data(), static_cast<uint32_t>(sealed.size()), ""), nullptr);
  EXPECT_EQ(PasswordDecrypt(sealed.data(), 0, "right"), nullptr);
  EXPECT_EQ(PasswordDecrypt(sealed.data(), 15, "right"), nullptr);
  // A wrong password nearly always breaks the padding; this one does.
  EXPECT_EQ(PasswordDecrypt(sealed.data(), static_cast<uint32_t>(sealed.size()), "wrong"), nullptr);
}

TEST(PasswordCipherTest, WideFrontEndsCheckTheTagAndUseUtf8) {
  const char16_t* text = u"[policy]\nflag=1 \u00e4\u20ac";
  EXPECT_EQ(PasswordEncryptTextW(0xAAA00000, text, u"pw"), nullptr);
  EXPECT_EQ(PasswordEncryptTextW(0xAAA00002, text, u"pw"), nullptr);
  CryptBufferPtr sealed(PasswordEncryptTextW(kPasswordCipherTag, text, u"p\u00e4ss"));
  ASSERT_TRUE(sealed);
  EXPECT_EQ(PasswordDecryptW(0xAAA00000, sealed->data, sealed->length, u"p\u00e4ss"), nullptr);
  // The narrow forms see the UTF-8 bytes of text and password.
  const std::string narrow_text = "[policy]\nflag=1 \xc3\xa4\xe2\x82\xac";
  EXPECT_EQ(BytesOf(sealed.get()), Seal(narrow_text, "p\xc3\xa4ss"));
  CryptBufferPtr plain(PasswordDecryptW(kPasswordCipherTag, sealed->data, sealed->length, u"p\u00e4ss"));
  ASSERT_TRUE(plain);
  EXPECT_EQ(BytesOf(plain.get()), BytesOf(narrow_text));
  EXPECT_EQ(PasswordEncryptTextW(kPasswordCipherTag, text, u""), nullptr);
  EXPECT_EQ(PasswordDecryptW(kPasswordCipherTag, sealed->data, sealed->length, u""), nullptr);
}

}  // namespace
}  // namespace qorlog
