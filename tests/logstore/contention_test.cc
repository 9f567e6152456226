// The store shared by processes: writers beside a pruning loop and readers
// over a folder full of earlier days' files, and writers that are killed
// while they hold the writers' mutex. Every record whose append answered 0
// must be in the files exactly once and in its writer's order, and no read
// may fail because another process held a file for a moment.
//
// Records carry their writer in dwCode and their sequence number in the text.
// Writers acknowledge each append (writer, sequence, status) in a file opened
// for appending: each 12-byte write lands whole, and a writer never blocks on
// a reader as it would on a pipe. Each test prints its figures.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "logstore/log_check.h"
#include "logstore/log_reader.h"
#include "logstore/log_reducer.h"
#include "tests/logstore/log_test_support.h"

namespace qorlog::testing {
namespace {

constexpr DWORD kKind = 5000;

// A forked child that runs `body` until the parent stops it with SIGTERM (or
// until `body` returns), then exits with `body`'s result.
pid_t StartLoop(const std::function<int(const volatile sig_atomic_t&)>& body) {
  static volatile sig_atomic_t stop = 0;
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGTERM, [](int) { stop = 1; });
    _exit(body(stop));
  }
  return pid;
}

int StopAndWait(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What the writers acknowledged against what the files hold.
struct Tally {
  int appends = 0, abandoned = 0, refused = 0, lost = 0, duplicated = 0, out_of_order = 0, unacknowledged = 0;
  int files = 0, cut_off = 0, unreadable = 0, header_off = 0;
};

class ContentionTest : public LogFolderTest {
 protected:
  ContentionTest() {
    ack_fd_ = open(AckPath().c_str(), O_CREAT | O_WRONLY | O_APPEND | O_CLOEXEC, 0600);
    EXPECT_GE(ack_fd_, 0);
  }
  ~ContentionTest() override { close(ack_fd_); }
  std::string AckPath() const { return (env_.root() / "acks").string(); }

  // A writer process appending with sequence 0, 1, ... until stopped or
  // `count` appends are made.
  pid_t StartWriter(DWORD id, int count = -1) {
    return StartLoop([this, id, count](const volatile sig_atomic_t& stop) {
      CLogManager manager;
      manager.SetClock(&TestClock);
      for (int seq = 0; !stop && seq != count; ++seq) {
        stSIMPLE_LOG_W r = SimpleRecord(id, 0, platform::Utf8ToUtf16("seq " + std::to_string(seq)));
        const std::uint32_t ack[3] = {id, static_cast<std::uint32_t>(seq), manager.AppendSimpleLog(kKind, &r)};
        (void)!write(ack_fd_, ack, sizeof ack);
      }
      return 0;
    });
  }

  Tally Count() {
    Tally t;
    std::map<std::pair<DWORD, int>, DWORD> acked;
    std::ifstream acks(AckPath(), std::ios::binary);
    for (std::uint32_t ack[3]; acks.read(reinterpret_cast<char*>(ack), sizeof ack);) {
      ++t.appends;
      acked[{ack[0], static_cast<int>(ack[1])}] = ack[2];
      t.abandoned += ack[2] == QORLOG_STATUS_MUTEX_ABANDONED;
      t.refused += ack[2] != 0 && ack[2] != QORLOG_STATUS_MUTEX_ABANDONED;
    }
    std::map<std::pair<DWORD, int>, int> stored;
    std::map<DWORD, int> last_seq;
    for (const std::string& name : FileNames(Folder())) {
      const LogFileCheck check = CheckLogFile(U16(Folder() / name), kKind);
      ++t.files;
      t.cut_off += check.CutOff();
      t.unreadable += check.stop != LogFileCheck::Stop::kEndOfFile || !check.header_valid;
      t.header_off += check.header_count != check.records;
      for (const CSimpleLogRecord& r : ReadSimpleRecords(Folder() / name)) {
        const int seq = std::atoi(platform::Utf16ToUtf8(r.strText260).c_str() + 4);
        if (r.dwSubCode != 0) continue;  // not a writer's record
        ++stored[{r.dwCode, seq}];
        if (last_seq.count(r.dwCode) != 0 && seq <= last_seq[r.dwCode]) ++t.out_of_order;
        last_seq[r.dwCode] = seq;
      }
    }
    for (const auto& [key, times] : stored) {
      t.duplicated += times > 1;
      t.unacknowledged += acked.count(key) == 0;
    }
    for (const auto& [key, status] : acked) t.lost += status == 0 && stored.count(key) == 0;
    return t;
  }
  static void Print(const char* what, const Tally& t) {
    std::printf("%s: %d appends, %d answered 128, %d refused, %d lost, %d duplicated, %d out of order, %d stored "
                "unacknowledged; %d files, %d cut off, %d unreadable, %d headers off\n",
                what, t.appends, t.abandoned, t.refused, t.lost, t.duplicated, t.out_of_order, t.unacknowledged,
                t.files, t.cut_off, t.unreadable, t.header_off);
  }

  int ack_fd_ = -1;
};

// Two writers, a pruning loop and two readers at once over a folder of 120
// files of earlier days. The readers alternate between an array read of
// today's file (which must never fail or go back) and holding one of the old
// files, which pruning must not delete while it is held (its share mode
// refuses the delete; the test of usable files alone leaves a window).
TEST_F(ContentionTest, PruningBesideWritersAndReadersLosesNothingAndDeletesNothingHeld) {
  constexpr int kWriters = 2, kAppends = 1500, kOldFiles = 120;
  std::vector<std::filesystem::path> old_files;
  for (int i = 0; i < kOldFiles; ++i) {
    old_files.push_back(Folder() / ("202512" + std::to_string(1000 + i / 4).substr(2) + "0" + std::to_string(i % 4) + ".log"));
    MakeLogFile(old_files.back(), 12);
  }
  ASSERT_EQ(AppendSimple(kKind, u"seq -1"), 0u);
  // Each pass of the pruner deletes the 31 oldest files it may, and then puts
  // back the old files that went, so that every pass has work.
  int result_pipe[2];
  ASSERT_EQ(pipe(result_pipe), 0);
  const pid_t pruner = StartLoop([&](const volatile sig_atomic_t& stop) {
    int failed = 0, deleted = 0;
    while (!stop) {
      failed += CLogReducer().Reduce(U16(Folder())) != 0;
      for (const auto& old : old_files) {
        if (std::filesystem::exists(old)) continue;
        MakeLogFile(old, 12);
        ++deleted;
      }
    }
    const int line[5] = {0, 0, 0, 0, -1 - deleted};
    (void)!write(result_pipe[1], line, sizeof line);
    return failed;
  });
  std::vector<pid_t> readers;
  for (int i = 0; i < 2; ++i) {
    readers.push_back(StartLoop([&, i](const volatile sig_atomic_t& stop) {
      std::mt19937 rng(i);
      int reads = 0, failed = 0, shrank = 0, held = 0, deleted_while_held = 0;
      DWORD last_count = 0;
      while (!stop) {
        CLogReader today;
        stSIMPLE_LOG_W* array = nullptr;
        DWORD count = 0;
        DWORD status = today.Open(U16(Today()));
        if (status == 0) status = today.ReadSimpleLogArray(&TestAlloc, &array, &count);
        ++reads;
        failed += status != 0;
        shrank += status == 0 && count < last_count;
        if (status == 0) last_count = count;
        g_blocks.clear();
        const auto& old = old_files[rng() % 31];  // among those that pruning deletes
        CLogReader holder;
        if (holder.Open(U16(old)) != 0) continue;  // pruned a moment ago
        ++held;
        // While it is held, the name must go on naming the same file.
        struct stat first = {}, then = {};
        const bool there = stat(old.c_str(), &first) == 0;
        std::this_thread::sleep_for(std::chrono::microseconds(300));  // long enough for the pruner to try
        deleted_while_held += !there || stat(old.c_str(), &then) != 0 || then.st_ino != first.st_ino;
      }
      const int line[5] = {reads, failed, shrank, held, deleted_while_held};
      (void)!write(result_pipe[1], line, sizeof line);
      return 0;
    }));
  }
  std::vector<pid_t> writers;
  for (int w = 1; w <= kWriters; ++w) writers.push_back(StartWriter(static_cast<DWORD>(w), kAppends));
  for (pid_t w : writers) waitpid(w, nullptr, 0);
  for (pid_t r : readers) StopAndWait(r);
  EXPECT_EQ(StopAndWait(pruner), 0);
  close(result_pipe[1]);
  int sum[5] = {}, pruned = 0;
  for (int line[5]; read(result_pipe[0], line, sizeof line) == sizeof line;) {
    if (line[4] < 0) pruned = -1 - line[4];  // the pruner's line
    for (int k = 0; k < 5 && line[4] >= 0; ++k) sum[k] += line[k];
  }
  close(result_pipe[0]);

  const Tally t = Count();
  Print("pruning beside writers and readers", t);
  std::printf("  %d old files, %d deleted by pruning and put back; %d reads of today's file, %d failed, %d went "
              "back; %d old files held, %d deleted while held\n",
              kOldFiles, pruned, sum[0], sum[1], sum[2], sum[3], sum[4]);
  EXPECT_EQ(t.appends, kWriters * kAppends);
  EXPECT_EQ(t.refused + t.abandoned + t.lost + t.duplicated + t.out_of_order, 0);
  EXPECT_EQ(t.cut_off + t.unreadable + t.header_off, 0);
  EXPECT_TRUE(std::filesystem::exists(Today()));
  EXPECT_EQ(CLogReducer().Reduce(U16(Folder())), 0u);  // with nothing held, the count rule has its way
  EXPECT_EQ(FileNames(Folder()).size(), 90u);
  EXPECT_GT(sum[0], 0);
  EXPECT_EQ(sum[1] + sum[2], 0);
  EXPECT_GT(sum[3], 0);
  EXPECT_GT(pruned, 0);
  EXPECT_EQ(sum[4], 0);
}

// Eight writers append in a loop; one of them is killed with SIGKILL every
// few milliseconds and replaced, a fixed number of times. A killed writer may
// take the record it was appending with it, and the next writer to take the
// mutex is told once (128); every other append must succeed. Afterwards every
// file reads to its end with no cut-off record, and every header counts its
// file's records: the writer told of the abandoned mutex repairs the file.
TEST_F(ContentionTest, KilledWritersCostAtMostTheRecordInFlight) {
  // Writer identities stay below the record code limit: 1 + 8 + 240.
  constexpr int kWriters = 8, kKills = 240;
  std::vector<pid_t> slots;
  DWORD next_id = 1;
  for (int i = 0; i < kWriters; ++i) slots.push_back(StartWriter(next_id++));
  std::mt19937 rng(17);
  for (int kills = 0; kills < kKills; ++kills) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2 + rng() % 10));
    const std::size_t slot = rng() % slots.size();
    kill(slots[slot], SIGKILL);
    waitpid(slots[slot], nullptr, 0);
    slots[slot] = StartWriter(next_id++);
  }
  for (pid_t pid : slots) StopAndWait(pid);
  // The last kill may have fallen between a record and its header update with
  // no writer taking the mutex after it: the next append is told and repairs.
  const DWORD last = AppendSimple(kKind, u"seq -2");
  EXPECT_TRUE(last == 0 || last == QORLOG_STATUS_MUTEX_ABANDONED) << last;

  const Tally t = Count();
  Print("killed writers", t);
  EXPECT_LE(t.abandoned, kKills);
  EXPECT_EQ(t.refused + t.lost + t.duplicated + t.out_of_order, 0);
  EXPECT_LE(t.unacknowledged, kKills);  // a killed writer's record in flight
  EXPECT_EQ(t.cut_off + t.unreadable + t.header_off, 0);
}

}  // namespace
}  // namespace qorlog::testing
