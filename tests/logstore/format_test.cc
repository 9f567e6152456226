// The bytes of a log file: the archive's integers and strings, its buffering
// and the position Close() leaves, the records and the header.
#include <cstring>
#include <new>

#include <gtest/gtest.h>

#include "logstore/log_format.h"
#include "logstore/log_util.h"
#include "tests/support/failing_allocation.h"
#include "tests/logstore/log_test_support.h"

namespace qorlog::testing {
namespace {

class FormatTest : public ::testing::Test {
 protected:
  std::filesystem::path Data() const { return dir_.path() / "data.log"; }
  // Writes `bytes` to the data file and opens it.
  platform::File& OpenWith(const std::string& bytes) {
    file_.Close();
    WriteFile(Data(), bytes);
    EXPECT_TRUE(file_.Open(U16(Data()), platform::File::modeReadWrite));
    return file_;
  }
  TempDir dir_;
  platform::File file_;
};

TEST_F(FormatTest, StringsAreStoredInTheirShortestFormAndReadBack) {
  const struct {
    std::size_t length;
    std::string prefix;
  } cases[] = {
      {0, Bytes({0xFF, 0xFE, 0xFF, 0x00})},
      {254, Bytes({0xFF, 0xFE, 0xFF, 0xFE})},
      {255, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00})},
      {0xFFFD, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF})},
      {0xFFFE, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
      {70000, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::u16string text(c.length, u'q');
    if (c.length > 0) text[0] = u'\u4e2d';
    const std::string bytes = Encode([&](Archive& ar) {
      ar.WriteString(text);
      ar.WriteU32(0xA1B2C3D4);
    });
    EXPECT_EQ(bytes.size(), c.prefix.size() + 2 * c.length + 4);
    EXPECT_EQ(bytes.substr(0, c.prefix.size()), c.prefix);
    Archive ar(OpenWith(bytes), Archive::kLoad);
    EXPECT_EQ(ar.ReadString(), text);
    EXPECT_EQ(ar.ReadU32(), 0xA1B2C3D4u);
  }
}

TEST_F(FormatTest, NarrowStringsWithoutMarkerAreConverted) {
  // One length byte; a 16-bit length; a 32-bit length; UTF-8 text.
  Archive ar(OpenWith(Bytes({0x03, 'a', 'b', 'c', 0xFF, 0x00, 0x01}) + std::string(256, 'n') +
                      Bytes({0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, 'o', 'k', 0x02, 0xC3, 0xA9})),
             Archive::kLoad);
  for (std::u16string expected : {std::u16string(u"abc"), std::u16string(256, u'n'), std::u16string(u"ok"),
                                  std::u16string(u"\u00e9")}) {
    EXPECT_EQ(ar.ReadString(), expected);
  }
}

// A length that the rest of the file cannot hold is refused from the file's
// size, before anything is allocated for it.
TEST_F(FormatTest, LengthBeyondTheFileIsEndOfFileBeforeAllocating) {
  for (const std::string& bytes : {
           Bytes({0xFF, 0xFE, 0xFF, 0x03, 0x61, 0x00, 0x62, 0x00}),              // one unit short
           Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),  // 4 G units
           Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}),                    // 2 GiB narrow
           Bytes({0xFF, 0xFE}),                                                  // cut in the marker
           Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x10}),                                // cut in the length
           Bytes({0x04, 0x03, 0x02}),                                            // cut in an integer
       }) {
    Archive ar(OpenWith(bytes), Archive::kLoad);
    FailAllocation(1);
    try {
      bytes.size() == 3 ? (void)ar.ReadU32() : (void)ar.ReadString();
      ADD_FAILURE() << "no exception for " << bytes.size() << " bytes";
    } catch (const ArchiveException& e) {
      EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
    } catch (const std::bad_alloc&) {
    }
    EXPECT_FALSE(AllocationFailed()) << bytes.size() << " bytes";
    FailAllocation(0);
  }
}

// A load archive reads ahead, but Close() leaves the file just after the last
// byte consumed, so that a second archive continues there; a store archive
// dropped without Close() (an append that failed) writes nothing more.
TEST_F(FormatTest, CloseLeavesTheFileWhereTheArchiveStopped) {
  std::string bytes;
  for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<char>(i * 7));
  platform::File& file = OpenWith(bytes);
  for (const std::uint32_t read : {6u, 6001u}) {
    const std::uint64_t from = file.GetPosition();
    Archive ar(file, Archive::kLoad);
    std::string got(read, '\0');
    EXPECT_EQ(ar.Read(got.data(), read), read);
    EXPECT_EQ(got, bytes.substr(from, read));
    ar.Close();
    EXPECT_EQ(file.GetPosition(), from + read);
  }
  OpenWith("");
  { Archive(file_, Archive::kStore).WriteU32(7); }
  EXPECT_EQ(file_.GetLength(), 0u);
}

TEST_F(FormatTest, RecordFieldsAreStoredInOrder) {
  // 2012-05-02 (a Wednesday) 04:12:32.000, as in the format's worked example.
  const SYSTEMTIME time = {2012, 5, 3, 2, 4, 12, 32, 0};
  const std::string time_bytes = Bytes({0xDC, 7, 5, 0, 3, 0, 2, 0, 4, 0, 12, 0, 32, 0, 0, 0});
  stPC_SCAN_LOG_W pc = {};
  pc.stTime = time;
  pc.dwCode = 0x11;
  pc.dwSubCode = 0x22;
  std::memcpy(pc.szText64, u"a", 4);
  std::memcpy(pc.szText260, u"bc", 6);
  const std::string pc_bytes = time_bytes + Bytes({0x11, 0, 0, 0, 0xFF, 0xFE, 0xFF, 1, 'a', 0, 0x22, 0, 0, 0,  //
                                                   0xFF, 0xFE, 0xFF, 2, 'b', 0, 'c', 0});
  EXPECT_EQ(RecordBytes(CPCScanLogRecord(pc)), pc_bytes);

  stFW_LOG_W fw = {};
  fw.stTime = time;
  fw.dwCode = 0x11;
  fw.dwParam = 0x01020304;
  fw.dwSubCode = 0x22;
  std::memcpy(fw.szText64b, u"z", 4);
  const std::string fw_bytes = time_bytes + Bytes({0x11, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0, 0xFF, 0xFE, 0xFF, 0,  //
                                                   0xFF, 0xFE, 0xFF, 1, 'z', 0, 4, 3, 2, 1, 0x22, 0, 0, 0});
  EXPECT_EQ(RecordBytes(CFWLogRecord(fw)), fw_bytes);
}

// A caller's text is taken up to its NUL, never past its field.
TEST_F(FormatTest, TextsAreTakenUpToTheNulOrTheFieldsEnd) {
  stPC_SCAN_LOG_W pc;
  std::memset(&pc, 0, sizeof pc);
  for (auto& c : pc.szText64) c = u'x';  // unterminated
  pc.szText260[0] = u'y';
  pc.szText260[2] = u'z';  // after the NUL: not taken
  CPCScanLogRecord record(pc);
  EXPECT_EQ(record.strText64, std::u16string(64, u'x'));
  EXPECT_EQ(record.strText260, u"y");
}

TEST_F(FormatTest, HeaderIsValidWhenItsCheckIsTheWrappingSum) {
  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {HeaderBytes(5, 2) + "\xAA", true},  // the version is not tested
      {HeaderBytes(5, 1, 5), false},
      {HeaderBytes(0xFFFFFFFF, 1, 0), true},
  };
  for (const auto& c : cases) EXPECT_EQ(CLogUtil::HasValidHeader(OpenWith(c.bytes)) != 0, c.valid) << c.bytes.size();
}

}  // namespace
}  // namespace qorlog::testing
