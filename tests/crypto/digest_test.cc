// Digests by id, the HAS-160 service, the incremental form and the CRC-32.
#include <gtest/gtest.h>

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

// Known answers from TTAS.KO-12.0011/R1, read from vectors/has160.txt.
TEST(DigestTest, Has160MatchesTheStandardsKnownAnswers) {
  auto vectors = testing::ReadVectors("has160.txt", true);
  ASSERT_EQ(vectors.size(), 8u);
  for (const auto& v : vectors) {
    ASSERT_EQ(v.fields.size(), 1u);
    EXPECT_EQ(DigestHex(CRYPTMOD_HASH_HAS160, BytesOf(v.message)), v.fields[0])
        << v.message.substr(0, 20) << " (" << v.message.size() << " bytes)";
    CryptBufferPtr service(DigestHas160(v.message.data(),
                                        static_cast<uint32_t>(v.message.size())));
    ASSERT_TRUE(service);
    EXPECT_EQ(ToHex(BytesOf(service.get())), v.fields[0]);
  }
}

TEST(DigestTest, OtherIdsMatchTheirPublishedAnswers) {
  const Bytes abc = BytesOf("abc");
  EXPECT_EQ(DigestHex(CRYPTMOD_HASH_SHA1, abc),
            "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(DigestHex(CRYPTMOD_HASH_SHA256, abc),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(DigestHex(CRYPTMOD_HASH_RIPEMD160, abc),
            "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc");
  EXPECT_EQ(DigestHex(CRYPTMOD_HASH_RIPEMD160, {}),
            "9c1185a5c5e9fc54612808977ee8f548b2258d31");
  EXPECT_EQ(DigestHex(CRYPTMOD_HASH_SHA256, {}),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // Across a block boundary: 56 bytes need a second padding block.
  EXPECT_EQ(DigestHex(CRYPTMOD_HASH_SHA1,
                      BytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
}

TEST(DigestTest, Refusals) {
  CryptBufferPtr input(CryptBufferFromBytes("x", 1, nullptr));
  for (uint32_t id : {0u, 5u}) {
    uint32_t status = 0;
    EXPECT_EQ(CryptDigest(id, input.get(), &status), nullptr);
    EXPECT_EQ(status, CRYPTMOD_E_DIGEST);
  }
  uint32_t status = 0;
  EXPECT_EQ(CryptDigest(CRYPTMOD_HASH_SHA1, nullptr, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_DIGEST);
  CryptBufferPtr no_storage(CryptBufferNew());
  status = 0;
  EXPECT_EQ(CryptDigest(CRYPTMOD_HASH_SHA1, no_storage.get(), &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_DIGEST);
  EXPECT_EQ(CryptDigest(0, input.get(), nullptr), nullptr);

  // The service: an empty message works, two calls give separate objects.
  CryptBufferPtr a(DigestHas160(nullptr, 0));
  CryptBufferPtr b(DigestHas160("", 0));
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(BytesOf(a.get()), BytesOf(b.get()));
  EXPECT_EQ(ToHex(BytesOf(a.get())), "307964ef34151d37c8047adec7ab50f4ff89762d");
}

TEST(DigestTest, DigestBytesHandsOutStorageOrNothing) {
  uint8_t* data = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(CryptDigestBytes(CRYPTMOD_HASH_HAS160, "abc", 3, &data, &length),
            CRYPTMOD_OK);
  CryptMemPtr owned(data);
  EXPECT_EQ(ToHex(data, length), "975e810488cf2a3d49838478124afce4b1c78804");

  data = nullptr;
  length = 0;
  EXPECT_EQ(CryptDigestBytes(7, "abc", 3, &data, &length), CRYPTMOD_E_DIGEST);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(CryptDigestBytes(1, nullptr, 3, &data, &length), CRYPTMOD_E_DIGEST);
  EXPECT_EQ(CryptDigestBytes(1, "abc", 0x100000000ull, &data, &length),
            CRYPTMOD_E_DIGEST);
  EXPECT_EQ(data, nullptr);
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

TEST(DigestTest, IncrementalFormMatchesOneShotForAnySplit) {
  const Bytes message = testing::RandomBytes(100, 7);
  for (uint32_t id : {1u, 2u, 3u, 4u}) {
    const std::string whole = DigestHex(id, message);
    for (auto split : {std::vector<size_t>{1, 40, 59}, std::vector<size_t>{100},
                       std::vector<size_t>{63, 1, 0, 36}, std::vector<size_t>{64, 36}}) {
      CryptHashContext* context = nullptr;
      ASSERT_EQ(CryptHashInit(id, &context), CRYPTMOD_OK);
      size_t at = 0;
      for (size_t part : split) {
        ASSERT_EQ(CryptHashUpdate(context, message.data() + at, part), CRYPTMOD_OK);
        at += part;
      }
      uint8_t* data = nullptr;
      uint32_t length = 0;
      ASSERT_EQ(CryptHashFinal(context, &data, &length), CRYPTMOD_OK);
      CryptMemPtr owned(data);
      EXPECT_EQ(ToHex(data, length), whole) << "id " << id;
    }
  }
  // One million "a" through the incremental form, in uneven pieces.
  CryptHashContext* context = nullptr;
  ASSERT_EQ(CryptHashInit(CRYPTMOD_HASH_HAS160, &context), CRYPTMOD_OK);
  const std::string chunk(997, 'a');
  size_t left = 1000000;
  while (left > 0) {
    size_t n = std::min(left, chunk.size());
    ASSERT_EQ(CryptHashUpdate(context, chunk.data(), n), CRYPTMOD_OK);
    left -= n;
  }
  uint8_t* data = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(CryptHashFinal(context, &data, &length), CRYPTMOD_OK);
  CryptMemPtr owned(data);
  EXPECT_EQ(ToHex(data, length), "d6ad6f0608b878da9b87999c2525cc84f4c9f18d");
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
