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

TEST(CryptBufferTest, ConstructorsReportOkAndOwnZeroFilledStorage) {
  uint32_t status = 0;
  CryptBufferPtr a(CryptBufferAlloc(40, &status));
  ASSERT_TRUE(a);
  EXPECT_EQ(status, CRYPTMOD_OK);
  EXPECT_EQ(a->length, 0u);
  EXPECT_EQ(Bytes(a->data, a->data + 40), Bytes(40, 0));

  const char text[] = "copied bytes";
  status = 0;
  CryptBufferPtr b(CryptBufferFromBytes(text, 12, &status));
  ASSERT_TRUE(b);
  EXPECT_EQ(status, CRYPTMOD_OK);
  EXPECT_EQ(BytesOf(b.get()), BytesOf("copied bytes"));
  EXPECT_NE(static_cast<const void*>(b->data), static_cast<const void*>(text));

  status = 0;
  CryptBufferPtr c(CryptBufferAllocNonEmpty(3, &status));
  ASSERT_TRUE(c);
  EXPECT_EQ(status, CRYPTMOD_OK);
  status = 0;
  CryptBufferPtr d(CryptBufferFromBytesNonEmpty("xy", 2, &status));
  ASSERT_TRUE(d);
  EXPECT_EQ(status, CRYPTMOD_OK);
  EXPECT_EQ(BytesOf(d.get()), BytesOf("xy"));

  CryptBufferPtr e(CryptBufferNew());
  ASSERT_TRUE(e);
  EXPECT_EQ(e->data, nullptr);
  EXPECT_EQ(e->length, 0u);
}

TEST(CryptBufferTest, SizeZeroIsAllowedOnlyWhereTheOperationSaysSo) {
  uint32_t status = 0;
  CryptBufferPtr empty(CryptBufferFromBytes(nullptr, 0, &status));
  ASSERT_TRUE(empty);
  EXPECT_EQ(status, CRYPTMOD_OK);
  EXPECT_EQ(empty->length, 0u);
  EXPECT_NE(empty->data, nullptr);  // storage exists

  status = 0;
  EXPECT_EQ(CryptBufferFromBytesNonEmpty("x", 0, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_COPY_NONEMPTY);
  status = 0;
  EXPECT_EQ(CryptBufferAllocNonEmpty(0, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_ALLOC_NONEMPTY);
}

TEST(CryptBufferTest, SizesAbove32BitsAreRefusedByEveryConstructor) {
  const char byte = 'x';
  uint32_t status = 0;
  EXPECT_EQ(CryptBufferAlloc(kOneAbove32, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_TOO_LARGE);
  status = 0;
  EXPECT_EQ(CryptBufferFromBytes(&byte, kOneAbove32, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_TOO_LARGE);
  status = 0;
  EXPECT_EQ(CryptBufferAllocNonEmpty(kOneAbove32, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_TOO_LARGE);
  status = 0;
  EXPECT_EQ(CryptBufferFromBytesNonEmpty(&byte, kOneAbove32, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_TOO_LARGE);

  status = 0;
  EXPECT_EQ(CryptCheckSize32(kOneAbove32, &status), 0u);
  EXPECT_EQ(status, CRYPTMOD_E_TOO_LARGE);
  EXPECT_EQ(CryptCheckSize32(0xFFFFFFFFull, &status), 0xFFFFFFFFu);
  EXPECT_EQ(status, CRYPTMOD_OK);
}

TEST(CryptBufferTest, AllocationFailuresGiveEachConstructorsOwnCode) {
  struct Case {
    CryptBuffer* (*make)(uint32_t*);
    uint32_t code;
  };
  const Case cases[] = {
      {[](uint32_t* s) { return CryptBufferAlloc(8, s); }, CRYPTMOD_E_ALLOC},
      {[](uint32_t* s) { return CryptBufferFromBytes("abcdefgh", 8, s); },
       CRYPTMOD_E_ALLOC_COPY},
      {[](uint32_t* s) { return CryptBufferAllocNonEmpty(8, s); },
       CRYPTMOD_E_ALLOC_NONEMPTY},
      {[](uint32_t* s) { return CryptBufferFromBytesNonEmpty("abcdefgh", 8, s); },
       CRYPTMOD_E_COPY_NONEMPTY},
  };
  for (const Case& c : cases) {
    // Object and storage are two allocations; either may fail.
    int runs = testing::ForEachAllocationFailure([&] {
      uint32_t status = 0;
      CryptBufferPtr buffer(c.make(&status));
      if (buffer) {
        EXPECT_EQ(status, CRYPTMOD_OK);
      } else {
        EXPECT_EQ(status, c.code);
      }
    });
    EXPECT_EQ(runs, 3);
  }
  // Copying from no bytes fails like a failed copy.
  uint32_t status = 0;
  EXPECT_EQ(CryptBufferFromBytes(nullptr, 4, &status), nullptr);
  EXPECT_EQ(status, CRYPTMOD_E_ALLOC_COPY);
}

TEST(CryptBufferTest, NullStatusAndNullObjectsAreAccepted) {
  CryptBufferFree(CryptBufferAlloc(4, nullptr));
  CryptBufferFree(CryptBufferFromBytes("ab", 2, nullptr));
  EXPECT_EQ(CryptBufferAllocNonEmpty(0, nullptr), nullptr);
  EXPECT_EQ(CryptBufferFromBytesNonEmpty("", 0, nullptr), nullptr);
  EXPECT_EQ(CryptBufferAlloc(kOneAbove32, nullptr), nullptr);
  EXPECT_EQ(CryptCheckSize32(7, nullptr), 7u);
  CryptBufferFree(nullptr);
  CryptBufferFreeNoWipe(nullptr);
  CryptMemFree(nullptr);
  CryptBufferFree(CryptBufferNew());
  CryptBufferFreeNoWipe(CryptBufferNew());
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
  // A string appended to itself, while its storage moves.
  ASSERT_EQ(CryptByteStringConcat(&a, &a), CRYPTMOD_OK);
  EXPECT_EQ(Bytes(a.bytes, a.bytes + a.length), BytesOf("abcabdabcabd"));
  ASSERT_EQ(CryptByteStringAppend(&b, b.bytes + 1, 2), CRYPTMOD_OK);
  EXPECT_EQ(Bytes(b.bytes, b.bytes + b.length), BytesOf("abdbd"));

  CryptByteString c;
  CryptByteStringInit(&c);
  ASSERT_EQ(CryptByteStringAppend(&c, "abcabdabcabd", 12), CRYPTMOD_OK);
  EXPECT_EQ(CryptByteStringCompare(&a, &c), 0);
  EXPECT_EQ(CryptByteStringReserve(&c, kOneAbove32), CRYPTMOD_E_TOO_LARGE);

  crypto_internal::FailAllocationAfter(0);
  EXPECT_EQ(CryptByteStringAppend(&c, "x", 1), CRYPTMOD_E_ALLOC);
  crypto_internal::FailAllocationAfter(-1);
  EXPECT_EQ(c.length, 12u);  // unchanged by the failure

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
