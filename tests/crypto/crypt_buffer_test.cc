// Buffer objects, their statuses and releases, and the growable byte string.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "test_util.h"

namespace qorlog {
namespace {

using testing::Bytes;
using testing::BytesOf;

constexpr uint64_t kOneAbove32 = 0x100000000ull;

// The four constructors: what each makes of a size, with its own status for
// an allocation that fails and for a size of zero where zero is refused.
TEST(CryptBufferTest, ConstructorsSizesAndStatuses) {
  using Make = CryptBuffer* (*)(uint64_t size, uint32_t * status);
  struct Case {
    const char* name;
    Make make;
    bool copies;
    uint32_t zero_status;  // CRYPTMOD_OK where a size of zero is allowed
    uint32_t alloc_status;
  };
  static const char kSource[] = "abcdefgh";
  const Case cases[] = {
      {"Alloc", [](uint64_t n, uint32_t* s) { return CryptBufferAlloc(n, s); }, false, CRYPTMOD_OK, CRYPTMOD_E_ALLOC},
      {"FromBytes", [](uint64_t n, uint32_t* s) { return CryptBufferFromBytes(kSource, n, s); }, true, CRYPTMOD_OK,
       CRYPTMOD_E_ALLOC_COPY},
      {"AllocNonEmpty", [](uint64_t n, uint32_t* s) { return CryptBufferAllocNonEmpty(n, s); }, false,
       CRYPTMOD_E_ALLOC_NONEMPTY, CRYPTMOD_E_ALLOC_NONEMPTY},
      {"FromBytesNonEmpty", [](uint64_t n, uint32_t* s) { return CryptBufferFromBytesNonEmpty(kSource, n, s); }, true,
       CRYPTMOD_E_COPY_NONEMPTY, CRYPTMOD_E_COPY_NONEMPTY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t status = 99;
    CryptBufferPtr made(c.make(8, &status));
    ASSERT_TRUE(made);
    EXPECT_EQ(status, CRYPTMOD_OK);
    // Storage of its own: a copy of the bytes, or zeroes with length 0.
    EXPECT_NE(static_cast<const void*>(made->data), static_cast<const void*>(kSource));
    EXPECT_EQ(Bytes(made->data, made->data + 8), c.copies ? BytesOf("abcdefgh") : Bytes(8, 0));
    EXPECT_EQ(made->length, c.copies ? 8u : 0u);

    CryptBufferPtr zero(c.make(0, &status));
    EXPECT_EQ(status, c.zero_status);
    EXPECT_TRUE(c.zero_status != CRYPTMOD_OK || zero->data != nullptr);  // storage exists
    EXPECT_EQ(CryptBufferPtr(c.make(kOneAbove32, &status)), nullptr);
    EXPECT_EQ(status, CRYPTMOD_E_TOO_LARGE);
    // Object and storage are two allocations; either may fail.
    EXPECT_EQ(testing::ForEachAllocationFailure([&] {
                CryptBufferPtr buffer(c.make(8, &status));
                EXPECT_EQ(status, buffer ? CRYPTMOD_OK : c.alloc_status);
              }),
              3);
    CryptBufferFree(c.make(4, nullptr));  // the status is optional
  }
  uint32_t status = 0;
  EXPECT_EQ(CryptBufferFromBytes(nullptr, 4, &status), nullptr);  // copying from nothing
  EXPECT_EQ(status, CRYPTMOD_E_ALLOC_COPY);
  EXPECT_EQ(CryptCheckSize32(kOneAbove32, &status), 0u);
  EXPECT_EQ(status, CRYPTMOD_E_TOO_LARGE);
  EXPECT_EQ(CryptCheckSize32(0xFFFFFFFFull, &status), 0xFFFFFFFFu);
  EXPECT_EQ(status, CRYPTMOD_OK);

  CryptBufferPtr bare(CryptBufferNew());
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->data, nullptr);
  CryptBufferFreeNoWipe(CryptBufferNew());
  CryptBufferFree(nullptr);
  CryptBufferFreeNoWipe(nullptr);
  CryptMemFree(nullptr);
}

TEST(CryptByteStringTest, AppendConcatAndCompare) {
  CryptByteString a, b;
  CryptByteStringInit(&a);
  CryptByteStringInit(&b);
  EXPECT_EQ(CryptByteStringCompare(&a, &b), 0);
  ASSERT_EQ(CryptByteStringAppend(&a, "abc", 3), CRYPTMOD_OK);
  EXPECT_EQ(a.capacity, 3u);  // grows to exactly the size asked for
  ASSERT_EQ(CryptByteStringAppend(&b, "abd", 3), CRYPTMOD_OK);
  EXPECT_EQ(CryptByteStringCompare(&a, &b), -1);
  EXPECT_EQ(CryptByteStringCompare(&b, &a), -1);

  ASSERT_EQ(CryptByteStringConcat(&a, &b), CRYPTMOD_OK);
  EXPECT_EQ(Bytes(a.bytes, a.bytes + a.length), BytesOf("abcabd"));
  EXPECT_EQ(a.capacity, 6u);
  // Bytes from inside the string itself, while its storage moves.
  ASSERT_EQ(CryptByteStringAppend(&b, b.bytes + 1, 2), CRYPTMOD_OK);
  EXPECT_EQ(Bytes(b.bytes, b.bytes + b.length), BytesOf("abdbd"));

  CryptByteString c;
  CryptByteStringInit(&c);
  ASSERT_EQ(CryptByteStringAppend(&c, "abcabd", 6), CRYPTMOD_OK);
  EXPECT_EQ(CryptByteStringCompare(&a, &c), 0);
  EXPECT_EQ(CryptByteStringReserve(&c, kOneAbove32), CRYPTMOD_E_TOO_LARGE);

  crypto_internal::FailAllocationAfter(0);
  EXPECT_EQ(CryptByteStringAppend(&c, "x", 1), CRYPTMOD_E_ALLOC);
  crypto_internal::FailAllocationAfter(-1);
  EXPECT_EQ(c.length, 6u);  // unchanged by the failure

  CryptByteStringRelease(&a);
  CryptByteStringRelease(&b);
  CryptByteStringRelease(&c);
  EXPECT_EQ(a.bytes, nullptr);
}

TEST(CryptByteStringTest, HexDumpPrintsCaptionBytesAndLineBreak) {
  CryptByteString s;
  CryptByteStringInit(&s);
  const uint8_t bytes[] = {0x00, 0x0A, 0xFF, 0x5c};
  ASSERT_EQ(CryptByteStringAppend(&s, bytes, sizeof(bytes)), CRYPTMOD_OK);
  FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  CryptByteStringHexDump("key: %d ", &s, out);
  CryptByteStringHexDump(nullptr, &s, out);
  std::rewind(out);
  char text[64] = {};
  size_t n = std::fread(text, 1, sizeof(text) - 1, out);
  std::fclose(out);
  // The caption is printed as data, not as a format.
  EXPECT_EQ(std::string(text, n), "key: %d 000AFF5C\n000AFF5C\n");
  CryptByteStringRelease(&s);
}

}  // namespace
}  // namespace qorlog
