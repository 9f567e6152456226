// Helpers of the log-store tests: the bytes of headers and records (made with
// the library's own archive and record objects, log_file_builder.h), log files made to order,
// an allocator for the reads, and the fixture of the writing tests (an
// isolated environment, a settable clock, a log manager that records its
// new-file notices, and the check of today's file).
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logstore/archive.h"
#include "logstore/log_check.h"
#include "logstore/log_manager.h"
#include "logstore/log_records.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/logstore/log_file_builder.h"
#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

inline std::u16string U16(const std::filesystem::path& path) { return platform::Utf8ToUtf16(path.string()); }

inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// A header of `count` records (valid or not), then filler up to `size` bytes
// (sparse, so large files cost nothing).
inline void MakeLogFile(const std::filesystem::path& path, std::uint64_t size, std::uint32_t count = 0,
                        bool valid = true) {
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path, valid ? HeaderBytes(count) : HeaderBytes(count, 1, count));
  if (size != 12) std::filesystem::resize_file(path, size);
}

inline stSIMPLE_LOG_W SimpleRecord(DWORD code, DWORD sub_code, std::u16string_view text) {
  stSIMPLE_LOG_W r = {};
  r.dwCode = code;
  r.dwSubCode = sub_code;
  platform::CopyTruncated(r.szText260, 260, text);
  return r;
}

// The names in a folder, sorted.
inline std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A second process that holds `path` open for reading with `share` until
// released, or for `ms` milliseconds when that is not negative (the role
// "hold-file" of append_test.cc).
inline std::unique_ptr<ChildProcess> HoldFile(const std::filesystem::path& path,
                                              unsigned share = platform::File::shareDenyNone, int ms = -1) {
  auto child = std::make_unique<ChildProcess>(
      "hold-file", std::vector<std::string>{path.string(), std::to_string(share), std::to_string(ms)});
  EXPECT_EQ(child->WaitReady(), 0);
  return child;
}

// The reads' allocator: blocks live until g_blocks is cleared (each fixture does).
inline std::vector<std::unique_ptr<void, decltype(&std::free)>> g_blocks;
inline void* TestAlloc(std::size_t bytes) {
  void* p = std::calloc(1, bytes == 0 ? 1 : bytes);
  g_blocks.emplace_back(p, &std::free);
  return p;
}
inline void* FailingAlloc(std::size_t) { return nullptr; }

// The time every append of a test sees.
inline SYSTEMTIME g_test_now = {2026, 1, 4, 1, 10, 20, 30, 400};
inline SYSTEMTIME TestClock() { return g_test_now; }

// What the fixture's manager announced as new files: the kind, and the names
// in the kind's folder at that moment.
struct NewFileNoticeSeen {
  DWORD kind = 0;
  std::vector<std::string> files_then;
};
inline std::vector<NewFileNoticeSeen> g_new_file_notices;
inline void RecordNewFileNotice(DWORD kind) {
  g_new_file_notices.push_back({kind, FileNames(platform::Utf16ToUtf8(CLogUtil().GetLogFolder(kind).str()))});
}

class LogFolderTest : public ::testing::Test {
 protected:
  LogFolderTest() {
    g_test_now = {2026, 1, 4, 1, 10, 20, 30, 400};
    g_new_file_notices.clear();
    manager_.SetClock(&TestClock);
  }
  ~LogFolderTest() override { g_blocks.clear(); }
  void SetUp() override { QORLOG_SKIP_UNLESS_USABLE(program_files_); }
  std::filesystem::path Folder(const std::string& category = "etc") const {
    return program_files_.CategoryFolder(category);
  }
  std::filesystem::path Today(const std::string& category = "etc") const { return Folder(category) / "2026010100.log"; }
  // How today's file of simple records ends, as the readers see it.
  LogFileCheck Check() const { return CheckLogFile(U16(Today()), 5000); }
  DWORD AppendSimple(DWORD kind = 5000, std::u16string_view text = u"abc") {
    stSIMPLE_LOG_W r = SimpleRecord(1, 2, text);
    return manager_.AppendSimpleLog(kind, &r);
  }

  IsolatedEnv env_;
  ProgramFilesScope program_files_{env_};
  CLogManager manager_{&RecordNewFileNotice};
};

}  // namespace qorlog::testing
