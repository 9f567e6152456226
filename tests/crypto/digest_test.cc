// Digests by id, the HAS-160 service, the incremental form and the CRC-32.
#include <gtest/gtest.h>

#include <map>
#include <set>

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

// Known answers from TTAS.KO-12.0011/R1, read from vectors/has160.txt,
// through the digest by id and through the HAS-160 service.
TEST(DigestTest, Has160MatchesTheStandardsKnownAnswers) {
  auto vectors = testing::ReadVectors("has160.txt", true);
  ASSERT_EQ(vectors.size(), 8u);
  for (const auto& v : vectors) {
    ASSERT_EQ(v.fields.size(), 1u);
    EXPECT_EQ(DigestHex(CRYPTMOD_HASH_HAS160, BytesOf(v.message)), v.fields[0])
        << v.message.substr(0, 20) << " (" << v.message.size() << " bytes)";
    CryptBufferPtr service(DigestHas160(v.message.data(), static_cast<uint32_t>(v.message.size())));
    ASSERT_TRUE(service);
    EXPECT_EQ(ToHex(BytesOf(service.get())), v.fields[0]);
  }
}

// Published answers of the other ids, read from vectors/digests.txt.
TEST(DigestTest, OtherIdsMatchTheirPublishedAnswers) {
  const std::map<std::string, uint32_t> kIds = {
      {"SHA1", CRYPTMOD_HASH_SHA1}, {"SHA256", CRYPTMOD_HASH_SHA256}, {"RIPEMD160", CRYPTMOD_HASH_RIPEMD160}};
  auto vectors = testing::ReadVectors("digests.txt", true);
  ASSERT_EQ(vectors.size(), 11u);
  for (const auto& v : vectors) {
    ASSERT_EQ(v.fields.size(), 2u);
    EXPECT_EQ(DigestHex(kIds.at(v.fields[0]), BytesOf(v.message)), v.fields[1])
        << v.fields[0] << " of " << v.message.size() << " bytes";
  }
}

TEST(DigestTest, RefusalsHandOutNothing) {
  CryptBufferPtr input(CryptBufferFromBytes("x", 1, nullptr));
  CryptBufferPtr no_storage(CryptBufferNew());
  for (auto [id, in] : {std::pair{0u, input.get()}, {5u, input.get()}, {CRYPTMOD_HASH_SHA1, nullptr},
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

  // The service: an empty message works, two calls give separate objects.
  CryptBufferPtr a(DigestHas160(nullptr, 0));
  CryptBufferPtr b(DigestHas160("", 0));
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(ToHex(BytesOf(a.get())), "307964ef34151d37c8047adec7ab50f4ff89762d");
  EXPECT_EQ(BytesOf(a.get()), BytesOf(b.get()));
}

TEST(DigestTest, EveryAllocationFailureLeavesNothingBehind) {
  testing::ForEachAllocationFailure([] {
    CryptBufferPtr d(DigestHas160("abc", 3));
    if (d) {
      EXPECT_EQ(d->length, 20u);
    }
  });
  testing::ForEachAllocationFailure([] {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    uint32_t status = CryptDigestBytes(2, "abc", 3, &data, &length);
    CryptMemPtr owned(data);
    EXPECT_EQ(status == CRYPTMOD_OK, data != nullptr);
  });
  testing::ForEachAllocationFailure([] {
    CryptHashContext* context = nullptr;
    ASSERT_EQ(CryptHashInit(CRYPTMOD_HASH_HAS160, &context), CRYPTMOD_OK);
    uint32_t status = CryptHashUpdate(context, "abc", 3);
    EXPECT_TRUE(status == CRYPTMOD_OK || status == CRYPTMOD_E_ALLOC_COPY);
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (CryptHashFinal(context, &data, &length) == CRYPTMOD_OK) {
      CryptMemFree(data);
    } else {
      CryptHashFree(context);
    }
  });
}

// Every length up to two blocks and a bit, so that the padding meets each
// place in a block: the incremental form, fed in uneven pieces, gives the
// one-shot digest, and no two lengths share a digest.
TEST(DigestTest, IncrementalFormMatchesOneShotAtEveryLength) {
  const Bytes message = testing::RandomBytes(140, 7);
  for (uint32_t id : {1u, 2u, 3u, 4u}) {
    std::set<std::string> seen;
    for (size_t n = 0; n <= message.size(); ++n) {
      const Bytes prefix(message.begin(), message.begin() + n);
      const std::string whole = DigestHex(id, prefix);
      seen.insert(whole);
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
    EXPECT_EQ(seen.size(), message.size() + 1) << "id " << id;
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
