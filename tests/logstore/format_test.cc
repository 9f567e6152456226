// The bytes of a log file: the archive's integers and strings, its buffering
// and the position Close() leaves, the records and the header, and the
// manager's header read and rewrite.
#include <cstring>

#include <gtest/gtest.h>

#include "logstore/log_format.h"
#include "tests/logstore/log_test_support.h"

namespace qorlog::testing {
namespace {

class FormatTest : public LogFolderTest {
 protected:
  std::filesystem::path Data() const { return env_.root() / "data.log"; }
  // Writes `bytes` to the data file and opens it (read-write, so the header
  // rewrite can use it too).
  platform::File& OpenWith(const std::string& bytes) {
    file_.Close();
    WriteFile(Data(), bytes);
    EXPECT_TRUE(file_.Open(U16(Data()), platform::File::modeReadWrite));
    return file_;
  }
  template <typename Record>
  Record Load(const std::string& bytes) {
    Record r;
    Archive ar(OpenWith(bytes), Archive::kLoad);
    r.Serialize(ar);
    return r;
  }
  template <typename Record>
  bool LoadHitsEndOfFile(const std::string& bytes) {
    try {
      Load<Record>(bytes);
    } catch (const ArchiveException& e) {
      return e.cause() == ArchiveException::endOfFile;
    }
    return false;
  }
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
  EXPECT_EQ(Encode([](Archive& ar) { ar.WriteString(u"abc"); }),
            Bytes({0xFF, 0xFE, 0xFF, 0x03, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00}));
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
    try {
      bytes.size() == 3 ? (void)ar.ReadU32() : (void)ar.ReadString();
      ADD_FAILURE() << "no exception for " << bytes.size() << " bytes";
    } catch (const ArchiveException& e) {
      EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
    }
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

TEST_F(FormatTest, RecordFieldsAreStoredInOrderAndCopiedBack) {
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
  stPC_SCAN_LOG_W pc_back = {};
  Load<CPCScanLogRecord>(pc_bytes).CopyTo(&pc_back);
  EXPECT_EQ(std::memcmp(&pc_back, &pc, sizeof pc), 0);

  stFW_LOG_W fw = {};
  fw.stTime = time;
  fw.dwCode = 0x11;
  fw.dwParam = 0x01020304;
  fw.dwSubCode = 0x22;
  std::memcpy(fw.szText64b, u"z", 4);
  const std::string fw_bytes = time_bytes + Bytes({0x11, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0, 0xFF, 0xFE, 0xFF, 0,  //
                                                   0xFF, 0xFE, 0xFF, 1, 'z', 0, 4, 3, 2, 1, 0x22, 0, 0, 0});
  EXPECT_EQ(RecordBytes(CFWLogRecord(fw)), fw_bytes);
  stFW_LOG_W fw_back = {};
  Load<CFWLogRecord>(fw_bytes).CopyTo(&fw_back);
  EXPECT_EQ(std::memcmp(&fw_back, &fw, sizeof fw), 0);
}

TEST_F(FormatTest, RecordSizesRunFromEmptyToFullFieldsAndACutOneIsEndOfFile) {
  CPCScanLogRecord pc;
  CFWLogRecord fw;
  CSimpleLogRecord simple;
  EXPECT_EQ(RecordBytes(pc).size(), 32u);
  EXPECT_EQ(RecordBytes(fw).size(), 40u);
  EXPECT_EQ(RecordBytes(simple).size(), 28u);
  pc.strText64.assign(63, u'a');
  pc.strText260.assign(259, u'b');
  fw.strText64.assign(63, u'a');
  fw.strText260.assign(259, u'b');
  fw.strText64b.assign(63, u'c');
  simple.strText260.assign(259, u'b');
  EXPECT_EQ(RecordBytes(pc).size(), 678u);
  EXPECT_EQ(RecordBytes(simple).size(), 548u);
  const std::string full = RecordBytes(fw);
  EXPECT_EQ(full.size(), 812u);
  for (std::size_t cut = 0; cut < full.size(); cut += 7) {
    EXPECT_TRUE(LoadHitsEndOfFile<CFWLogRecord>(full.substr(0, cut))) << cut;
  }
}

TEST_F(FormatTest, CopiesCutTextsToTheFieldAndStopAtTheNul) {
  CFWLogRecord stored;
  stored.strText64.assign(100, u'a');
  stored.strText260.assign(300, u'b');
  stored.strText64b.assign(64, u'c');
  stFW_LOG_W out;
  std::memset(&out, 0x55, sizeof out);
  Load<CFWLogRecord>(RecordBytes(stored)).CopyTo(&out);
  EXPECT_EQ(std::u16string(out.szText64), std::u16string(63, u'a'));
  EXPECT_EQ(std::u16string(out.szText260), std::u16string(259, u'b'));
  EXPECT_EQ(std::u16string(out.szText64b), std::u16string(63, u'c'));
  stored.CopyTo(nullptr);

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
  for (const auto& c : cases) EXPECT_EQ(Load<CLogHeader>(c.bytes).IsValid(), c.valid) << c.bytes.size();
  EXPECT_TRUE(LoadHitsEndOfFile<CLogHeader>(HeaderBytes(0).substr(0, 11)));
  // The header given to callers holds count, version, check in that order.
  const stLOG_HEADER in = {7, 1, 8};
  CLogHeader header(in);
  EXPECT_EQ(RecordBytes(header), HeaderBytes(7));
  stLOG_HEADER out = {};
  header.CopyTo(&out);
  EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
  header.CopyTo(nullptr);
}

TEST_F(FormatTest, ManagerReadsOnlyAWholeValidHeaderAndRewritesOnlyTheHeader) {
  DWORD count = 42;
  EXPECT_EQ(manager_.ReadLogHeader(nullptr, &count), 0);
  for (const std::string& bad : {HeaderBytes(7).substr(0, 11), HeaderBytes(7, 1, 7)}) {
    EXPECT_EQ(manager_.ReadLogHeader(&OpenWith(bad), &count), 0);
    EXPECT_EQ(count, 42u);
  }
  EXPECT_EQ(manager_.ReadLogHeader(&OpenWith(HeaderBytes(7) + "records"), &count), 1);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(file_.GetPosition(), 12u);

  EXPECT_EQ(manager_.WriteLogHeader(&OpenWith(""), 0), 1);
  file_.Close();  // unshared: nobody else may read it while it is open
  EXPECT_EQ(ReadFile(Data()), HeaderBytes(0));
  EXPECT_EQ(manager_.WriteLogHeader(&OpenWith(HeaderBytes(3) + "tail"), 0xFFFFFFFFu), 1);
  file_.Close();
  EXPECT_EQ(ReadFile(Data()), Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}) + "tail");
  platform::File closed;
  EXPECT_EQ(manager_.WriteLogHeader(&closed, 1), 0);  // errors are not thrown
  EXPECT_EQ(manager_.WriteLogHeader(nullptr, 1), 0);
}

}  // namespace
}  // namespace qorlog::testing
