// The record objects: the bytes each stores, reading them back, header
// validity, and the copies to and from the boundary records.
#include "logstore/log_records.h"

#include <cstring>

#include <gtest/gtest.h>

#include "logstore/log_format.h"
#include "tests/logstore/archive_fixture.h"

namespace qorlog {
namespace {

using testing::ArchiveFixture;
using testing::Bytes;

// 2012-05-02 (a Wednesday) 04:12:32.000
constexpr SYSTEMTIME kTime = {2012, 5, 3, 2, 4, 12, 32, 0};

template <typename Record>
Record LoadOne(ArchiveFixture& fx, const std::string& bytes) {
  Record r;
  Archive ar(fx.OpenWith(bytes), Archive::kLoad);
  r.Serialize(ar);
  return r;
}

template <typename Record>
bool LoadHitsEndOfFile(ArchiveFixture& fx, const std::string& bytes) {
  try {
    LoadOne<Record>(fx, bytes);
  } catch (const ArchiveException& e) {
    return e.cause() == ArchiveException::endOfFile;
  }
  return false;
}

class LogHeaderTest : public ArchiveFixture {};

TEST_F(LogHeaderTest, FreshAndCountedHeadersAreExact) {
  CLogHeader fresh;
  fresh.dwVersion = kLogVersion;
  fresh.dwCheck = kLogVersion;
  EXPECT_EQ(Store([&](Archive& ar) { fresh.Serialize(ar); }),
            Bytes({1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
  CLogHeader three;
  three.dwVersion = 1;
  three.dwItemCount = 3;
  three.dwCheck = 4;
  EXPECT_EQ(Store([&](Archive& ar) { three.Serialize(ar); }), Bytes({1, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}));
}

TEST_F(LogHeaderTest, ValidityIsTheWrappingSumAndIgnoresTheVersion) {
  auto header = LoadOne<CLogHeader>(*this, Bytes({2, 0, 0, 0, 5, 0, 0, 0, 7, 0, 0, 0, 0xAA}));
  EXPECT_EQ(header.dwVersion, 2u);
  EXPECT_EQ(header.dwItemCount, 5u);
  EXPECT_TRUE(header.IsValid());
  EXPECT_FALSE(LoadOne<CLogHeader>(*this, Bytes({1, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0})).IsValid());
  EXPECT_TRUE(LoadOne<CLogHeader>(*this, Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0})).IsValid());
  EXPECT_TRUE(LoadHitsEndOfFile<CLogHeader>(*this, Bytes({1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0})));
}

TEST_F(LogHeaderTest, BoundaryOrderDiffersFromFileOrder) {
  const stLOG_HEADER in = {7, 1, 8};  // dwItemCount, dwVersion, dwCheck
  CLogHeader header(in);
  EXPECT_EQ(header.dwItemCount, 7u);
  EXPECT_EQ(header.dwVersion, 1u);
  EXPECT_EQ(Store([&](Archive& ar) { header.Serialize(ar); }), Bytes({1, 0, 0, 0, 7, 0, 0, 0, 8, 0, 0, 0}));
  stLOG_HEADER out = {};
  header.CopyTo(&out);
  EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
  header.CopyTo(nullptr);  // ignored
}

class LogRecordBytesTest : public ArchiveFixture {};

TEST_F(LogRecordBytesTest, SimpleRecordExample) {
  stSIMPLE_LOG_W log = {};
  log.stTime = kTime;
  log.dwCode = 1;
  log.dwSubCode = 2;
  std::memcpy(log.szText260, u"abc", 8);
  CSimpleLogRecord record(log);
  const std::string expected = Bytes({0xDC, 0x07, 0x05, 0x00, 0x03, 0x00, 0x02, 0x00, 0x04, 0x00, 0x0C, 0x00,
                                      0x20, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                      0xFF, 0xFE, 0xFF, 0x03, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00});
  ASSERT_EQ(expected.size(), 34u);
  EXPECT_EQ(Store([&](Archive& ar) { record.Serialize(ar); }), expected);

  auto back = LoadOne<CSimpleLogRecord>(*this, expected);
  stSIMPLE_LOG_W out = {};
  back.CopyTo(&out);
  EXPECT_EQ(std::memcmp(&out, &log, sizeof log), 0);
}

TEST_F(LogRecordBytesTest, FieldOrderOfPCScanAndFirewallRecords) {
  stPC_SCAN_LOG_W pc = {};
  pc.stTime = kTime;
  pc.dwCode = 0x11;
  pc.dwSubCode = 0x22;
  std::memcpy(pc.szText64, u"a", 4);
  std::memcpy(pc.szText260, u"bc", 6);
  const std::string time_bytes = Bytes({0xDC, 7, 5, 0, 3, 0, 2, 0, 4, 0, 12, 0, 32, 0, 0, 0});
  EXPECT_EQ(Store([&](Archive& ar) { CPCScanLogRecord(pc).Serialize(ar); }),
            time_bytes + Bytes({0x11, 0, 0, 0, 0xFF, 0xFE, 0xFF, 1, 'a', 0, 0x22, 0, 0, 0,  //
                                0xFF, 0xFE, 0xFF, 2, 'b', 0, 'c', 0}));

  stFW_LOG_W fw = {};
  fw.stTime = kTime;
  fw.dwCode = 0x11;
  fw.dwParam = 0x01020304;
  fw.dwSubCode = 0x22;
  std::memcpy(fw.szText64b, u"z", 4);
  EXPECT_EQ(Store([&](Archive& ar) { CFWLogRecord(fw).Serialize(ar); }),
            time_bytes + Bytes({0x11, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0, 0xFF, 0xFE, 0xFF, 0,  //
                                0xFF, 0xFE, 0xFF, 1, 'z', 0, 4, 3, 2, 1, 0x22, 0, 0, 0}));
}

TEST_F(LogRecordBytesTest, StoredSizesRunFromEmptyToFullFields) {
  auto size_of = [this](auto record) {
    return Store([&](Archive& ar) { record.Serialize(ar); }).size();
  };
  EXPECT_EQ(size_of(CPCScanLogRecord()), 32u);
  EXPECT_EQ(size_of(CFWLogRecord()), 40u);
  EXPECT_EQ(size_of(CSimpleLogRecord()), 28u);

  CPCScanLogRecord pc;
  pc.strText64.assign(63, u'a');
  pc.strText260.assign(259, u'b');
  EXPECT_EQ(size_of(pc), 678u);
  CFWLogRecord fw;
  fw.strText64.assign(63, u'a');
  fw.strText260.assign(259, u'b');
  fw.strText64b.assign(63, u'c');
  EXPECT_EQ(size_of(fw), 812u);
  CSimpleLogRecord simple;
  simple.strText260.assign(259, u'b');
  EXPECT_EQ(size_of(simple), 548u);
}

TEST_F(LogRecordBytesTest, CutOffRecordsEndWithEndOfFile) {
  CFWLogRecord fw;
  fw.strText260 = u"some text";
  const std::string full = Store([&](Archive& ar) { fw.Serialize(ar); });
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    EXPECT_TRUE(LoadHitsEndOfFile<CFWLogRecord>(*this, full.substr(0, cut))) << cut;
  }
  EXPECT_EQ(LoadOne<CFWLogRecord>(*this, full).strText260, u"some text");
}

class LogRecordCopyTest : public ArchiveFixture {};

TEST_F(LogRecordCopyTest, CopyToCutsLongStoredTextsToTheField) {
  CFWLogRecord stored;
  stored.strText64.assign(100, u'a');
  stored.strText260.assign(300, u'b');
  stored.strText64b.assign(64, u'c');
  auto back = LoadOne<CFWLogRecord>(*this, Store([&](Archive& ar) { stored.Serialize(ar); }));
  stFW_LOG_W out;
  std::memset(&out, 0x55, sizeof out);
  back.CopyTo(&out);
  EXPECT_EQ(std::u16string(out.szText64), std::u16string(63, u'a'));
  EXPECT_EQ(std::u16string(out.szText260), std::u16string(259, u'b'));
  EXPECT_EQ(std::u16string(out.szText64b), std::u16string(63, u'c'));

  CSimpleLogRecord simple;
  simple.strText260.assign(260, u'd');
  stSIMPLE_LOG_W s = {};
  simple.CopyTo(&s);
  EXPECT_EQ(s.szText260[258], u'd');
  EXPECT_EQ(s.szText260[259], 0);
  simple.CopyTo(nullptr);
}

TEST_F(LogRecordCopyTest, CopyFromStopsAtTheNulAndAtTheFieldEnd) {
  stPC_SCAN_LOG_W pc;
  std::memset(&pc, 0, sizeof pc);
  for (auto& c : pc.szText64) c = u'x';  // unterminated
  pc.szText260[0] = u'y';
  pc.szText260[2] = u'z';  // after the NUL: not taken
  CPCScanLogRecord record(pc);
  EXPECT_EQ(record.strText64, std::u16string(64, u'x'));
  EXPECT_EQ(record.strText260, u"y");
}

}  // namespace
}  // namespace qorlog
