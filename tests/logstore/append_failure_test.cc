// What an append leaves behind when the file system fails under it: a record
// write cut off part-way is cut back, a header that cannot be rewritten
// keeps its old count, and a failed close is reported.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/named_mutex.h"
#include "logstore/log_check.h"
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
    bool torn = false;  // the cut-off bytes stay until the next append
  } cases[] = {
      // The disk fills up after 10 bytes of the record: the file is cut
      // back to its length before the append.
      {"record write cut off",
       [](ScopedPlan& p) { p.Cut(Call::kWrite, 1, 10).Fail(Call::kWrite, 2, platform::kErrorDiskFull); },
       QORLOG_STATUS_LOG_ERROR, false, false},
      // The cut-back fails too: the next append of this writer repairs the tail first.
      {"record write cut off, cut-back fails",
       [](ScopedPlan& p) {
         p.Cut(Call::kWrite, 1, 10).Fail(Call::kWrite, 2, platform::kErrorDiskFull).Fail(Call::kSetLength, 1, 5);
       },
       QORLOG_STATUS_LOG_ERROR, false, false, true},
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
    const LogFileCheck check = CheckLogFile(platform::Utf8ToUtf16(path.string()), 5000);
    EXPECT_EQ(check.CutOff(), c.torn) << c.what;
    EXPECT_EQ(check.records, c.record_kept ? 2u : 1u) << c.what;
    EXPECT_EQ(check.header_count, c.header_updated ? 2u : 1u) << c.what;
    if (!c.record_kept && !c.torn) {
      EXPECT_EQ(ReadFile(path), before) << c.what;
    }
    // The next append follows a whole record.
    ASSERT_EQ(AppendSimple(), 0u) << c.what;
    EXPECT_FALSE(CheckLogFile(platform::Utf8ToUtf16(path.string()), 5000).CutOff()) << c.what;
    EXPECT_EQ(ReadSimpleRecords(path).size(), c.record_kept ? 3u : 2u) << c.what;
    // in the same file: nothing was set aside or started anew
    EXPECT_EQ(FileNames(Folder()), std::vector<std::string>{"2026010100.log"}) << c.what;
  }
}

// A disk that stays full: every append fails with 1627 and leaves the file
// as it was; once there is space again, appends go on in the same file.
TEST_F(AppendFailureTest, DiskFullForAWhileLosesOnlyTheRefusedAppends) {
  constexpr unsigned kFullWrites = 40;
  const auto path = Folder() / "2026010100.log";
  ASSERT_EQ(AppendSimple(), 0u);
  const std::string before = ReadFile(path);
  int refused = 0;
  {
    ScopedPlan plan;
    for (unsigned n = 1; n <= kFullWrites; ++n) plan.Fail(Call::kWrite, n, platform::kErrorDiskFull);
    while (plan.Count(Call::kWrite) < kFullWrites) {
      ASSERT_EQ(AppendSimple(), QORLOG_STATUS_LOG_ERROR);
      ++refused;
    }
  }
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(AppendSimple(), 0u);
  CLogHeader header;
  EXPECT_EQ(ReadSimpleRecords(path, &header).size(), 3u);
  EXPECT_EQ(header.dwItemCount, 3u);
  EXPECT_EQ(FileNames(Folder()), std::vector<std::string>{"2026010100.log"});
  std::printf("disk full: %d appends refused, %u writes failed\n", refused, kFullWrites);
}

// Leaves the writers' mutex abandoned: a child takes it and is killed.
void AbandonWritersMutex() {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    platform::NamedMutex m(kWritersMutexName);
    m.Wait();
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
}

// A writer killed inside its append leaves what a failed append whose clean-up
// also failed leaves: a record cut off at the end, or a record the header does
// not count. The next writer, told of the abandoned mutex, repairs the file
// before anyone appends after it.
TEST_F(AppendFailureTest, WriterAfterAKilledOneRepairsTheTail) {
  const auto path = Folder() / "2026010100.log";
  const std::u16string path16 = platform::Utf8ToUtf16(path.string());
  struct Case {
    const char* what;
    std::function<void(ScopedPlan&)> faults;
    bool cut_off;
    DWORD header_before;
  } cases[] = {
      {"record cut off and not cut back",
       [](ScopedPlan& p) {
         p.Cut(Call::kWrite, 1, 10).Fail(Call::kWrite, 2, platform::kErrorDiskFull).Fail(Call::kSetLength, 1, 5);
       },
       true, 1},
      {"record whole, header not updated", [](ScopedPlan& p) { p.Fail(Call::kWrite, 2, platform::kErrorDiskFull); },
       false, 1},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(Folder());
    ASSERT_EQ(AppendSimple(), 0u);
    {
      ScopedPlan plan;
      c.faults(plan);
      AppendSimple();
    }
    LogFileCheck check = CheckLogFile(path16, 5000);
    ASSERT_EQ(check.CutOff(), c.cut_off) << c.what;
    ASSERT_EQ(check.header_count, c.header_before) << c.what;
    const DWORD records = check.records;

    AbandonWritersMutex();
    EXPECT_EQ(AppendSimple(), QORLOG_STATUS_MUTEX_ABANDONED) << c.what;
    check = CheckLogFile(path16, 5000);
    EXPECT_FALSE(check.CutOff()) << c.what;
    EXPECT_EQ(check.records, records) << c.what;
    EXPECT_EQ(check.header_count, records) << c.what;
    // The next record follows the last whole one.
    ASSERT_EQ(AppendSimple(), 0u) << c.what;
    check = CheckLogFile(path16, 5000);
    EXPECT_FALSE(check.CutOff()) << c.what;
    EXPECT_EQ(check.records, records + 1) << c.what;
    EXPECT_EQ(check.header_count, records + 1) << c.what;
  }
}

}  // namespace
}  // namespace qorlog::testing
