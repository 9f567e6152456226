// The incremental block cipher with its carry, and the RC4 stream operations.
#include <gtest/gtest.h>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "test_util.h"

namespace qorlog {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::RandomBytes;
using testing::ToHex;
using testing::Wrap;

// Runs the incremental form over `input` cut into `parts` (the remainder
// goes to the final call); returns false when a call fails.
bool RunIncremental(uint32_t alg, const Bytes& key, const Bytes& iv, bool decrypt, uint32_t mode, uint32_t feedback,
                    const Bytes& input, const std::vector<size_t>& parts, Bytes* out) {
  auto k = Wrap(key);
  CryptCipherContext* context = nullptr;
  if (CryptCipherInit(alg, k.get(), iv.data(), iv.size(), decrypt, mode, feedback, &context) != CRYPTMOD_OK) {
    return false;
  }
  out->clear();
  size_t at = 0;
  bool ok = true;
  for (size_t part : parts) {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (CryptCipherUpdate(context, input.data() + at, part, &data, &length) != CRYPTMOD_OK) {
      ok = false;
      break;
    }
    CryptMemPtr owned(data);
    EXPECT_EQ(length % 8, 0u);
    out->insert(out->end(), data, data + length);
    at += part;
  }
  if (ok) {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    ok = CryptCipherFinal(context, input.data() + at, input.size() - at, &data, &length) == CRYPTMOD_OK;
    CryptMemPtr owned(data);
    if (ok) out->insert(out->end(), data, data + length);
  }
  CryptCipherFree(context);
  return ok;
}

TEST(IncrementalCipherTest, AnySplitGivesTheOneShotResult) {
  const Bytes message = RandomBytes(150, 11);
  const std::vector<std::vector<size_t>> splits = {{},       {1},      {150}, {1, 40, 59}, {15, 1, 16, 17, 31, 33, 37},
                                                   {64, 64}, {5, 5, 5}};
  // One 8-byte and two 16-byte block ciphers: the carry logic is shared.
  for (uint32_t alg : {3u, 9u, 12u}) {
    const size_t block = alg <= 8 ? 8 : 16;
    const Bytes key = RandomBytes(alg == 3 || alg == 11 ? 24 : alg == 12 ? 32 : 16, alg);
    const Bytes iv = RandomBytes(block, alg + 50);
    for (uint32_t mode : {1u, 2u, 3u, 4u}) {
      for (uint32_t feedback : {1u, 3u, static_cast<uint32_t>(block)}) {
        if (mode <= 2 && feedback != 1) continue;
        const Bytes cipher = testing::Encrypt(alg, key, iv, message, mode, feedback);
        for (const auto& split : splits) {
          SCOPED_TRACE("alg " + std::to_string(alg) + " mode " + std::to_string(mode) + " feedback " +
                       std::to_string(feedback) + " parts " + std::to_string(split.size()));
          Bytes out;
          ASSERT_TRUE(RunIncremental(alg, key, iv, false, mode, feedback, message, split, &out));
          EXPECT_EQ(out, cipher);
          ASSERT_TRUE(RunIncremental(alg, key, iv, true, mode, feedback, cipher, split, &out));
          EXPECT_EQ(out, message);
        }
      }
    }
  }
}

TEST(IncrementalCipherTest, UpdateCarriesTheLastUnit) {
  auto key = Wrap(Bytes(32, 1));
  CryptCipherContext* context = nullptr;
  ASSERT_EQ(CryptCipherInit(CRYPTMOD_ALG_AES256, key.get(), nullptr, 0, false, CRYPTMOD_MODE_ECB, 8, &context),
            CRYPTMOD_OK);
  const Bytes data(200, 'd');
  uint8_t* out = nullptr;
  uint32_t length = 99;
  // 63 bytes stay below two 32-byte units: nothing comes out.
  ASSERT_EQ(CryptCipherUpdate(context, data.data(), 63, &out, &length), CRYPTMOD_OK);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(length, 0u);
  // 64 bytes: one unit out, one carried.
  ASSERT_EQ(CryptCipherUpdate(context, data.data(), 1, &out, &length), CRYPTMOD_OK);
  CryptMemPtr first(out);
  EXPECT_EQ(length, 32u);
  // 32 + 100 = 132: four whole units, three of them out.
  ASSERT_EQ(CryptCipherUpdate(context, data.data(), 100, &out, &length), CRYPTMOD_OK);
  CryptMemPtr second(out);
  EXPECT_EQ(length, 96u);
  ASSERT_EQ(CryptCipherFinal(context, nullptr, 0, &out, &length), CRYPTMOD_OK);
  CryptMemPtr last(out);
  EXPECT_EQ(length, 48u);  // 36 carried bytes, padded
  // Finished: further calls are refused.
  EXPECT_EQ(CryptCipherUpdate(context, data.data(), 1, &out, &length), CRYPTMOD_E_CIPHER_UPDATE);
  EXPECT_EQ(CryptCipherFinal(context, nullptr, 0, &out, &length), CRYPTMOD_E_CIPHER_FINAL);
  CryptCipherFree(context);
}

TEST(IncrementalCipherTest, RefusalsReportTheirCodes) {
  auto key = Wrap(Bytes(16, 1));
  const Bytes iv(16, 2);
  CryptCipherContext* context = nullptr;
  EXPECT_EQ(CryptCipherInit(9, key.get(), iv.data(), 16, false, 1, 8, nullptr), CRYPTMOD_E_CIPHER_INIT);
  EXPECT_EQ(CryptCipherInit(9, nullptr, iv.data(), 16, false, 1, 8, &context), CRYPTMOD_E_CIPHER_INIT);
  EXPECT_EQ(CryptCipherInit(9, key.get(), nullptr, 16, false, 1, 8, &context), CRYPTMOD_E_CIPHER_INIT);
  EXPECT_EQ(CryptCipherInit(9, key.get(), iv.data(), 16, false, 0, 8, &context), CRYPTMOD_E_CIPHER_INIT);
  EXPECT_EQ(CryptCipherInit(9, key.get(), iv.data(), 16, false, 3, 0, &context), CRYPTMOD_E_CIPHER_INIT);
  EXPECT_EQ(context, nullptr);

  ASSERT_EQ(CryptCipherInit(9, key.get(), iv.data(), 16, true, 1, 8, &context), CRYPTMOD_OK);
  uint8_t* out = nullptr;
  uint32_t length = 0;
  const Bytes junk(40, 3);
  EXPECT_EQ(CryptCipherUpdate(nullptr, junk.data(), 1, &out, &length), CRYPTMOD_E_CIPHER_UPDATE);
  EXPECT_EQ(CryptCipherUpdate(context, nullptr, 1, &out, &length), CRYPTMOD_E_CIPHER_UPDATE);
  EXPECT_EQ(CryptCipherUpdate(context, junk.data(), 0, &out, &length), CRYPTMOD_E_CIPHER_UPDATE);
  EXPECT_EQ(CryptCipherUpdate(context, junk.data(), 0x100000000ull, &out, &length), CRYPTMOD_E_CIPHER_UPDATE);
  EXPECT_EQ(CryptCipherFinal(context, junk.data(), 0x100000000ull, &out, &length), CRYPTMOD_E_CIPHER_UPDATE);
  // Decryption of a partial block, or of random bytes with a bad padding,
  // fails at the final call and leaves the context as it was.
  EXPECT_EQ(CryptCipherFinal(context, junk.data(), 15, &out, &length), CRYPTMOD_E_CIPHER_FINAL);
  // The first block of the cipher text of 16 'a' decrypts to 16 'a': the
  // last byte, 0x61, is no pad count.
  auto v = Wrap(iv), in = Wrap(Bytes(16, 'a'));
  CryptBufferPtr cipher(CryptEncryptBuffer(9, key.get(), v.get(), in.get(), 1, 8, nullptr));
  ASSERT_EQ(cipher->length, 32u);
  EXPECT_EQ(CryptCipherFinal(context, cipher->data, 16, &out, &length), CRYPTMOD_E_CIPHER_FINAL);
  // The context is unchanged: the whole cipher text still decrypts.
  ASSERT_EQ(CryptCipherFinal(context, cipher->data, 32, &out, &length), CRYPTMOD_OK);
  CryptMemPtr owned(out);
  EXPECT_EQ(Bytes(out, out + length), Bytes(16, 'a'));
  CryptCipherFree(context);
  CryptCipherFree(nullptr);
}

TEST(IncrementalCipherTest, EveryAllocationFailureLeavesNothingBehind) {
  const Bytes message = RandomBytes(70, 5);
  const Bytes key(16, 4), iv(16, 6);
  Bytes expected = testing::Encrypt(9, key, iv, message, 1, 8);
  int runs = testing::ForEachAllocationFailure([&] {
    Bytes out;
    if (RunIncremental(9, key, iv, false, 1, 8, message, {20, 30}, &out)) {
      EXPECT_EQ(out, expected);
    }
  });
  EXPECT_GT(runs, 4);
}

// A known answer of RC4 (key "Key", plain text "Plaintext"), and the refusals.
TEST(StreamCipherTest, Rc4KnownAnswerAndRefusals) {
  auto key = Wrap(BytesOf("Key"));
  const Bytes plain = BytesOf("Plaintext");
  uint8_t* data = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(CryptStreamEncrypt(CRYPTMOD_ALG_RC4, key.get(), plain.data(), plain.size(), &data, &length), CRYPTMOD_OK);
  CryptMemPtr cipher(data);
  EXPECT_EQ(ToHex(data, length), "bbf316e8d940af0ad3");
  ASSERT_EQ(CryptStreamDecrypt(CRYPTMOD_ALG_RC4, key.get(), data, length, &data, &length), CRYPTMOD_OK);
  CryptMemPtr back(data);
  EXPECT_EQ(Bytes(data, data + length), plain);

  // No bytes give an empty result; the other ids, an empty or no key and a
  // failed allocation are refused.
  length = 99;
  ASSERT_EQ(CryptStreamEncrypt(5, key.get(), nullptr, 0, &data, &length), CRYPTMOD_OK);
  CryptMemFree(data);
  EXPECT_EQ(length, 0u);
  for (uint32_t alg : {0u, 4u, 9u}) {
    EXPECT_EQ(CryptStreamEncrypt(alg, key.get(), "x", 1, &data, &length), CRYPTMOD_E_STREAM_ENCRYPT);
    EXPECT_EQ(CryptStreamDecrypt(alg, key.get(), "x", 1, &data, &length), CRYPTMOD_E_STREAM_DECRYPT);
  }
  auto empty = Wrap({});
  EXPECT_EQ(CryptStreamEncrypt(5, empty.get(), "x", 1, &data, &length), CRYPTMOD_E_STREAM_ENCRYPT);
  EXPECT_EQ(CryptStreamEncrypt(5, nullptr, "x", 1, &data, &length), CRYPTMOD_E_STREAM_ENCRYPT);
  crypto_internal::FailAllocationAfter(0);
  EXPECT_EQ(CryptStreamDecrypt(5, key.get(), "x", 1, &data, &length), CRYPTMOD_E_STREAM_DECRYPT);
  crypto_internal::FailAllocationAfter(-1);
}

}  // namespace
}  // namespace qorlog
