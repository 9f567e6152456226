// The archive: buffering in both directions, the integer and string forms,
// end-of-file, and the file position that Close() leaves.
#include "logstore/archive.h"

#include <gtest/gtest.h>

#include "tests/logstore/archive_fixture.h"

namespace qorlog {
namespace {

using testing::ArchiveFixture;
using testing::Bytes;

using ArchiveStringTest = ArchiveFixture;

TEST_F(ArchiveStringTest, StoredFormsAreExact) {
  EXPECT_EQ(Store([](Archive& ar) { ar.WriteString(u""); }), Bytes({0xFF, 0xFE, 0xFF, 0x00}));
  EXPECT_EQ(Store([](Archive& ar) { ar.WriteString(u"abc"); }),
            Bytes({0xFF, 0xFE, 0xFF, 0x03, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00}));

  std::string bytes = Store([](Archive& ar) { ar.WriteString(std::u16string(254, u'x')); });
  ASSERT_EQ(bytes.size(), 4u + 508u);
  EXPECT_EQ(bytes.substr(0, 4), Bytes({0xFF, 0xFE, 0xFF, 0xFE}));
  EXPECT_EQ(bytes.substr(4, 2), Bytes({'x', 0}));

  bytes = Store([](Archive& ar) { ar.WriteString(std::u16string(255, u'\u00e9')); });
  ASSERT_EQ(bytes.size(), 6u + 510u);
  EXPECT_EQ(bytes.substr(0, 6), Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}));
  EXPECT_EQ(bytes.substr(6, 2), Bytes({0xE9, 0x00}));

  // 0xFFFE and more characters need the 32-bit length.
  bytes = Store([](Archive& ar) { ar.WriteString(std::u16string(0xFFFE, u'y')); });
  ASSERT_EQ(bytes.size(), 10u + 2u * 0xFFFE);
  EXPECT_EQ(bytes.substr(0, 10), Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
  bytes = Store([](Archive& ar) { ar.WriteString(std::u16string(0xFFFD, u'y')); });
  EXPECT_EQ(bytes.substr(0, 6), Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}));
}

TEST_F(ArchiveStringTest, EveryStoredFormReadsBack) {
  for (std::size_t n : {0u, 1u, 254u, 255u, 300u, 0xFFFDu, 0xFFFEu, 70000u}) {
    std::u16string text(n, u'q');
    if (n > 0) text[0] = u'\u4e2d';
    const std::string bytes = Store([&](Archive& ar) {
      ar.WriteString(text);
      ar.WriteU32(0xA1B2C3D4);
    });
    Archive ar(OpenWith(bytes), Archive::kLoad);
    EXPECT_EQ(ar.ReadString(), text) << n;
    EXPECT_EQ(ar.ReadU32(), 0xA1B2C3D4u) << n;
  }
}

TEST_F(ArchiveStringTest, NarrowStringsWithoutMarkerAreConverted) {
  // One length byte; a 16-bit length; a 32-bit length; UTF-8 text.
  std::string bytes = Bytes({0x03, 'a', 'b', 'c'});
  bytes += Bytes({0xFF, 0x00, 0x01}) + std::string(256, 'n');
  bytes += Bytes({0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, 'o', 'k'});
  bytes += Bytes({0x02, 0xC3, 0xA9});
  Archive ar(OpenWith(bytes), Archive::kLoad);
  EXPECT_EQ(ar.ReadString(), u"abc");
  EXPECT_EQ(ar.ReadString(), std::u16string(256, u'n'));
  EXPECT_EQ(ar.ReadString(), u"ok");
  EXPECT_EQ(ar.ReadString(), u"\u00e9");
}

TEST_F(ArchiveStringTest, LengthBeyondTheFileIsEndOfFileBeforeAllocating) {
  const std::string cases[] = {
      Bytes({0xFF, 0xFE, 0xFF, 0x03, 0x61, 0x00, 0x62, 0x00}),                    // one unit short
      Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),        // 4 G units
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}),                          // 2 GiB narrow
      Bytes({0xFF, 0xFE}),                                                        // cut in the marker
      Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x10}),                                      // cut in the length
  };
  for (const std::string& bytes : cases) {
    Archive ar(OpenWith(bytes), Archive::kLoad);
    try {
      ar.ReadString();
      ADD_FAILURE() << "no exception";
    } catch (const ArchiveException& e) {
      EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
    }
  }
}

using ArchiveLoadTest = ArchiveFixture;

TEST_F(ArchiveLoadTest, IntegersAreLittleEndianAndEndOfFileIsItsOwnCause) {
  Archive ar(OpenWith(Bytes({0x04, 0x03, 0x02, 0x01, 0x34, 0x12, 0xAA, 0xBB, 0xCC})), Archive::kLoad);
  EXPECT_EQ(ar.ReadU32(), 0x01020304u);
  EXPECT_EQ(ar.ReadU16(), 0x1234u);
  try {
    ar.ReadU32();
    FAIL() << "no exception";
  } catch (const ArchiveException& e) {
    EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
  }
}

TEST_F(ArchiveLoadTest, RawReadReturnsFewerBytesAtTheEndWithoutFailing) {
  Archive ar(OpenWith("0123456789"), Archive::kLoad);
  char buf[16] = {};
  EXPECT_EQ(ar.Read(buf, 4), 4u);
  EXPECT_EQ(ar.Read(buf, 16), 6u);
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_EQ(ar.Read(buf, 16), 0u);
}

TEST_F(ArchiveLoadTest, CloseLeavesTheFileJustAfterTheLastByteConsumed) {
  std::string bytes;
  for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<char>(i * 7));
  platform::File& file = OpenWith(bytes);
  file.Seek(5, platform::File::begin);
  {
    Archive ar(file, Archive::kLoad);
    ar.ReadU32();
    ar.ReadU16();
    EXPECT_EQ(ar.ConsumedPosition(), 11u);
    EXPECT_GT(file.GetPosition(), 11u);  // read ahead into the buffer
    ar.Close();
  }
  EXPECT_EQ(file.GetPosition(), 11u);
  // A second archive continues there, across a buffer refill.
  Archive ar(file, Archive::kLoad);
  std::string big(6000, '\0');
  EXPECT_EQ(ar.Read(big.data(), 6000), 6000u);
  EXPECT_EQ(big, bytes.substr(11, 6000));
  char c;
  EXPECT_EQ(ar.Read(&c, 1), 1u);
  EXPECT_EQ(c, bytes[6011]);
  ar.Close();
  EXPECT_EQ(file.GetPosition(), 6012u);
}

TEST_F(ArchiveLoadTest, WrongDirectionIsAnArchiveError) {
  Archive ar(OpenWith("abcd"), Archive::kLoad);
  try {
    ar.WriteU32(1);
    FAIL();
  } catch (const ArchiveException& e) {
    EXPECT_EQ(e.cause(), ArchiveException::readOnly);
  }
  const std::string stored = Store([](Archive& store) {
    try {
      store.ReadU32();
      ADD_FAILURE();
    } catch (const ArchiveException& e) {
      EXPECT_EQ(e.cause(), ArchiveException::writeOnly);
    }
  });
  EXPECT_TRUE(stored.empty());
}

using ArchiveStoreTest = ArchiveFixture;

TEST_F(ArchiveStoreTest, BytesReachTheFileWhenTheBufferFillsAndAtClose) {
  platform::File file;
  ASSERT_TRUE(file.Open(platform::Utf8ToUtf16(FilePath().string()),
                        platform::File::modeCreate | platform::File::modeReadWrite));
  {
    Archive ar(file, Archive::kStore);
    const std::string chunk(5000, 'z');
    ar.Write(chunk.data(), 5000);
    EXPECT_EQ(file.GetLength(), 4096u);
    ar.Close();
    EXPECT_EQ(file.GetLength(), 5000u);
  }
  {
    // An archive dropped without Close() writes nothing more.
    Archive ar(file, Archive::kStore);
    ar.WriteU32(7);
  }
  EXPECT_EQ(file.GetLength(), 5000u);
}

}  // namespace
}  // namespace qorlog
