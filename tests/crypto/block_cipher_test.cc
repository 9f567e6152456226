// One-shot block cipher operations: SEED's known answers, the chaining modes
// against OpenSSL's answers and a reference for every feedback size, the
// padding and the statuses.
#include <gtest/gtest.h>

#include <map>

#include "crypto/cryptmod.h"
#include "test_util.h"

namespace qorlog {
namespace {

using crypto_internal::BlockAlgorithm;
using testing::Bytes;
using testing::BytesOf;
using testing::Decrypt;
using testing::EcbEncipher;
using testing::Encrypt;
using testing::FromHex;
using testing::RandomBytes;
using testing::ToHex;
using testing::Wrap;

// Known answers of RFC 4269 appendix B, read from vectors/seed.txt.
TEST(BlockCipherTest, SeedMatchesTheRfcKnownAnswers) {
  auto vectors = testing::ReadVectors("seed.txt", false);
  ASSERT_EQ(vectors.size(), 4u);
  for (const auto& v : vectors) {
    ASSERT_EQ(v.fields.size(), 3u);
    Bytes cipher = Encrypt(CRYPTMOD_ALG_SEED, FromHex(v.fields[0]), {}, FromHex(v.fields[1]), CRYPTMOD_MODE_ECB, 8);
    ASSERT_EQ(cipher.size(), 32u);  // the block and one block of padding
    EXPECT_EQ(ToHex(cipher.data(), 16), v.fields[2]);
  }
}

// Every algorithm in every mode that OpenSSL also offers, from
// vectors/modes.txt: a padding-only block, a partial block and several
// blocks with a remainder.
TEST(BlockCipherTest, ModesMatchOpenSslAnswers) {
  const std::map<std::string, uint32_t> kAlgorithms = {
      {"AES-128", CRYPTMOD_ALG_AES128},   {"AES-192", CRYPTMOD_ALG_AES192},    {"AES-256", CRYPTMOD_ALG_AES256},
      {"DES-EDE", CRYPTMOD_ALG_DES_EDE2}, {"DES-EDE3", CRYPTMOD_ALG_DES_EDE3}, {"BF", CRYPTMOD_ALG_BLOWFISH},
      {"SEED", CRYPTMOD_ALG_SEED}};
  // The mode and its feedback size (0: the block size, which is the IV's).
  const std::map<std::string, std::pair<uint32_t, uint32_t>> kModes = {{"ECB", {CRYPTMOD_MODE_ECB, 8}},
                                                                       {"CBC", {CRYPTMOD_MODE_CBC, 8}},
                                                                       {"CFB8", {CRYPTMOD_MODE_CFB, 1}},
                                                                       {"CFB", {CRYPTMOD_MODE_CFB, 0}},
                                                                       {"OFB", {CRYPTMOD_MODE_OFB, 0}}};
  auto vectors = testing::ReadVectors("modes.txt", false);
  ASSERT_EQ(vectors.size(), 96u);
  for (const auto& v : vectors) {
    ASSERT_EQ(v.fields.size(), 6u);
    SCOPED_TRACE(v.fields[0] + "-" + v.fields[1] + " plain " + v.fields[4]);
    const uint32_t alg = kAlgorithms.at(v.fields[0]);
    auto [mode, feedback] = kModes.at(v.fields[1]);
    const Bytes key = FromHex(v.fields[2]), iv = FromHex(v.fields[3]), plain = FromHex(v.fields[4]);
    if (feedback == 0) feedback = static_cast<uint32_t>(iv.size());
    uint32_t status = 0;
    EXPECT_EQ(ToHex(Encrypt(alg, key, iv, plain, mode, feedback, &status)), v.fields[5]);
    EXPECT_EQ(status, CRYPTMOD_OK);
    auto back = Decrypt(alg, key, iv, FromHex(v.fields[5]), mode, feedback, &status);
    ASSERT_TRUE(back);
    EXPECT_EQ(status, CRYPTMOD_OK);
    EXPECT_EQ(BytesOf(back.get()), plain);
  }
}

// CFB or OFB with an f-byte feedback, built from single AES blocks: each unit
// takes the first f bytes of the enciphered register, which then shifts in
// the f cipher bytes (CFB) or the f key bytes (OFB).
Bytes FeedbackReference(uint32_t mode, const Bytes& key, Bytes reg, const Bytes& plain, size_t f) {
  Bytes out;
  for (size_t at = 0; at < plain.size(); at += f) {
    const Bytes key_bytes = EcbEncipher(BlockAlgorithm::kAes, key, reg);
    reg.erase(reg.begin(), reg.begin() + f);
    for (size_t i = 0; i < f && at + i < plain.size(); ++i) {
      out.push_back(plain[at + i] ^ key_bytes[i]);
      reg.push_back(mode == CRYPTMOD_MODE_CFB ? out.back() : key_bytes[i]);
    }
  }
  return out;
}

TEST(BlockCipherTest, EveryFeedbackSizeShiftsTheRegisterByItsSize) {
  const Bytes key = RandomBytes(16, 1), iv = RandomBytes(16, 2), plain = RandomBytes(53, 3);
  Bytes padded = plain;
  padded.insert(padded.end(), 11, 11);  // to whole blocks, as the module pads
  for (uint32_t mode : {CRYPTMOD_MODE_CFB, CRYPTMOD_MODE_OFB}) {
    for (uint32_t f = 1; f <= 16; ++f) {
      const Bytes cipher = Encrypt(CRYPTMOD_ALG_AES128, key, iv, plain, mode, f);
      EXPECT_EQ(cipher, FeedbackReference(mode, key, iv, padded, f)) << mode << "/" << f;
      auto back = Decrypt(CRYPTMOD_ALG_AES128, key, iv, cipher, mode, f);
      ASSERT_TRUE(back);
      EXPECT_EQ(BytesOf(back.get()), plain);
    }
  }
}

// The key and IV copies take the algorithm's lengths: shorter objects are
// zero-extended, longer ones cut.
TEST(BlockCipherTest, ShortKeysAndIvsAreZeroExtendedLongOnesCut) {
  const Bytes plain(32, 'q');
  auto aes = [&](const Bytes& key, const Bytes& iv) {
    return Encrypt(CRYPTMOD_ALG_AES128, key, iv, plain, CRYPTMOD_MODE_CBC, 8);
  };
  Bytes key = {1, 2, 3}, iv = {7, 7};
  key.resize(16);
  iv.resize(16);
  const Bytes expected = aes(key, iv);
  EXPECT_EQ(aes({1, 2, 3}, {7, 7}), expected);
  key.insert(key.end(), 4, 9);
  iv.push_back(0x55);
  EXPECT_EQ(aes(key, iv), expected);
}

TEST(BlockCipherTest, DecryptionChecksThePadding) {
  const Bytes key = RandomBytes(16, 4);
  // A last block ending in `last` after `before`, or a cipher text of n bytes.
  const struct {
    uint8_t last, before;
    size_t n;
    bool ok;
  } cases[] = {{0, 'z', 16, false},  {17, 'z', 16, false}, {0xFF, 'z', 16, false}, {2, 'z', 16, false},
               {16, 'z', 16, false}, {2, 2, 16, true},     {1, 'z', 16, true},     {16, 16, 16, true},
               {1, 1, 0, false},     {1, 1, 15, false},    {1, 1, 17, false}};
  for (const auto& c : cases) {
    Bytes plain(16, 'z');
    plain[15] = c.last;
    if (c.last == 16 && c.before == 16) plain.assign(16, 16);  // a whole block of padding
    plain[14] = c.before;
    Bytes cipher = c.n == 16 ? EcbEncipher(BlockAlgorithm::kAes, key, plain) : Bytes(c.n, 1);
    uint32_t status = 0;
    auto out = Decrypt(CRYPTMOD_ALG_AES128, key, {}, cipher, CRYPTMOD_MODE_ECB, 8, &status);
    EXPECT_EQ(static_cast<bool>(out), c.ok) << int(c.last) << "/" << int(c.before) << "/" << c.n;
    EXPECT_EQ(status, c.ok ? CRYPTMOD_OK : CRYPTMOD_E_DECRYPT);
    if (out) {
      EXPECT_EQ(out->length, 16u - c.last);
    }
  }
}

TEST(BlockCipherTest, RefusalsReportTheirCodes) {
  auto key = Wrap(Bytes(16, 1)), iv = Wrap(Bytes(16, 2)), in = Wrap(Bytes(5, 3));
  CryptBufferPtr no_storage(CryptBufferNew());
  constexpr uint32_t kSetup = CRYPTMOD_E_CIPHER_SETUP, kEncrypt = CRYPTMOD_E_ENCRYPT;
  struct Case {
    uint32_t alg, mode, feedback;
    const CryptBuffer *k, *v, *i;
    uint32_t code;  // of encryption; decryption gives E_DECRYPT for E_ENCRYPT
  };
  std::vector<Case> cases = {
      {CRYPTMOD_ALG_SEED, 0, 8, key.get(), iv.get(), in.get(), kEncrypt},  // modes
      {CRYPTMOD_ALG_SEED, 5, 8, key.get(), iv.get(), in.get(), kEncrypt},
      {CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_CFB, 0, key.get(), iv.get(), in.get(), kEncrypt},  // feedback
      {CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_CFB, 17, key.get(), iv.get(), in.get(), kEncrypt},
      {CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_ECB, 8, key.get(), iv.get(), nullptr, kEncrypt},  // input
      {CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_ECB, 8, key.get(), iv.get(), no_storage.get(), kEncrypt},
      {CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_ECB, 8, nullptr, iv.get(), in.get(), kSetup},  // key, IV
      {CRYPTMOD_ALG_SEED, CRYPTMOD_MODE_CBC, 8, key.get(), nullptr, in.get(), kSetup},
  };
  for (uint32_t alg : {0u, 1u, 4u, 5u, 6u, 7u, 13u}) {
    cases.push_back({alg, CRYPTMOD_MODE_ECB, 8, key.get(), iv.get(), in.get(), kSetup});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.alg) + "/" + std::to_string(c.mode) + "/" + std::to_string(c.feedback));
    uint32_t status = 0;
    EXPECT_EQ(CryptEncryptBuffer(c.alg, c.k, c.v, c.i, c.mode, c.feedback, &status), nullptr);
    EXPECT_EQ(status, c.code);
    EXPECT_EQ(CryptDecryptBuffer(c.alg, c.k, c.v, c.i, c.mode, c.feedback, &status), nullptr);
    EXPECT_EQ(status, c.code == kEncrypt ? CRYPTMOD_E_DECRYPT : c.code);
    EXPECT_EQ(CryptEncryptBuffer(c.alg, c.k, c.v, c.i, c.mode, c.feedback, nullptr), nullptr);
  }
  // ECB needs no IV object at all.
  EXPECT_TRUE(CryptBufferPtr(
      CryptEncryptBuffer(CRYPTMOD_ALG_SEED, key.get(), nullptr, in.get(), CRYPTMOD_MODE_ECB, 8, nullptr)));
}

TEST(BlockCipherTest, ByteFrontEndRefusals) {
  auto key = Wrap(Bytes(24, 5));
  const Bytes plain = BytesOf("front end");
  uint8_t* data = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(CryptEncryptBytes(CRYPTMOD_ALG_SEED, key.get(), nullptr, 16, plain.data(), plain.size(), CRYPTMOD_MODE_CBC,
                              8, &data, &length),
            CRYPTMOD_E_ALLOC_COPY);
  EXPECT_EQ(
      CryptDecryptBytes(CRYPTMOD_ALG_SEED, key.get(), nullptr, 0, nullptr, 32, CRYPTMOD_MODE_ECB, 8, &data, &length),
      CRYPTMOD_E_ALLOC_COPY);
  EXPECT_EQ(
      CryptEncryptBytes(4, key.get(), nullptr, 0, plain.data(), plain.size(), CRYPTMOD_MODE_ECB, 8, &data, &length),
      CRYPTMOD_E_CIPHER_SETUP);
  EXPECT_EQ(CryptDecryptBytes(CRYPTMOD_ALG_SEED, key.get(), nullptr, 0, plain.data(), plain.size(), CRYPTMOD_MODE_ECB,
                              8, &data, &length),
            CRYPTMOD_E_DECRYPT);
}

// The byte front ends hand out storage of their own; under each allocation
// failure they report it and leave nothing behind, and the last run (without
// a failure) gives the one-shot result.
TEST(BlockCipherTest, ByteFrontEndsSurviveEveryAllocationFailure) {
  const Bytes key(32, 7), iv(16, 8), plain = RandomBytes(40, 9);
  for (uint32_t alg : {CRYPTMOD_ALG_SEED, CRYPTMOD_ALG_AES256, CRYPTMOD_ALG_BLOWFISH}) {
    const Bytes cipher = Encrypt(alg, key, iv, plain, CRYPTMOD_MODE_CBC, 8);
    uint32_t encrypted = 0, decrypted = 0;
    int runs = testing::ForEachAllocationFailure([&] {
      uint8_t* data = nullptr;
      uint32_t length = 0;
      auto k = Wrap(key);
      encrypted = CryptEncryptBytes(alg, k.get(), iv.data(), iv.size(), plain.data(), plain.size(), CRYPTMOD_MODE_CBC,
                                    8, &data, &length);
      if (encrypted == CRYPTMOD_OK) {
        CryptMemPtr owned(data);
        EXPECT_EQ(Bytes(data, data + length), cipher);
      }
      decrypted = CryptDecryptBytes(alg, k.get(), iv.data(), iv.size(), cipher.data(), cipher.size(), CRYPTMOD_MODE_CBC,
                                    8, &data, &length);
      if (decrypted == CRYPTMOD_OK) {
        CryptMemPtr owned(data);
        EXPECT_EQ(Bytes(data, data + length), plain);
      }
    });
    EXPECT_GT(runs, 10);
    EXPECT_EQ(encrypted, CRYPTMOD_OK);
    EXPECT_EQ(decrypted, CRYPTMOD_OK);
  }
}

}  // namespace
}  // namespace qorlog
