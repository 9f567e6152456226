// CLogReader: the header read, one-by-one reads and the array reads over
// files that are complete, empty, cut off, damaged or still being written.
#include "logstore/log_reader.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "logstore/log_format.h"
#include "tests/logstore/archive_fixture.h"
#include "tests/logstore/log_file_builder.h"

namespace qorlog {
namespace {

using testing::Firewall;
using testing::HeaderBytes;
using testing::PCScan;
using testing::RecordBytes;
using testing::Simple;

// Blocks handed out during one test, released when it ends.
std::vector<std::unique_ptr<void, decltype(&std::free)>>& Blocks() {
  static std::vector<std::unique_ptr<void, decltype(&std::free)>> blocks;
  return blocks;
}
void* TestAlloc(std::size_t bytes) {
  void* p = std::calloc(1, bytes == 0 ? 1 : bytes);
  Blocks().emplace_back(p, &std::free);
  return p;
}
void* FailingAlloc(std::size_t) { return nullptr; }

class LogReaderTest : public ::testing::Test {
 protected:
  ~LogReaderTest() override { Blocks().clear(); }

  // Writes `bytes` as the log file and opens the reader on it.
  void OpenWith(const std::string& bytes) {
    testing::WriteFile(path(), bytes);
    reader_.Close();
    ASSERT_EQ(reader_.Open(platform::Utf8ToUtf16(path().string())), 0u);
  }
  std::filesystem::path path() const { return dir_.path() / "2024030500.log"; }

  testing::TempDir dir_;
  CLogReader reader_;
};

TEST_F(LogReaderTest, HeaderIsReturnedAsStoredEvenWhenShortOrInvalid) {
  stLOG_HEADER* header = nullptr;
  OpenWith("");
  ASSERT_EQ(reader_.ReadHeader(&TestAlloc, &header), 0u);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->dwItemCount, 0u);
  EXPECT_EQ(header->dwVersion, 0u);
  EXPECT_EQ(header->dwCheck, 0u);

  OpenWith(HeaderBytes(5).substr(0, 6));  // version complete, count cut
  ASSERT_EQ(reader_.ReadHeader(&TestAlloc, &header), 0u);
  EXPECT_EQ(header->dwVersion, 1u);
  EXPECT_EQ(header->dwItemCount, 0u);
  EXPECT_EQ(reader_.GetPosition(), 4u);

  OpenWith(testing::Bytes({1, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0}) + RecordBytes(PCScan(1, 1)));
  ASSERT_EQ(reader_.ReadHeader(&TestAlloc, &header), 0u);
  EXPECT_EQ(header->dwItemCount, 7u);
  EXPECT_EQ(header->dwCheck, 7u);  // invalid, handed out all the same
  EXPECT_EQ(reader_.GetPosition(), 12u);

  header = nullptr;
  EXPECT_EQ(reader_.ReadHeader(&FailingAlloc, &header), QORLOG_STATUS_OUT_OF_MEMORY);
  EXPECT_EQ(header, nullptr);

  CLogReader closed;
  EXPECT_EQ(closed.ReadHeader(&TestAlloc, &header), QORLOG_STATUS_LOG_ERROR);
}

TEST_F(LogReaderTest, OneByOneReadsOldestFirstAndOneMoreFails) {
  OpenWith(HeaderBytes(3) + RecordBytes(PCScan(1, 10)) + RecordBytes(PCScan(700, 900)) +
           RecordBytes(PCScan(3, 30, std::u16string(100, u'a'), std::u16string(300, u'b'))));
  stLOG_HEADER* header = nullptr;
  ASSERT_EQ(reader_.ReadHeader(&TestAlloc, &header), 0u);
  stPC_SCAN_LOG_W rec = {};
  std::vector<DWORD> codes;
  for (DWORD i = 0; i < header->dwItemCount; ++i) {
    ASSERT_EQ(reader_.ReadPCScanLog(&rec), 0u);
    codes.push_back(rec.dwCode);
  }
  EXPECT_EQ(codes, (std::vector<DWORD>{1, 700, 3}));  // no value bounds on this path
  EXPECT_EQ(std::u16string(rec.szText64), std::u16string(63, u'a'));
  EXPECT_EQ(std::u16string(rec.szText260), std::u16string(259, u'b'));
  EXPECT_EQ(rec.stTime.wYear, 2024);

  stPC_SCAN_LOG_W before;
  std::memset(&before, 0x5A, sizeof before);
  stPC_SCAN_LOG_W after = before;
  EXPECT_EQ(reader_.ReadPCScanLog(&after), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_EQ(reader_.ReadPCScanLog(nullptr), QORLOG_STATUS_BAD_POINTER);
}

TEST_F(LogReaderTest, ARecordStillBeingWrittenIsReadOnceComplete) {
  const std::string second = RecordBytes(PCScan(2, 20));
  OpenWith(HeaderBytes(1) + RecordBytes(PCScan(1, 10)) + second.substr(0, 21));
  stLOG_HEADER* header = nullptr;
  ASSERT_EQ(reader_.ReadHeader(&TestAlloc, &header), 0u);
  stPC_SCAN_LOG_W rec = {};
  ASSERT_EQ(reader_.ReadPCScanLog(&rec), 0u);
  const std::uint64_t at = reader_.GetPosition();
  EXPECT_EQ(reader_.ReadPCScanLog(&rec), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(reader_.GetPosition(), at);
  // The writer finishes the record while the reader keeps its file open.
  platform::File writer;
  ASSERT_TRUE(writer.Open(platform::Utf8ToUtf16(path().string()),
                          platform::File::modeReadWrite | platform::File::shareDenyWrite));
  writer.SeekToEnd();
  writer.Write(second.data() + 21, static_cast<std::uint32_t>(second.size() - 21));
  ASSERT_EQ(reader_.ReadPCScanLog(&rec), 0u);
  EXPECT_EQ(rec.dwCode, 2u);
}

TEST_F(LogReaderTest, ArrayReadsAreNewestFirst) {
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

  // The header is neither read nor tested: a broken one changes nothing.
  OpenWith(std::string(12, '\x7f') + RecordBytes(Simple(1, 405)) + RecordBytes(Simple(2, 0)));
  stSIMPLE_LOG_W* simple = nullptr;
  ASSERT_EQ(reader_.ReadSimpleLogArray(&TestAlloc, &simple, &count), 0u);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(simple[0].dwCode, 2u);
  EXPECT_EQ(simple[1].dwSubCode, 405u);
}

TEST_F(LogReaderTest, EmptyFilesWriteNeitherOutput) {
  for (const std::string& bytes : {std::string(), HeaderBytes(0), HeaderBytes(4).substr(0, 7)}) {
    OpenWith(bytes);
    auto* sentinel = reinterpret_cast<stPC_SCAN_LOG_W*>(0x1234);
    stPC_SCAN_LOG_W* array = sentinel;
    DWORD count = 77;
    EXPECT_EQ(reader_.ReadPCScanLogArray(&TestAlloc, &array, &count), 0u);
    EXPECT_EQ(array, sentinel);
    EXPECT_EQ(count, 77u);
  }
}

TEST_F(LogReaderTest, AValueOutOfBoundsHandsOutNothing) {
  struct Case {
    DWORD kind;
    DWORD code;
    DWORD sub_code;
  };
  for (Case c : {Case{1000, 603, 0}, Case{1000, 0, 206}, Case{1001, 603, 0}, Case{1001, 1, 206},
                 Case{1002, 603, 1}, Case{1002, 1, 406}}) {
    std::string bytes = HeaderBytes(5);
    for (int i = 0; i < 5; ++i) {
      const DWORD code = i == 2 ? c.code : 1;
      const DWORD sub = i == 2 ? c.sub_code : 1;
      bytes += c.kind == 1000 ? RecordBytes(PCScan(code, sub))
               : c.kind == 1001 ? RecordBytes(Firewall(code, sub))
                                : RecordBytes(Simple(code, sub));
    }
    OpenWith(bytes);
    void* array = nullptr;
    DWORD count = 0;
    DWORD status = c.kind == 1000   ? reader_.ReadPCScanLogArray(&TestAlloc, reinterpret_cast<stPC_SCAN_LOG_W**>(&array), &count)
                   : c.kind == 1001 ? reader_.ReadFWLogArray(&TestAlloc, reinterpret_cast<stFW_LOG_W**>(&array), &count)
                                    : reader_.ReadSimpleLogArray(&TestAlloc, reinterpret_cast<stSIMPLE_LOG_W**>(&array), &count);
    EXPECT_EQ(status, QORLOG_STATUS_LOG_ERROR) << c.kind << " " << c.code << " " << c.sub_code;
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(count, 0u);
  }
}

TEST_F(LogReaderTest, ACutOffLastRecordIsTheNormalEnd) {
  const std::string first = RecordBytes(Simple(1, 1));
  const std::string second = RecordBytes(Simple(2, 2, u"second"));
  const std::string third = RecordBytes(Simple(3, 3, u"third"));
  for (std::size_t cut = 0; cut < third.size(); ++cut) {
    OpenWith(HeaderBytes(3) + first + second + third.substr(0, cut));
    stSIMPLE_LOG_W* array = nullptr;
    DWORD count = 0;
    ASSERT_EQ(reader_.ReadSimpleLogArray(&TestAlloc, &array, &count), 0u) << cut;
    ASSERT_EQ(count, 2u) << cut;
    EXPECT_EQ(std::u16string(array[0].szText260), u"second");
    // The handle stands after the last complete record.
    EXPECT_EQ(reader_.GetPosition(), 12 + first.size() + second.size()) << cut;
  }
}

TEST_F(LogReaderTest, ACraftedLengthEndsTheReadWithoutAllocating) {
  // A string that claims 4 G characters: the records before it are returned.
  std::string bad = RecordBytes(Simple(9, 9)).substr(0, 24) +
                    testing::Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + "tail";
  OpenWith(HeaderBytes(2) + RecordBytes(Simple(1, 1)) + bad);
  stSIMPLE_LOG_W* array = nullptr;
  DWORD count = 0;
  ASSERT_EQ(reader_.ReadSimpleLogArray(&TestAlloc, &array, &count), 0u);
  EXPECT_EQ(count, 1u);
}

TEST_F(LogReaderTest, NarrowStringsInAFileAreReadAsWideText) {
  // time, code, sub code, then "h\xc3\xa9" stored as 8-bit text without the marker.
  std::string record = RecordBytes(Simple(4, 5)).substr(0, 24) + testing::Bytes({3, 'h', 0xC3, 0xA9});
  OpenWith(HeaderBytes(1) + record);
  stSIMPLE_LOG_W* array = nullptr;
  DWORD count = 0;
  ASSERT_EQ(reader_.ReadSimpleLogArray(&TestAlloc, &array, &count), 0u);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(std::u16string(array[0].szText260), u"h\u00e9");
}

TEST_F(LogReaderTest, FailedArrayAllocationStoresNull) {
  OpenWith(HeaderBytes(1) + RecordBytes(PCScan(1, 1)));
  auto* sentinel = reinterpret_cast<stPC_SCAN_LOG_W*>(0x1234);
  stPC_SCAN_LOG_W* array = sentinel;
  DWORD count = 55;
  EXPECT_EQ(reader_.ReadPCScanLogArray(&FailingAlloc, &array, &count), QORLOG_STATUS_OUT_OF_MEMORY);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(count, 55u);
}

TEST_F(LogReaderTest, ReadsOnAHandleWhoseOpenFailed) {
  CLogReader reader;
  EXPECT_EQ(reader.Open(platform::Utf8ToUtf16((dir_.path() / "missing.log").string())),
            QORLOG_STATUS_FILE_NOT_FOUND);
  stSIMPLE_LOG_W* array = nullptr;
  DWORD count = 0;
  EXPECT_EQ(reader.ReadSimpleLogArray(&TestAlloc, &array, &count), QORLOG_STATUS_LOG_ERROR);
  stPC_SCAN_LOG_W rec = {};
  EXPECT_EQ(reader.ReadPCScanLog(&rec), QORLOG_STATUS_LOG_ERROR);
}

TEST_F(LogReaderTest, AFileHeldUnsharedForAMomentIsOpenedOnceFree) {
  testing::WriteFile(path(), testing::HeaderBytes(0));
  const std::u16string file = platform::Utf8ToUtf16(path().string());
  platform::File holder;  // share modes hold between handles of one process too
  ASSERT_TRUE(holder.Open(file, platform::File::modeRead | platform::File::shareExclusive));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    holder.Close();
  });
  CLogReader reader;
  EXPECT_EQ(reader.Open(file), 0u);
  release.join();
}

}  // namespace
}  // namespace qorlog
