// One-shot block cipher operations: SEED known answers, the module's own
// chaining modes, the padding and the statuses. (oracle_test.cc compares the
// modes with OpenSSL's where OpenSSL is there.)
#include <gtest/gtest.h>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "test_util.h"

namespace qorlog {
namespace {

using testing::Bytes;
using testing::Decrypt;
using testing::Encrypt;
using testing::Wrap;
using testing::BytesOf;
using testing::FromHex;
using testing::RandomBytes;
using testing::ToHex;

// Known answers of RFC 4269 appendix B, read from vectors/seed.txt.
TEST(BlockCipherTest, SeedMatchesTheRfcKnownAnswers) {
  auto vectors = testing::ReadVectors("seed.txt", false);
  ASSERT_EQ(vectors.size(), 4u);
  for (const auto& v : vectors) {
    ASSERT_EQ(v.fields.size(), 3u);
    Bytes cipher = Encrypt(CRYPTMOD_ALG_SEED, FromHex(v.fields[0]), {},
                           FromHex(v.fields[1]), CRYPTMOD_MODE_ECB, 8);
    ASSERT_EQ(cipher.size(), 32u);  // the block and one block of padding
    EXPECT_EQ(ToHex(cipher.data(), 16), v.fields[2]);
    auto plain = Decrypt(CRYPTMOD_ALG_SEED, FromHex(v.fields[0]), {}, cipher,
                         CRYPTMOD_MODE_ECB, 8);
    ASSERT_TRUE(plain);
    EXPECT_EQ(ToHex(BytesOf(plain.get())), v.fields[1]);
  }
}

TEST(BlockCipherTest, EveryFeedbackSizeRoundTripsAndShiftsTheRegister) {
  const Bytes key = RandomBytes(16, 1), iv = RandomBytes(16, 2);
  const Bytes plain = RandomBytes(53, 3);
  for (uint32_t mode : {CRYPTMOD_MODE_CFB, CRYPTMOD_MODE_OFB}) {
    std::vector<Bytes> seen;
    for (uint32_t f = 1; f <= 16; ++f) {
      Bytes cipher = Encrypt(CRYPTMOD_ALG_AES128, key, iv, plain, mode, f);
      ASSERT_EQ(cipher.size(), 64u);
      auto back = Decrypt(CRYPTMOD_ALG_AES128, key, iv, cipher, mode, f);
      ASSERT_TRUE(back) << "mode " << mode << " feedback " << f;
      EXPECT_EQ(BytesOf(back.get()), plain);
      // The first f bytes come from the IV alone; the rest depend on f.
      Bytes first;
      first = testing::EcbEncipher(crypto_internal::BlockAlgorithm::kAes, key, iv);
      for (size_t i = 0; i < f; ++i) EXPECT_EQ(cipher[i], plain[i] ^ first[i]);
      for (const Bytes& other : seen) EXPECT_NE(other, cipher);
      seen.push_back(cipher);
    }
  }
  // OFB with a one-byte feedback is the 8-bit OFB of FIPS 81: each step
  // shifts the first output byte into the register.
  Bytes cipher = Encrypt(CRYPTMOD_ALG_AES128, key, iv, plain, CRYPTMOD_MODE_OFB, 1);
  Bytes reg = iv, expected;
  Bytes padded = testing::Pad(plain, 16);
  for (uint8_t byte : padded) {
    Bytes out = testing::EcbEncipher(crypto_internal::BlockAlgorithm::kAes, key, reg);
    expected.push_back(byte ^ out[0]);
    reg.erase(reg.begin());
    reg.push_back(out[0]);
  }
  EXPECT_EQ(cipher, expected);
}

TEST(BlockCipherTest, PaddingAndIvRules) {
  const Bytes key = RandomBytes(16, 9);
  const Bytes iv1(16, 1), iv2(16, 2);
  EXPECT_EQ(Encrypt(CRYPTMOD_ALG_SEED, key, iv1, {}, CRYPTMOD_MODE_ECB, 8).size(), 16u);
  EXPECT_EQ(Encrypt(CRYPTMOD_ALG_SEED, key, iv1, Bytes(15, 'a'), CRYPTMOD_MODE_ECB, 8).size(), 16u);
  EXPECT_EQ(Encrypt(CRYPTMOD_ALG_SEED, key, iv1, Bytes(16, 'a'), CRYPTMOD_MODE_ECB, 8).size(), 32u);
  // ECB ignores the IV; equal plain blocks give equal cipher blocks.
  Bytes two_blocks(32, 'q');
  Bytes a = Encrypt(CRYPTMOD_ALG_SEED, key, iv1, two_blocks, CRYPTMOD_MODE_ECB, 8);
  EXPECT_EQ(a, Encrypt(CRYPTMOD_ALG_SEED, key, iv2, two_blocks, CRYPTMOD_MODE_ECB, 8));
  EXPECT_EQ(Bytes(a.begin(), a.begin() + 16), Bytes(a.begin() + 16, a.begin() + 32));
  // CBC uses it; a short IV object is zero-extended, a long one cut.
  EXPECT_NE(Encrypt(CRYPTMOD_ALG_SEED, key, iv1, two_blocks, CRYPTMOD_MODE_CBC, 8),
            Encrypt(CRYPTMOD_ALG_SEED, key, iv2, two_blocks, CRYPTMOD_MODE_CBC, 8));
  Bytes short_iv = {7, 7};
  Bytes long_iv = short_iv;
  long_iv.resize(16);
  long_iv.push_back(0x55);
  EXPECT_EQ(Encrypt(CRYPTMOD_ALG_SEED, key, short_iv, two_blocks, CRYPTMOD_MODE_CBC, 8),
            Encrypt(CRYPTMOD_ALG_SEED, key, long_iv, two_blocks, CRYPTMOD_MODE_CBC, 8));
  // The key copy takes the algorithm's key length: shorter keys are
  // zero-extended, longer ones cut.
  Bytes k3 = {1, 2, 3};
  Bytes k16 = k3;
  k16.resize(16);
  Bytes k20 = k16;
  k20.insert(k20.end(), {9, 9, 9, 9});
  Bytes c3 = Encrypt(CRYPTMOD_ALG_AES128, k3, iv1, two_blocks, CRYPTMOD_MODE_CBC, 8);
  EXPECT_EQ(c3, Encrypt(CRYPTMOD_ALG_AES128, k16, iv1, two_blocks, CRYPTMOD_MODE_CBC, 8));
  EXPECT_EQ(c3, Encrypt(CRYPTMOD_ALG_AES128, k20, iv1, two_blocks, CRYPTMOD_MODE_CBC, 8));
}

TEST(BlockCipherTest, DecryptionChecksThePadding) {
  const Bytes key = RandomBytes(16, 4);
  auto cipher_of = [&](const Bytes& padded_plain) {
    return testing::EcbEncipher(crypto_internal::BlockAlgorithm::kAes, key, padded_plain);
  };
  Bytes block(16, 'z');
  struct Case {
    uint8_t last, before;
    bool ok;
  };
  for (Case c : {Case{0, 'z', false}, Case{17, 'z', false}, Case{0xFF, 'z', false},
                 Case{2, 'z', false}, Case{2, 2, true}, Case{1, 'z', true},
                 Case{16, 'z', false}}) {
    Bytes plain = block;
    plain[15] = c.last;
    plain[14] = c.before;
    uint32_t status = 0;
    auto out = Decrypt(CRYPTMOD_ALG_AES128, key, {}, cipher_of(plain),
                       CRYPTMOD_MODE_ECB, 8, &status);
    EXPECT_EQ(static_cast<bool>(out), c.ok) << int(c.last) << "/" << int(c.before);
    EXPECT_EQ(status, c.ok ? CRYPTMOD_OK : CRYPTMOD_E_DECRYPT);
    if (out) {
      EXPECT_EQ(out->length, 16u - c.last);
    }
  }
  // A full block of 16 pad bytes is removed whole.
  auto empty = Decrypt(CRYPTMOD_ALG_AES128, key, {}, cipher_of(Bytes(16, 16)),
                       CRYPTMOD_MODE_ECB, 8);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->length, 0u);
  // No cipher text, or one that is not whole blocks.
  for (size_t n : {0u, 15u, 17u}) {
    uint32_t status = 0;
    EXPECT_FALSE(Decrypt(CRYPTMOD_ALG_AES128, key, {}, Bytes(n, 1), CRYPTMOD_MODE_ECB,
                         8, &status));
    EXPECT_EQ(status, CRYPTMOD_E_DECRYPT);
  }
}

TEST(BlockCipherTest, RefusalsReportTheirCodes) {
  auto key = Wrap(Bytes(16, 1)), iv = Wrap(Bytes(16, 2)), in = Wrap(Bytes(5, 3));
  auto check = [&](uint32_t alg, uint32_t mode, uint32_t feedback,
                   const CryptBuffer* k, const CryptBuffer* v, const CryptBuffer* i,
                   uint32_t enc_code, uint32_t dec_code) {
    uint32_t status = 0;
    EXPECT_EQ(CryptEncryptBuffer(alg, k, v, i, mode, feedback, &status), nullptr);
    EXPECT_EQ(status, enc_code) << alg << "/" << mode << "/" << feedback;
    status = 0;
    EXPECT_EQ(CryptDecryptBuffer(alg, k, v, i, mode, feedback, &status), nullptr);
    EXPECT_EQ(status, dec_code) << alg << "/" << mode << "/" << feedback;
    EXPECT_EQ(CryptEncryptBuffer(alg, k, v, i, mode, feedback, nullptr), nullptr);
  };
  for (uint32_t alg : {0u, 1u, 4u, 5u, 6u, 7u, 13u}) {
    check(alg, CRYPTMOD_MODE_ECB, 8, key.get(), iv.get(), in.get(),
          CRYPTMOD_E_CIPHER_SETUP, CRYPTMOD_E_CIPHER_SETUP);
  }
  for (uint32_t mode : {0u, 5u}) {
    check(CRYPTMOD_ALG_SEED, mode, 8, key.get(), iv.get(), in.get(),
          CRYPTMOD_E_ENCRYPT, CRYPTMOD_E_DECRYPT);
  }
  for (uint32_t feedback : {0u, 17u}) {
    check(CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_CFB, feedback, key.get(), iv.get(),
          in.get(), CRYPTMOD_E_ENCRYPT, CRYPTMOD_E_DECRYPT);
  }
  check(CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_ECB, 8, key.get(), iv.get(), nullptr,
        CRYPTMOD_E_ENCRYPT, CRYPTMOD_E_DECRYPT);
  CryptBufferPtr no_storage(CryptBufferNew());
  check(CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_ECB, 8, key.get(), iv.get(),
        no_storage.get(), CRYPTMOD_E_ENCRYPT, CRYPTMOD_E_DECRYPT);
  check(CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_ECB, 8, nullptr, iv.get(), in.get(),
        CRYPTMOD_E_CIPHER_SETUP, CRYPTMOD_E_CIPHER_SETUP);
  check(CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_CBC, 8, key.get(), nullptr, in.get(),
        CRYPTMOD_E_CIPHER_SETUP, CRYPTMOD_E_CIPHER_SETUP);
  // ECB needs no IV object at all.
  CryptBufferPtr ok(CryptEncryptBuffer(CRYPTMOD_ALG_SEED, key.get(), nullptr, in.get(),
                                       CRYPTMOD_MODE_ECB, 8, nullptr));
  EXPECT_TRUE(ok);
}

TEST(BlockCipherTest, ByteFrontEndsHandOutStorage) {
  auto key = Wrap(Bytes(24, 5));
  const Bytes iv(8, 6), plain = BytesOf("front end");
  uint8_t* data = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(CryptEncryptBytes(CRYPTMOD_ALG_DES_EDE3, key.get(), iv.data(), iv.size(),
                              plain.data(), plain.size(), CRYPTMOD_MODE_CBC, 8,
                              &data, &length),
            CRYPTMOD_OK);
  CryptMemPtr cipher(data);
  EXPECT_EQ(length, 16u);
  EXPECT_EQ(Bytes(data, data + length),
            Encrypt(CRYPTMOD_ALG_DES_EDE3, Bytes(24, 5), iv, plain, CRYPTMOD_MODE_CBC, 8));
  ASSERT_EQ(CryptDecryptBytes(CRYPTMOD_ALG_DES_EDE3, key.get(), iv.data(), iv.size(),
                              data, length, CRYPTMOD_MODE_CBC, 8, &data, &length),
            CRYPTMOD_OK);
  CryptMemPtr back(data);
  EXPECT_EQ(Bytes(data, data + length), plain);

  EXPECT_EQ(CryptEncryptBytes(CRYPTMOD_ALG_SEED, key.get(), nullptr, 16, plain.data(),
                              plain.size(), CRYPTMOD_MODE_CBC, 8, &data, &length),
            CRYPTMOD_E_ALLOC_COPY);
  EXPECT_EQ(CryptDecryptBytes(CRYPTMOD_ALG_SEED, key.get(), nullptr, 0, nullptr, 32,
                              CRYPTMOD_MODE_ECB, 8, &data, &length),
            CRYPTMOD_E_ALLOC_COPY);
  EXPECT_EQ(CryptEncryptBytes(4, key.get(), nullptr, 0, plain.data(), plain.size(),
                              CRYPTMOD_MODE_ECB, 8, &data, &length),
            CRYPTMOD_E_CIPHER_SETUP);
  EXPECT_EQ(CryptDecryptBytes(CRYPTMOD_ALG_SEED, key.get(), nullptr, 0, plain.data(),
                              plain.size(), CRYPTMOD_MODE_ECB, 8, &data, &length),
            CRYPTMOD_E_DECRYPT);
}

TEST(BlockCipherTest, EveryAllocationFailureLeavesNothingBehind) {
  const Bytes key(32, 7), iv(16, 8), plain = RandomBytes(40, 9);
  for (uint32_t alg : {CRYPTMOD_ALG_SEED, CRYPTMOD_ALG_AES256, CRYPTMOD_ALG_BLOWFISH}) {
    Bytes cipher = Encrypt(alg, key, iv, plain, CRYPTMOD_MODE_CBC, 8);
    int runs = testing::ForEachAllocationFailure([&] {
      uint8_t* data = nullptr;
      uint32_t length = 0;
      auto k = Wrap(key);
      uint32_t status = CryptEncryptBytes(alg, k.get(), iv.data(), iv.size(),
                                          plain.data(), plain.size(),
                                          CRYPTMOD_MODE_CBC, 8, &data, &length);
      CryptMemPtr owned(data);
      if (status == CRYPTMOD_OK) {
        EXPECT_EQ(Bytes(data, data + length), cipher);
      }
      status = CryptDecryptBytes(alg, k.get(), iv.data(), iv.size(), cipher.data(),
                                 cipher.size(), CRYPTMOD_MODE_CBC, 8, &data, &length);
      CryptMemPtr owned2(status == CRYPTMOD_OK ? data : nullptr);
      if (status == CRYPTMOD_OK) {
        EXPECT_EQ(Bytes(data, data + length), plain);
      }
    });
    EXPECT_GT(runs, 10);
  }
}

}  // namespace
}  // namespace qorlog
