// What the store leaves behind when the file system fails under it or the
// log tree is hostile: a record write cut off part-way is cut back (or, when
// even that fails, repaired before the next record), a header that cannot be
// rewritten keeps its old count, a failed close is reported, a writer killed
// inside its append is repaired after, files that cannot be opened are left
// alone with a status that says so, and nothing is written, created or
// deleted through a link.
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logstore/log_check.h"
#include "logstore/log_reader.h"
#include "logstore/log_reducer.h"
#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/named_mutex.h"
#include "tests/logstore/log_test_support.h"
#include "tests/support/spawn_child.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;
using platform::fault::Call;
using platform::fault::ScopedPlan;

void CutRecord(ScopedPlan& p) { p.Cut(Call::kWrite, 1, 10).Fail(Call::kWrite, 2, platform::kErrorDiskFull); }
// The faults of a failed append, by name, for the tests and their children:
// the record cut off and not cut back, and the header not rewritten.
const std::map<std::string, std::function<void(ScopedPlan&)>> kFaults = {
    {"none", [](ScopedPlan&) {}},
    {"torn", [](ScopedPlan& p) { CutRecord(p), p.Fail(Call::kSetLength, 1, platform::kErrorAccessDenied); }},
    {"no header", [](ScopedPlan& p) { p.Fail(Call::kWrite, 2, platform::kErrorDiskFull); }},
};

// One append under the faults args[0], by a writer that never appends again
// and then dies holding the writers' mutex, leaving it abandoned.
QORLOG_CHILD_ROLE("append-then-die", [](const std::vector<std::string>& args, const ChildChannel&) {
  CLogManager own;
  own.SetClock(&TestClock);
  {
    ScopedPlan plan;
    kFaults.at(args.at(0))(plan);
    stSIMPLE_LOG_W r = SimpleRecord(1, 2, u"abc");
    own.AppendSimpleLog(5000, &r);
  }
  platform::NamedMutex mutex(kWritersMutexName);
  if (mutex.Wait() != platform::NamedMutex::kWaitObject0) return 1;
  std::_Exit(0);
});

class FaultTest : public LogFolderTest {
 protected:
  // One append under `faults`; the status.
  DWORD AppendUnder(const std::function<void(ScopedPlan&)>& faults) {
    ScopedPlan plan;
    faults(plan);
    return AppendSimple();
  }
};

TEST_F(FaultTest, FailedAppendLeavesNoPartialRecordBeforeTheNext) {
  const struct {
    const char* what;
    std::function<void(ScopedPlan&)> faults;
    DWORD status;
    std::uint32_t records, header;  // after the failed append
    bool cut_off;                   // a torn record left until the next append
  } cases[] = {
      // The disk fills up after 10 bytes of the record: cut back at once.
      {"record write cut off", CutRecord, QORLOG_STATUS_LOG_ERROR, 1, 1, false},
      // The cut-back fails too: the next append repairs the tail first.
      {"cut-back fails", kFaults.at("torn"), QORLOG_STATUS_LOG_ERROR, 1, 1, true},
      // The record is whole; only the count could not be rewritten: the
      // next append puts it right.
      {"header write refused", kFaults.at("no header"), 0, 2, 1, false},
      // Everything was written, but the close says it may not have arrived
      // (on Windows, easing the share mode closes two handles before).
      {"close fails",
       [](ScopedPlan& p) {
         for (unsigned n : {1, 2, 3}) p.Fail(Call::kClose, n, platform::kErrorDiskFull);
       },
       QORLOG_STATUS_LOG_ERROR, 2, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Folder());
    ASSERT_EQ(AppendSimple(), 0u);
    const std::string before = ReadFile(Today());
    EXPECT_EQ(AppendUnder(c.faults), c.status);
    LogFileCheck check = Check();
    EXPECT_EQ(check.records, c.records);
    EXPECT_EQ(check.header_count, c.header);
    EXPECT_EQ(check.CutOff(), c.cut_off);
    if (c.records == 1 && !c.cut_off) {
      EXPECT_EQ(ReadFile(Today()), before);
    }
    // The next append follows a whole record, in the same file: nothing was
    // set aside or started anew.
    ASSERT_EQ(AppendSimple(), 0u);
    check = Check();
    EXPECT_FALSE(check.CutOff());
    EXPECT_EQ(check.stop, LogFileCheck::Stop::kEndOfFile);
    EXPECT_EQ(check.records, c.records + 1);
    EXPECT_EQ(check.header_count, c.records + 1);
    EXPECT_THAT(FileNames(Folder()), ::testing::ElementsAre("2026010100.log"));
  }
  // A repair that fails too leaves the tear alone and writes nothing after it.
  EXPECT_EQ(AppendUnder(kFaults.at("torn")), QORLOG_STATUS_LOG_ERROR);
  const std::string torn = ReadFile(Today());
  EXPECT_EQ(AppendUnder([](ScopedPlan& p) { p.Fail(Call::kSetLength, 1, platform::kErrorAccessDenied); }),
            QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(ReadFile(Today()), torn);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(Check().records, 4u);
  EXPECT_FALSE(Check().CutOff());
}

// A writer killed inside its append leaves a record cut off at the end, or a
// record the header does not count (here made by a failed append whose
// clean-up failed too, in a process that then dies). The next writer, told
// of the abandoned mutex (128), writes nothing and repairs the file, also
// when the killed writer's handle outlives its hold of the mutex for a
// moment (the system wakes the mutex's waiters before it closes the dead
// process's files).
TEST_F(FaultTest, WriterAfterAKilledOneRepairsTheTail) {
  const struct {
    const char* what;
    const char* faults;  // of the killed writer's append
    bool cut_off;
    unsigned lingering_share;  // the share mode of the killed writer's handle, or 0
  } cases[] = {
      {"nothing torn", "none", false, 0},
      {"record cut off", "torn", true, 0},
      {"header not updated", "no header", false, 0},
      // killed while testing the header, and while appending
      {"record cut off, an unshared handle lingers", "torn", true, platform::File::shareExclusive},
      {"header not updated, the append's handle lingers", "no header", false, platform::File::shareDenyWrite},
  };
  const fs::path current = Folder() / "2026010101.log";
  auto check = [&] { return CheckLogFile(U16(current), 5000); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // An earlier file of the day that is still usable: the repair must take
    // the newest, where the killed writer appended.
    fs::remove_all(Folder());
    MakeLogFile(Today(), 12);
    MakeLogFile(current, 12);
    ASSERT_EQ(AppendSimple(), 0u);
    ASSERT_EQ(ChildProcess("append-then-die", {c.faults}).Release(), 0);
    ASSERT_EQ(check().CutOff(), c.cut_off);
    const DWORD records = check().records;
    platform::File lingering;
    std::thread closer;
    if (c.lingering_share != 0) {
      ASSERT_TRUE(lingering.Open(U16(current), platform::File::modeReadWrite | c.lingering_share));
      closer = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        lingering.Close();
      });
    }
    EXPECT_EQ(AppendSimple(), QORLOG_STATUS_MUTEX_ABANDONED);
    if (closer.joinable()) closer.join();
    const LogFileCheck after = check();
    EXPECT_FALSE(after.CutOff());
    EXPECT_EQ(after.records, records);
    EXPECT_EQ(after.header_count, records);
  }
}

// Files that cannot be opened (read-only or unreadable: access denied on
// every open, as the tests run as root): the append fails and changes
// nothing, the reader says access denied, pruning skips them and goes on.
TEST_F(FaultTest, FilesThatCannotBeOpenedAreLeftAloneWithAStatus) {
  ASSERT_EQ(AppendSimple(), 0u);
  const std::string before = ReadFile(Today());
  auto deny_opens = [](ScopedPlan& p) {
    for (unsigned n = 1; n <= 50; ++n) p.Fail(Call::kOpen, n, platform::kErrorAccessDenied);
  };
  EXPECT_EQ(AppendUnder(deny_opens), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(ReadFile(Today()), before);
  EXPECT_THAT(FileNames(Folder()), ::testing::ElementsAre("2026010100.log"));
  {
    ScopedPlan plan;
    deny_opens(plan);
    EXPECT_EQ(CLogReader().Open(U16(Today())), platform::kErrorAccessDenied);
  }
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(Check().records, 2u);

  // 101 files of an earlier day, of which pruning keeps 90: one that cannot be
  // opened is not counted and stays, one that cannot be deleted stays; the
  // others go as usual.
  for (const Call call : {Call::kOpen, Call::kDelete}) {
    fs::remove_all(Folder());
    for (int i = 0; i <= 100; ++i) MakeLogFile(Folder() / ("20250101" + std::to_string(1000 + i).substr(1) + ".log"), 12);
    ScopedPlan plan;
    plan.Fail(call, 1, platform::kErrorAccessDenied);
    EXPECT_EQ(CLogReducer().Reduce(U16(Folder())), 0u);
    EXPECT_EQ(FileNames(Folder()).size(), 91u) << static_cast<int>(call);
  }
}

// Every entry below `root` with its kind, mode and contents.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const auto status = e.symlink_status();
    std::string what = std::to_string(static_cast<int>(status.type())) + " " +
                       std::to_string(static_cast<unsigned>(status.permissions()));
    if (status.type() == fs::file_type::regular) what += " " + ReadFile(e.path());
    out[e.path().string()] = what;
  }
  return out;
}

TEST_F(FaultTest, NothingIsWrittenOrDeletedThroughALink) {
  const fs::path outside = env_.root() / "outside";
  const struct {
    const char* what;
    fs::path link;  // planted as a link to `target`
    fs::path target;
    DWORD reduce_status;
    bool category_outside = false;  // the link's target holds a category folder of old files
  } cases[] = {
      {"today's log file is a link", Today(), outside / "2026010100.log", 0},
      {"the category folder is a link", Folder(), outside, platform::kErrorAccessDenied},
      {"the log root is a link", Folder().parent_path(), outside, platform::kErrorAccessDenied, true},
      {"the log root is a link, no category folder there", Folder().parent_path(), outside,
       platform::kErrorAccessDenied},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Folder().parent_path());
    fs::remove_all(outside);
    // Outside: a valid log file of today, and more earlier ones than pruning keeps.
    MakeLogFile(outside / "2026010100.log", 12, 0);
    for (int i = 0; i < 112; ++i) MakeLogFile(outside / ("202512" + std::to_string(1000 + i).substr(1) + "0.log"), 12);
    std::error_code no_link;
    fs::create_directories(c.link.parent_path());
    fs::create_symlink(c.target, c.link, no_link);
    if (no_link) GTEST_SKIP() << "no symbolic links here (Wine): " << no_link.message();
    if (c.category_outside) {
      fs::create_directories(outside / "etc");
      for (const auto& e : fs::directory_iterator(outside)) {
        if (e.is_regular_file()) fs::copy_file(e.path(), outside / "etc" / e.path().filename());
      }
    }
    const auto before = Snapshot(outside);
    EXPECT_EQ(AppendSimple(), QORLOG_STATUS_LOG_ERROR);
    EXPECT_EQ(CLogReducer().Reduce(U16(Folder())), c.reduce_status);
    EXPECT_EQ(Snapshot(outside), before);
  }
}

}  // namespace
}  // namespace qorlog::testing
