// The borrowed primitives (primitives.h) against published known answers:
// the same file checks the OpenSSL build on Linux and the libgcrypt build on
// Windows, so both give the same bytes.
#include "crypto/primitives.h"

#include <gtest/gtest.h>

#include <map>

#include "test_util.h"

namespace qorlog {
namespace {

using crypto_internal::BlockAlgorithm;
using crypto_internal::BlockCipher;
using testing::Bytes;
using testing::BytesOf;
using testing::FromHex;
using testing::ToHex;

TEST(PrimitivesTest, BlockCiphersMatchThePublishedAnswers) {
  const std::map<std::string, BlockAlgorithm> kNames = {{"AES", BlockAlgorithm::kAes},
                                                        {"DES", BlockAlgorithm::kDes},
                                                        {"TDES", BlockAlgorithm::kTripleDes},
                                                        {"BF", BlockAlgorithm::kBlowfish}};
  auto vectors = testing::ReadVectors("block_ciphers.txt", false);
  ASSERT_EQ(vectors.size(), 11u);
  for (const auto& v : vectors) {
    ASSERT_EQ(v.fields.size(), 4u);
    SCOPED_TRACE(v.fields[0] + " key " + v.fields[1]);
    const Bytes key = FromHex(v.fields[1]), plain = FromHex(v.fields[2]);
    auto cipher = BlockCipher::Create(kNames.at(v.fields[0]), key.data(), key.size());
    ASSERT_TRUE(cipher);
    ASSERT_EQ(cipher->block_size(), plain.size());
    Bytes out(plain.size()), back(plain.size());
    cipher->Encipher(plain.data(), out.data());
    EXPECT_EQ(ToHex(out), v.fields[3]);
    cipher->Decipher(out.data(), back.data());
    EXPECT_EQ(back, plain);
  }
}

TEST(PrimitivesTest, KeyLengthRules) {
  const Bytes long_key = testing::RandomBytes(80, 5), block = testing::RandomBytes(8, 6);
  auto bf = [&](const Bytes& key) { return testing::EcbEncipher(BlockAlgorithm::kBlowfish, key, block); };
  // Blowfish: an empty key is the byte 00; only the first 72 bytes count.
  EXPECT_EQ(bf({}), bf({0}));
  EXPECT_EQ(bf(long_key), bf(Bytes(long_key.begin(), long_key.begin() + 72)));
  EXPECT_NE(bf(Bytes(long_key.begin(), long_key.begin() + 72)), bf(Bytes(long_key.begin(), long_key.begin() + 71)));
  // DES ignores the parity bits (the low bit of each key byte).
  EXPECT_EQ(testing::EcbEncipher(BlockAlgorithm::kDes, FromHex("0123456789abcdef"), block),
            testing::EcbEncipher(BlockAlgorithm::kDes, FromHex("0022446688aaccee"), block));
  // Fixed-length ciphers refuse other lengths.
  const Bytes k = testing::RandomBytes(32, 7);
  for (auto [algorithm, length] : {std::pair{BlockAlgorithm::kDes, 7},
                                   {BlockAlgorithm::kDes, 16},
                                   {BlockAlgorithm::kTripleDes, 16},
                                   {BlockAlgorithm::kAes, 15},
                                   {BlockAlgorithm::kAes, 20}}) {
    EXPECT_FALSE(BlockCipher::Create(algorithm, k.data(), length)) << length;
  }
}

// DES-CBC takes whole blocks only (its answers are those of the DES string
// protection).
TEST(PrimitivesTest, DesCbcRefusesPartialBlocks) {
  const uint8_t key[8] = {1}, iv[8] = {};
  uint8_t out[16] = {};
  EXPECT_FALSE(crypto_internal::DesCbc(key, iv, true, out, out, 12));
}

TEST(PrimitivesTest, Rc4KeysBeyond256BytesAddNothing) {
  const Bytes key = testing::RandomBytes(300, 8), plain = testing::RandomBytes(40, 9);
  Bytes a(plain.size()), b(plain.size());
  ASSERT_TRUE(crypto_internal::Rc4(key.data(), key.size(), plain.data(), a.data(), plain.size()));
  ASSERT_TRUE(crypto_internal::Rc4(key.data(), 256, plain.data(), b.data(), plain.size()));
  EXPECT_EQ(a, b);
  ASSERT_TRUE(crypto_internal::Rc4(key.data(), 255, plain.data(), b.data(), plain.size()));
  EXPECT_NE(a, b);
  EXPECT_FALSE(crypto_internal::Rc4(key.data(), 0, plain.data(), b.data(), plain.size()));
}

}  // namespace
}  // namespace qorlog
