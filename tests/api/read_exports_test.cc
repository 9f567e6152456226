// The read exports through the shared library: listing, opening, the header
// and record reads, freeing, closing, and what the library refuses. What the
// reads make of a file's bytes, and the order of the list, is the log store's
// affair (tests/logstore).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "api/qorlog.h"
#include "platform/text.h"
#include "tests/logstore/log_file_builder.h"
#include "tests/support/temp_env.h"

namespace {

using qorlog::platform::Utf8ToUtf16;
using namespace qorlog::testing;

class ReadExportsTest : public ::testing::Test {
 protected:
  void SetUp() override { QORLOG_SKIP_UNLESS_USABLE(program_files_); }
  // Writes a log file into a category folder and returns its path.
  std::filesystem::path Put(const std::string& category, const std::string& name, const std::string& bytes) {
    const auto path = program_files_.CategoryFolder(category) / name;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, bytes);
    return path;
  }
  static std::u16string Wide(const std::filesystem::path& p) { return Utf8ToUtf16(p.string()); }

  IsolatedEnv env_;
  ProgramFilesScope program_files_{env_};
};

TEST_F(ReadExportsTest, ListOpenByIndexAndReadOneByOne) {
  Put("pc scan", "2024030501.log", HeaderBytes(1) + RecordBytes(PCScan(9, 9)));
  Put("pc scan", "2024030500.log",
      HeaderBytes(3) + RecordBytes(PCScan(1, 1)) + RecordBytes(PCScan(2, 2)) + RecordBytes(PCScan(3, 3)));
  Put("pc scan", "2024030502.log", HeaderBytes(2) + RecordBytes(PCScan(7, 0)) + RecordBytes(PCScan(8, 0)));

  stLOG_FILE_ITEM* files = nullptr;
  ASSERT_EQ(QORLOG_GetLogFileCnt(QORLOG_KIND_PCSCAN, &files), 3u);  // oldest first

  void* log = nullptr;
  ASSERT_EQ(QORLOG_OpenLogFiles(2, &files, &log), 0u);  // the third entry
  stPC_SCAN_LOG_W* array = nullptr;
  DWORD count = 0;
  ASSERT_EQ(QORLOG_ReadPCScanLogArray(log, &array, &count), 0u);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(array[0].dwCode, 8u);
  EXPECT_EQ(QORLOG_FreePCScanLogArray(array), 0u);
  QORLOG_CloseLog(log);

  ASSERT_EQ(QORLOG_OpenLogFiles(0, &files, &log), 0u);
  stLOG_HEADER* header = nullptr;
  ASSERT_EQ(QORLOG_GetLogItemCnt(log, &header), 0u);
  EXPECT_EQ(header->dwItemCount, 3u);
  // One by one from the oldest; the rest of that order is the reader's affair.
  stPC_SCAN_LOG_W rec = {};
  ASSERT_EQ(QORLOG_ReadPCScanLog(log, &rec), 0u);
  EXPECT_EQ(rec.dwCode, 1u);
  EXPECT_EQ(QORLOG_ReadPCScanLog(log, nullptr), QORLOG_STATUS_BAD_POINTER);
  EXPECT_EQ(QORLOG_FreeLogHeader(header), 0u);
  QORLOG_CloseLog(log);
  EXPECT_EQ(QORLOG_FreeLogHeader(reinterpret_cast<stLOG_HEADER*>(files)), 0u);  // the list, via any free
}

TEST_F(ReadExportsTest, FailedOpensStillCreateAHandle) {
  void* log = nullptr;
  EXPECT_EQ(QORLOG_OpenLogFile(Wide(env_.root() / "missing.log").c_str(), &log), QORLOG_STATUS_FILE_NOT_FOUND);
  ASSERT_NE(log, nullptr);
  stLOG_HEADER* header = nullptr;
  EXPECT_EQ(QORLOG_GetLogItemCnt(log, &header), QORLOG_STATUS_LOG_ERROR);
  QORLOG_CloseLog(log);
  EXPECT_EQ(QORLOG_OpenLogFile(Wide(env_.root() / "no" / "such.log").c_str(), &log), QORLOG_STATUS_PATH_NOT_FOUND);
  QORLOG_CloseLog(log);

  stLOG_FILE_ITEM* files = nullptr;
  EXPECT_EQ(QORLOG_GetLogFileCnt(1003, &files), 0u);  // missing folder: an empty list
  ASSERT_NE(files, nullptr);
  for (int index : {0, -1, 5}) {
    log = nullptr;
    EXPECT_EQ(QORLOG_OpenLogFiles(index, &files, &log), QORLOG_STATUS_BAD_POINTER) << index;
    EXPECT_NE(log, nullptr);
    QORLOG_CloseLog(log);
  }
  EXPECT_EQ(QORLOG_FreeSimpleLogArray(reinterpret_cast<stSIMPLE_LOG_W*>(files)), 0u);
}

TEST_F(ReadExportsTest, PointersTheLibraryDidNotHandOutAreRefused) {
  const auto path = Put("pc scan", "2024030500.log", HeaderBytes(1) + RecordBytes(PCScan(1, 1)));
  void* log = nullptr;
  ASSERT_EQ(QORLOG_OpenLogFile(Wide(path).c_str(), &log), 0u);
  stLOG_HEADER* header = nullptr;
  ASSERT_EQ(QORLOG_GetLogItemCnt(log, &header), 0u);

  stLOG_HEADER own = {};
  EXPECT_EQ(QORLOG_FreeLogHeader(nullptr), QORLOG_STATUS_BAD_POINTER);
  EXPECT_EQ(QORLOG_FreeLogHeader(&own), QORLOG_STATUS_BAD_POINTER);
  EXPECT_EQ(QORLOG_FreeLogHeader(header + 0), 0u);
  EXPECT_EQ(QORLOG_FreeLogHeader(header), QORLOG_STATUS_BAD_POINTER);  // already taken back
  EXPECT_EQ(QORLOG_FreePCScanLogArray(reinterpret_cast<stPC_SCAN_LOG_W*>(log)), QORLOG_STATUS_BAD_POINTER);

  // Read exports refuse null and foreign handles.
  stPC_SCAN_LOG_W rec = {};
  stPC_SCAN_LOG_W* array = nullptr;
  DWORD count = 0;
  for (void* bad : {static_cast<void*>(nullptr), static_cast<void*>(&own)}) {
    EXPECT_EQ(QORLOG_GetLogItemCnt(bad, &header), QORLOG_STATUS_BAD_POINTER);
    EXPECT_EQ(QORLOG_ReadPCScanLog(bad, &rec), QORLOG_STATUS_BAD_POINTER);
    EXPECT_EQ(QORLOG_ReadPCScanLogArray(bad, &array, &count), QORLOG_STATUS_BAD_POINTER);
    EXPECT_EQ(QORLOG_ReadFWLogArray(bad, nullptr, &count), QORLOG_STATUS_BAD_POINTER);
    EXPECT_EQ(QORLOG_ReadSimpleLogArray(bad, nullptr, &count), QORLOG_STATUS_BAD_POINTER);
    QORLOG_CloseLog(bad);  // ignored
  }
  EXPECT_EQ(QORLOG_GetLogItemCnt(log, nullptr), QORLOG_STATUS_BAD_POINTER);
  QORLOG_CloseLog(log);
  QORLOG_CloseLog(log);  // a second close of the same handle is ignored
  EXPECT_EQ(QORLOG_ReadPCScanLogArray(log, &array, &count), QORLOG_STATUS_BAD_POINTER);

  // A caller's own list is used as given (its entry is only checked for
  // readability); entries beyond a handed-out list are refused.
  stLOG_FILE_ITEM mine[2] = {};
  std::u16string wide = Wide(path);
  std::memcpy(mine[1].szPath, wide.c_str(), (wide.size() + 1) * 2);
  stLOG_FILE_ITEM* list = mine;
  ASSERT_EQ(QORLOG_OpenLogFiles(1, &list, &log), 0u);
  QORLOG_CloseLog(log);
  EXPECT_EQ(QORLOG_OpenLogFiles(0, nullptr, &log), QORLOG_STATUS_BAD_POINTER);
  QORLOG_CloseLog(log);
  EXPECT_EQ(QORLOG_OpenLogFile(nullptr, nullptr), QORLOG_STATUS_BAD_POINTER);
}

TEST_F(ReadExportsTest, HandingOutAndTakingBackFromManyThreads) {
  const auto path = Put("pc scan", "2024030500.log", HeaderBytes(1) + RecordBytes(PCScan(1, 1)));
  const std::u16string wide = Wide(path);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        void* log = nullptr;
        stLOG_HEADER* header = nullptr;
        stPC_SCAN_LOG_W* array = nullptr;
        DWORD count = 0;
        if (QORLOG_OpenLogFile(wide.c_str(), &log) != 0 || QORLOG_GetLogItemCnt(log, &header) != 0 ||
            QORLOG_ReadPCScanLogArray(log, &array, &count) != 0 || count != 1 || QORLOG_FreeLogHeader(header) != 0 ||
            QORLOG_FreePCScanLogArray(array) != 0 || QORLOG_FreePCScanLogArray(array) != QORLOG_STATUS_BAD_POINTER) {
          ++failures;
        }
        QORLOG_CloseLog(log);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
