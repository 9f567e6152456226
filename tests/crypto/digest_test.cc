// Digests by id, the HAS-160 service, the incremental form and the CRC-32.
#include <gtest/gtest.h>

#include <map>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "test_util.h"

namespace qorlog {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::ToHex;

std::string DigestHex(uint32_t id, const Bytes& message) {
  CryptBufferPtr input(CryptBufferFromBytes(message.data(), message.size(), nullptr));
  uint32_t status = 0;
  CryptBufferPtr digest(CryptDigest(id, input.get(), &status));
  if (!digest) return "failed";
  EXPECT_EQ(status, CRYPTMOD_OK);
  return ToHex(BytesOf(digest.get()));
}

// Published answers: HAS-160's from TTAS.KO-12.0011/R1, with two at the edge
// of the last block's padding (vectors/has160.txt), and those of the other
// ids (vectors/digests.txt).
TEST(DigestTest, IdsMatchTheirPublishedAnswers) {
  const std::map<std::string, uint32_t> kIds = {
      {"SHA1", CRYPTMOD_HASH_SHA1}, {"SHA256", CRYPTMOD_HASH_SHA256}, {"RIPEMD160", CRYPTMOD_HASH_RIPEMD160}};
  size_t count = 0;
  for (const char* file : {"has160.txt", "digests.txt"}) {
    for (const auto& v : testing::ReadVectors(file, true)) {
      ++count;
      const uint32_t id = v.fields.size() == 1 ? CRYPTMOD_HASH_HAS160 : kIds.at(v.fields[0]);
      EXPECT_EQ(DigestHex(id, BytesOf(v.message)), v.fields.back()) << file << ", " << v.message.size() << " bytes";
    }
  }
  EXPECT_EQ(count, 10u + 11u);
}

TEST(DigestTest, RefusalsHandOutNothing) {
  CryptBufferPtr input(CryptBufferFromBytes("x", 1, nullptr));
  CryptBufferPtr no_storage(CryptBufferNew());
  for (auto [id, in] : {std::pair{0u, input.get()},
                        {5u, input.get()},
                        {CRYPTMOD_HASH_SHA1, nullptr},
                        {CRYPTMOD_HASH_SHA1, no_storage.get()}}) {
    uint32_t status = 0;
    EXPECT_EQ(CryptDigest(id, in, &status), nullptr) << id;
    EXPECT_EQ(status, CRYPTMOD_E_DIGEST) << id;
  }
  EXPECT_EQ(CryptDigest(0, input.get(), nullptr), nullptr);

  uint8_t* data = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(CryptDigestBytes(CRYPTMOD_HASH_HAS160, "abc", 3, &data, &length), CRYPTMOD_OK);
  EXPECT_EQ(ToHex(data, length), "975e810488cf2a3d49838478124afce4b1c78804");
  CryptMemFree(data);
  data = nullptr;
  EXPECT_EQ(CryptDigestBytes(7, "abc", 3, &data, &length), CRYPTMOD_E_DIGEST);
  EXPECT_EQ(CryptDigestBytes(1, nullptr, 3, &data, &length), CRYPTMOD_E_DIGEST);
  EXPECT_EQ(CryptDigestBytes(1, "abc", 0x100000000ull, &data, &length), CRYPTMOD_E_DIGEST);
  EXPECT_EQ(data, nullptr);

  // The HAS-160 service, and an empty message without bytes.
  CryptBufferPtr empty(DigestHas160(nullptr, 0));
  ASSERT_TRUE(empty);
  EXPECT_EQ(ToHex(BytesOf(empty.get())), "307964ef34151d37c8047adec7ab50f4ff89762d");
}

// Each allocation of a digest by id may fail: the status tells, and only a
// success hands out storage. (The incremental form's failures are below.)
TEST(DigestTest, EveryAllocationFailureLeavesNothingBehind) {
  testing::ForEachAllocationFailure([] {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    uint32_t status = CryptDigestBytes(2, "abc", 3, &data, &length);
    CryptMemPtr owned(data);
    EXPECT_EQ(status == CRYPTMOD_OK, data != nullptr);
  });
}

// Every length up to two blocks and a bit, so that the padding meets each
// place in a block: the incremental form, fed in uneven pieces, gives the
// one-shot digest.
TEST(DigestTest, IncrementalFormMatchesOneShotAtEveryLength) {
  const Bytes message = testing::RandomBytes(140, 7);
  for (uint32_t id : {1u, 2u, 3u, 4u}) {
    for (size_t n = 0; n <= message.size(); ++n) {
      const Bytes prefix(message.begin(), message.begin() + n);
      const std::string whole = DigestHex(id, prefix);
      CryptHashContext* context = nullptr;
      ASSERT_EQ(CryptHashInit(id, &context), CRYPTMOD_OK);
      for (size_t at = 0, part = 1; at < n; at += part, part = part % 7 + 1) {
        ASSERT_EQ(CryptHashUpdate(context, prefix.data() + at, std::min(part, n - at)), CRYPTMOD_OK);
      }
      uint8_t* data = nullptr;
      uint32_t length = 0;
      ASSERT_EQ(CryptHashFinal(context, &data, &length), CRYPTMOD_OK);
      CryptMemPtr owned(data);
      EXPECT_EQ(ToHex(data, length), whole) << "id " << id << " length " << n;
    }
  }
}

TEST(DigestTest, IncrementalRefusalsLeaveTheContextUsable) {
  CryptHashContext* context = nullptr;
  EXPECT_EQ(CryptHashInit(0, &context), CRYPTMOD_E_HASH_INIT);
  EXPECT_EQ(CryptHashInit(5, &context), CRYPTMOD_E_HASH_INIT);
  EXPECT_EQ(context, nullptr);
  EXPECT_EQ(CryptHashInit(1, nullptr), CRYPTMOD_E_HASH_INIT);
  EXPECT_EQ(CryptHashUpdate(nullptr, "a", 1), CRYPTMOD_E_HASH_UPDATE);

  ASSERT_EQ(CryptHashInit(CRYPTMOD_HASH_SHA1, &context), CRYPTMOD_OK);
  ASSERT_EQ(CryptHashUpdate(context, "ab", 2), CRYPTMOD_OK);
  EXPECT_EQ(CryptHashUpdate(context, nullptr, 5), CRYPTMOD_E_ALLOC_COPY);
  crypto_internal::FailAllocationAfter(0);
  EXPECT_EQ(CryptHashUpdate(context, "zz", 2), CRYPTMOD_E_ALLOC_COPY);
  crypto_internal::FailAllocationAfter(0);
  uint8_t* data = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(CryptHashFinal(context, &data, &length), CRYPTMOD_E_HASH_FINAL);
  crypto_internal::FailAllocationAfter(-1);
  EXPECT_EQ(CryptHashFinal(context, nullptr, &length), CRYPTMOD_E_HASH_FINAL);
  // None of the failures changed what the context absorbed.
  ASSERT_EQ(CryptHashUpdate(context, "c", 1), CRYPTMOD_OK);
  ASSERT_EQ(CryptHashFinal(context, &data, &length), CRYPTMOD_OK);
  CryptMemPtr owned(data);
  EXPECT_EQ(ToHex(data, length), "a9993e364706816aba3e25717850c26c9cd0d89d");
  CryptHashFree(nullptr);
}

TEST(DigestTest, Crc32FollowsZlibsConvention) {
  const std::string text = "123456789";
  EXPECT_EQ(CryptCrc32(0, text.data(), text.size()), 0xCBF43926u);
  EXPECT_EQ(CryptCrc32(0x12345678, nullptr, 10), 0u);
  EXPECT_EQ(CryptCrc32(0x12345678, text.data(), 0), 0x12345678u);
  uint32_t half = CryptCrc32(CryptCrc32(0, nullptr, 0), text.data(), 4);
  EXPECT_EQ(CryptCrc32(half, text.data() + 4, 5), 0xCBF43926u);
}

}  // namespace
}  // namespace qorlog
