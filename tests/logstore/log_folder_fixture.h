// Helpers of the writing tests: an isolated environment with a settable
// clock, a log manager on it that records its new-file notices, log files
// made to order, and reading records back through the record objects.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logstore/archive.h"
#include "logstore/log_manager.h"
#include "logstore/log_records.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/logstore/archive_fixture.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

// The time every append of a test sees.
inline SYSTEMTIME g_test_now = {2026, 1, 4, 1, 10, 20, 30, 400};
inline SYSTEMTIME TestClock() { return g_test_now; }
inline void SetTestDate(int year, int month, int day) {
  g_test_now.wYear = static_cast<uint16_t>(year);
  g_test_now.wMonth = static_cast<uint16_t>(month);
  g_test_now.wDay = static_cast<uint16_t>(day);
}

// A header as the file stores it: version, count, check.
inline std::string HeaderBytes(std::uint32_t count, std::uint32_t version = 1, std::uint32_t check = 0xDEAD) {
  if (check == 0xDEAD) check = version + count;
  std::string out;
  for (std::uint32_t v : {version, count, check}) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  return out;
}

// Makes a log file: a header of `count` records, then filler up to `size`
// bytes (sparse, so large files cost nothing).
inline void MakeLogFile(const std::filesystem::path& path, std::uint64_t size, std::uint32_t count = 0,
                        bool valid = true) {
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path, valid ? HeaderBytes(count) : HeaderBytes(count, 1, count));
  if (size != 12) {
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
  }
}

inline stSIMPLE_LOG_W SimpleRecord(DWORD code, DWORD sub_code, std::u16string_view text) {
  stSIMPLE_LOG_W r = {};
  r.dwCode = code;
  r.dwSubCode = sub_code;
  platform::CopyTruncated(r.szText260, 260, text);
  return r;
}

// Every simple record of a file, read back in order until the end.
inline std::vector<CSimpleLogRecord> ReadSimpleRecords(const std::filesystem::path& path, CLogHeader* header = nullptr) {
  std::vector<CSimpleLogRecord> records;
  platform::File file;
  if (!file.Open(platform::Utf8ToUtf16(path.string()), platform::File::modeRead | platform::File::shareDenyNone)) {
    ADD_FAILURE() << "cannot open " << path;
    return records;
  }
  Archive ar(file, Archive::kLoad);
  CLogHeader h;
  h.Serialize(ar);
  if (header != nullptr) *header = h;
  for (;;) {
    CSimpleLogRecord r;
    try {
      r.Serialize(ar);
    } catch (const ArchiveException& e) {
      EXPECT_EQ(e.cause(), ArchiveException::endOfFile);
      break;
    }
    records.push_back(r);
  }
  return records;
}

// The names in a folder, sorted.
inline std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What the fixture's manager announced as new files: the kind, and the names
// in the kind's folder at that moment.
struct NewFileNoticeSeen {
  DWORD kind = 0;
  std::vector<std::string> files_then;
};
inline std::vector<NewFileNoticeSeen> g_new_file_notices;
inline void RecordNewFileNotice(DWORD kind) {
  const std::string folder = platform::Utf16ToUtf8(CLogUtil().GetLogFolder(kind).str());
  g_new_file_notices.push_back({kind, FileNames(folder)});
}

class LogFolderTest : public ::testing::Test {
 protected:
  LogFolderTest() {
    g_test_now = {2026, 1, 4, 1, 10, 20, 30, 400};
    g_new_file_notices.clear();
    manager_.SetClock(&TestClock);
  }
  std::filesystem::path Folder(const std::string& category = "etc") const { return env_.CategoryFolder(category); }
  DWORD AppendSimple(DWORD kind = 5000, std::u16string_view text = u"abc") {
    stSIMPLE_LOG_W r = SimpleRecord(1, 2, text);
    return manager_.AppendSimpleLog(kind, &r);
  }

  IsolatedEnv env_;
  CLogManager manager_{&RecordNewFileNotice};
};

}  // namespace qorlog::testing
