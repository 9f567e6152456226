// What an append leaves behind when the file system fails under it: a record
// write cut off part-way is cut back, a header that cannot be rewritten
// keeps its old count, and a failed close is reported.
#include <functional>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "tests/logstore/log_folder_fixture.h"

namespace qorlog::testing {
namespace {

using platform::fault::Call;
using platform::fault::ScopedPlan;

class AppendFailureTest : public LogFolderTest {};

TEST_F(AppendFailureTest, FileIsLeftWholeAndTheStatusTellsWhatHappened) {
  const auto path = Folder() / "2026010100.log";
  struct Case {
    const char* what;
    std::function<void(ScopedPlan&)> faults;
    DWORD status;
    bool record_kept;
    bool header_updated;
  } cases[] = {
      // The disk fills up after 10 bytes of the record: the file is cut
      // back to its length before the append.
      {"record write cut off",
       [](ScopedPlan& p) { p.Cut(Call::kWrite, 1, 10).Fail(Call::kWrite, 2, platform::kErrorDiskFull); },
       QORLOG_STATUS_LOG_ERROR, false, false},
      // The record is whole; only the count could not be rewritten.
      {"header write refused", [](ScopedPlan& p) { p.Fail(Call::kWrite, 2, platform::kErrorDiskFull); }, 0, true,
       false},
      // Everything was written, but the close says it may not have arrived.
      {"close fails", [](ScopedPlan& p) { p.Fail(Call::kClose, 1, platform::kErrorDiskFull); },
       QORLOG_STATUS_LOG_ERROR, true, true},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(Folder());
    ASSERT_EQ(AppendSimple(), 0u);
    const std::string before = ReadFile(path);
    {
      ScopedPlan plan;
      c.faults(plan);
      EXPECT_EQ(AppendSimple(), c.status) << c.what;
    }
    CLogHeader header;
    const auto records = ReadSimpleRecords(path, &header);
    EXPECT_EQ(records.size(), c.record_kept ? 2u : 1u) << c.what;
    EXPECT_EQ(header.dwItemCount, c.header_updated ? 2u : 1u) << c.what;
    if (!c.record_kept) {
      EXPECT_EQ(ReadFile(path), before) << c.what;
    }
    // The next append follows a whole record.
    ASSERT_EQ(AppendSimple(), 0u) << c.what;
    EXPECT_EQ(ReadSimpleRecords(path).size(), c.record_kept ? 3u : 2u) << c.what;
  }
}

}  // namespace
}  // namespace qorlog::testing
