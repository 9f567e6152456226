// CLogReader: the header read, one-by-one reads and the array reads over
// files that are complete, empty, cut off, damaged or still being written.
#include "logstore/log_reader.h"

#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "platform/fault_injection.h"
#include "tests/logstore/log_test_support.h"

namespace qorlog::testing {
namespace {

using platform::fault::Call;
using platform::fault::ScopedPlan;

class LogReaderTest : public ::testing::Test {
 protected:
  ~LogReaderTest() override { g_blocks.clear(); }
  void OpenWith(const std::string& bytes) {
    WriteFile(path(), bytes);
    reader_.Close();
    ASSERT_EQ(reader_.Open(U16(path())), 0u);
  }
  std::vector<stSIMPLE_LOG_W> SimpleArray(DWORD expected_status = 0) {
    stSIMPLE_LOG_W* array = nullptr;
    DWORD count = 0;
    EXPECT_EQ(reader_.ReadSimpleLogArray(&TestAlloc, &array, &count), expected_status);
    return array == nullptr ? std::vector<stSIMPLE_LOG_W>() : std::vector<stSIMPLE_LOG_W>(array, array + count);
  }
  std::filesystem::path path() const { return dir_.path() / "2024030500.log"; }

  TempDir dir_;
  CLogReader reader_;
};

TEST_F(LogReaderTest, HeaderIsReturnedAsStoredEvenWhenShortOrInvalid) {
  const struct {
    std::string bytes;
    stLOG_HEADER header;  // count, version, check
    std::uint64_t position;
  } cases[] = {
      {"", {0, 0, 0}, 0},
      {HeaderBytes(5).substr(0, 6), {0, 1, 0}, 4},  // version complete, count cut
      {HeaderBytes(7, 1, 7) + RecordBytes(PCScan(1, 1)), {7, 1, 7}, 12},  // invalid, handed out all the same
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    OpenWith(c.bytes);
    stLOG_HEADER* header = nullptr;
    ASSERT_EQ(reader_.ReadHeader(&TestAlloc, &header), 0u);
    EXPECT_EQ(std::memcmp(header, &c.header, sizeof c.header), 0);
    EXPECT_EQ(reader_.GetPosition(), c.position);
  }
  stLOG_HEADER* header = nullptr;
  EXPECT_EQ(reader_.ReadHeader(&FailingAlloc, &header), QORLOG_STATUS_OUT_OF_MEMORY);
  EXPECT_EQ(header, nullptr);
  EXPECT_EQ(CLogReader().ReadHeader(&TestAlloc, &header), QORLOG_STATUS_LOG_ERROR);
}

TEST_F(LogReaderTest, OneByOneReadsOldestFirstWaitForARecordBeingWritten) {
  const std::string third = RecordBytes(PCScan(3, 30, std::u16string(100, u'a'), std::u16string(300, u'b')));
  OpenWith(HeaderBytes(3) + RecordBytes(PCScan(1, 10)) + RecordBytes(PCScan(700, 900)) + third.substr(0, 21));
  stLOG_HEADER* header = nullptr;
  ASSERT_EQ(reader_.ReadHeader(&TestAlloc, &header), 0u);
  stPC_SCAN_LOG_W rec;
  std::memset(&rec, 0x5A, sizeof rec);
  ASSERT_EQ(reader_.ReadPCScanLog(&rec), 0u);
  // Every unit after a text is cleared: nothing the record held shows through.
  EXPECT_EQ(std::u16string(std::begin(rec.szText64), std::end(rec.szText64)),
            u"t64" + std::u16string(std::size(rec.szText64) - 3, u'\0'));
  ASSERT_EQ(reader_.ReadPCScanLog(&rec), 0u);
  EXPECT_EQ(rec.dwCode, 700u);  // no value bounds on this path
  // The third record is cut off: the read fails, leaves the output and the
  // position alone, and succeeds once the writer has finished the record.
  const std::uint64_t at = reader_.GetPosition();
  stPC_SCAN_LOG_W before;
  std::memset(&before, 0x5A, sizeof before);
  rec = before;
  EXPECT_EQ(reader_.ReadPCScanLog(&rec), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(std::memcmp(&before, &rec, sizeof rec), 0);
  EXPECT_EQ(reader_.GetPosition(), at);
  platform::File writer;
  ASSERT_TRUE(writer.Open(U16(path()), platform::File::modeReadWrite | platform::File::shareDenyWrite));
  writer.SeekToEnd();
  writer.Write(third.data() + 21, static_cast<std::uint32_t>(third.size() - 21));
  ASSERT_EQ(reader_.ReadPCScanLog(&rec), 0u);
  EXPECT_EQ(std::u16string(rec.szText64), std::u16string(63, u'a'));
  EXPECT_EQ(std::u16string(rec.szText260), std::u16string(259, u'b'));
  EXPECT_EQ(rec.stTime.wYear, 2024);
  EXPECT_EQ(reader_.ReadPCScanLog(&rec), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(reader_.ReadPCScanLog(nullptr), QORLOG_STATUS_BAD_POINTER);
}

TEST_F(LogReaderTest, ArrayReadsAreNewestFirstAndIgnoreTheHeader) {
  OpenWith(HeaderBytes(3) + RecordBytes(Firewall(1, 0, 11)) + RecordBytes(Firewall(2, 205, 22)) +
           RecordBytes(Firewall(602, 3, 0xFFFFFFFF)));
  stFW_LOG_W* array = nullptr;
  DWORD count = 0;
  ASSERT_EQ(reader_.ReadFWLogArray(&TestAlloc, &array, &count), 0u);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(array[0].dwCode, 602u);
  EXPECT_EQ(array[0].dwParam, 0xFFFFFFFFu);
  EXPECT_EQ(array[1].dwSubCode, 205u);
  EXPECT_EQ(array[2].dwParam, 11u);
  EXPECT_EQ(std::u16string(array[2].szText64b), u"10.0.0.1");

  // A broken header changes nothing; 8-bit text without the marker is converted.
  OpenWith(std::string(12, '\x7f') + RecordBytes(Simple(1, 405)) + RecordBytes(Simple(2, 0)).substr(0, 24) +
           Bytes({3, 'h', 0xC3, 0xA9}));
  const auto simple = SimpleArray();
  ASSERT_EQ(simple.size(), 2u);
  EXPECT_EQ(std::u16string(simple[0].szText260), u"h\u00e9");
  EXPECT_EQ(simple[1].dwSubCode, 405u);
}

TEST_F(LogReaderTest, EmptyFilesAndFailedAllocationsWriteNoCount) {
  for (const std::string& bytes : {std::string(), HeaderBytes(0), HeaderBytes(4).substr(0, 7),
                                   HeaderBytes(1) + RecordBytes(PCScan(1, 1))}) {
    OpenWith(bytes);
    const bool empty = bytes.size() <= 12;
    auto* sentinel = reinterpret_cast<stPC_SCAN_LOG_W*>(0x1234);
    stPC_SCAN_LOG_W* array = sentinel;
    DWORD count = 77;
    EXPECT_EQ(reader_.ReadPCScanLogArray(empty ? &TestAlloc : &FailingAlloc, &array, &count),
              empty ? 0u : QORLOG_STATUS_OUT_OF_MEMORY);
    EXPECT_EQ(array, empty ? sentinel : nullptr);  // a failed allocation stores null
    EXPECT_EQ(count, 77u);
  }
}

TEST_F(LogReaderTest, AValueOutOfBoundsHandsOutNothing) {
  const struct {
    DWORD kind, code, sub_code;
    DWORD status;
  } cases[] = {{1000, 603, 0, 1627}, {1000, 0, 206, 1627}, {1001, 603, 0, 1627}, {1001, 1, 206, 1627},
               {1002, 603, 1, 1627}, {1002, 1, 406, 1627}, {1000, 602, 205, 0},  {1002, 602, 405, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.kind << " " << c.code << " " << c.sub_code);
    std::string bytes = HeaderBytes(3);
    for (int i = 0; i < 3; ++i) {
      const DWORD code = i == 1 ? c.code : 1, sub = i == 1 ? c.sub_code : 1;
      bytes += c.kind == 1000   ? RecordBytes(PCScan(code, sub))
               : c.kind == 1001 ? RecordBytes(Firewall(code, sub))
                                : RecordBytes(Simple(code, sub));
    }
    OpenWith(bytes);
    void* array = nullptr;
    DWORD count = 0;
    const DWORD status =
        c.kind == 1000   ? reader_.ReadPCScanLogArray(&TestAlloc, reinterpret_cast<stPC_SCAN_LOG_W**>(&array), &count)
        : c.kind == 1001 ? reader_.ReadFWLogArray(&TestAlloc, reinterpret_cast<stFW_LOG_W**>(&array), &count)
                         : reader_.ReadSimpleLogArray(&TestAlloc, reinterpret_cast<stSIMPLE_LOG_W**>(&array), &count);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(array != nullptr, c.status == 0);
    EXPECT_EQ(count, c.status == 0 ? 3u : 0u);
  }
}

TEST_F(LogReaderTest, ACutOffLastRecordIsTheNormalEnd) {
  const std::string first = RecordBytes(Simple(1, 1));
  const std::string second = RecordBytes(Simple(2, 2, u"second"));
  const std::string third = RecordBytes(Simple(3, 3, u"third"));
  std::vector<std::string> tails;
  for (std::size_t cut = 0; cut < third.size(); ++cut) tails.push_back(third.substr(0, cut));
  for (const std::string& tail : tails) {
    SCOPED_TRACE(tail.size());
    OpenWith(HeaderBytes(3) + first + second + tail);
    const auto records = SimpleArray();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::u16string(records[0].szText260), u"second");
    EXPECT_EQ(reader_.GetPosition(), 12 + first.size() + second.size());  // after the last whole record
  }
}

// The file seen ending 5 bytes into the second record's time stamp (two
// reads see that end) and then grown: the cut time stamp is never read as
// the fields after it, and the next array read has both records.
TEST_F(LogReaderTest, ATimeStampCutShortByTheSystemEndsTheArrayRead) {
  const std::string first = RecordBytes(Simple(1, 10));
  OpenWith(HeaderBytes(2) + first + RecordBytes(Simple(2, 20)));
  {
    ScopedPlan plan;
    plan.Cut(Call::kRead, 1, static_cast<std::uint32_t>(first.size() + 5)).Cut(Call::kRead, 2, 0).Cut(Call::kRead, 3, 0);
    const auto records = SimpleArray();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].dwSubCode, 10u);
  }
  const auto records = SimpleArray();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].dwCode, 2u);
}

// The records are counted in a first pass and decoded into the block in a
// second: a read failing in the second gives the block back, hands out
// nothing and answers as any file error.
TEST_F(LogReaderTest, AReadFailingAfterTheBlockWasTakenGivesItBack) {
  OpenWith(HeaderBytes(2) + RecordBytes(Simple(1, 10)) + RecordBytes(Simple(2, 20)));
  unsigned reads = 0;
  {
    ScopedPlan plan;
    ASSERT_EQ(SimpleArray().size(), 2u);
    reads = plan.Count(Call::kRead);
  }
  static std::vector<void*> released;
  ScopedPlan plan;
  plan.Fail(Call::kRead, reads, 5);  // the last read is the second pass's
  stSIMPLE_LOG_W* array = nullptr;
  DWORD count = 0;
  EXPECT_EQ(reader_.ReadSimpleLogArray(&TestAlloc, &array, &count, [](void* block) { released.push_back(block); }),
            QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0], g_blocks.back().get());
}

TEST_F(LogReaderTest, MissingFileFailsEveryReadAndAHeldOneIsOpenedOnceFree) {
  EXPECT_EQ(reader_.Open(U16(dir_.path() / "missing.log")), QORLOG_STATUS_FILE_NOT_FOUND);
  EXPECT_TRUE(SimpleArray(QORLOG_STATUS_LOG_ERROR).empty());
  stPC_SCAN_LOG_W rec = {};
  EXPECT_EQ(reader_.ReadPCScanLog(&rec), QORLOG_STATUS_LOG_ERROR);

  WriteFile(path(), HeaderBytes(0));
  platform::File holder;  // share modes hold between handles of one process too
  ASSERT_TRUE(holder.Open(U16(path()), platform::File::modeRead | platform::File::shareExclusive));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    holder.Close();
  });
  EXPECT_EQ(reader_.Open(U16(path())), 0u);
  release.join();
}

}  // namespace
}  // namespace qorlog::testing
