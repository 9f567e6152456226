// The store shared by processes: writers beside a pruning loop and readers
// over a folder full of earlier days' files, and writers that are killed
// while they hold the writers' mutex. Every record whose append answered 0
// must be in the files exactly once and in its writer's order, and no read
// may fail because another process held a file for a moment.
//
// Records carry their writer in dwCode and their sequence number in the text.
// Each writer acknowledges its appends (writer, sequence, status) in a file of
// its own, unbuffered: a write the kill cuts short is left out when counting.
// The processes are this program started again (spawn_child.h). Each test
// prints its tally.
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
#include "tests/support/spawn_child.h"

namespace qorlog::testing {
namespace {

namespace fs = std::filesystem;
constexpr DWORD kKind = 5000;

// The 120 files of earlier days that pruning works on, oldest first.
std::vector<fs::path> OldFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (int i = 0; i < 120; ++i) {
    const std::string day = std::to_string(1000 + i / 4).substr(2);
    files.push_back(folder / ("202512" + day + "0" + std::to_string(i % 4) + ".log"));
  }
  return files;
}

// Appends with writer id args[0] and sequence 0, 1, ... until released, or
// until args[2] appends are made when that is not negative; acknowledges
// each append in the file args[1]. Ready after the first append.
QORLOG_CHILD_ROLE("writer", [](const std::vector<std::string>& args, const ChildChannel& channel) {
  const DWORD id = std::stoul(args.at(0));
  const int count = std::stoi(args.at(2));
  std::FILE* acks = std::fopen(args.at(1).c_str(), "ab");
  if (acks == nullptr) return 1;
  std::setvbuf(acks, nullptr, _IONBF, 0);
  CLogManager manager;
  manager.SetClock(&TestClock);
  for (int seq = 0; seq != count && (count >= 0 || !channel.Released()); ++seq) {
    stSIMPLE_LOG_W r = SimpleRecord(id, 0, platform::Utf8ToUtf16("seq " + std::to_string(seq)));
    const std::uint32_t ack[3] = {id, static_cast<std::uint32_t>(seq), manager.AppendSimpleLog(kKind, &r)};
    std::fwrite(ack, sizeof ack, 1, acks);
    if (seq == 0) channel.Ready(0);
  }
  std::fclose(acks);
  return 0;
});

// Prunes the folder args[0] until released; after each pass puts back the
// old files that went, whole at once and each with a header count of its own
// (so that a file put back is told from the one that was there). Exits with
// 1 when a pass failed or none deleted anything.
QORLOG_CHILD_ROLE("pruner", [](const std::vector<std::string>& args, const ChildChannel& channel) {
  int failed = 0, deleted = 0;
  const fs::path made = fs::path(args.at(0)) / "put-back.tmp";
  while (!channel.Released()) {
    failed += CLogReducer().Reduce(U16(args.at(0))) != 0;
    for (const auto& old : OldFiles(args.at(0))) {
      if (fs::exists(old)) continue;
      MakeLogFile(made, 12, ++deleted);
      fs::rename(made, old);
    }
  }
  return failed == 0 && deleted > 0 ? 0 : 1;
});

// Until released: reads today's file of the folder args[0] as an array
// (which must never fail or go back), then holds one of the old files that
// pruning deletes, whose name must go on naming the same file meanwhile.
// args[1] seeds the choice of old files. Exits with 1 when a read failed or
// went back, or when it never read or held a file.
QORLOG_CHILD_ROLE("reader", [](const std::vector<std::string>& args, const ChildChannel& channel) {
  const auto old_files = OldFiles(args.at(0));
  std::mt19937 rng(std::stoul(args.at(1)));
  int reads = 0, failed = 0, shrank = 0, held = 0, deleted_while_held = 0;
  DWORD last_count = 0;
  while (!channel.Released()) {
    CLogReader today;
    stSIMPLE_LOG_W* array = nullptr;
    DWORD count = 0;
    DWORD status = today.Open(U16(fs::path(args.at(0)) / "2026010100.log"));
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
    const std::string first = ReadFile(old);
    std::this_thread::sleep_for(std::chrono::microseconds(300));  // long enough for the pruner to try
    deleted_while_held += first.empty() || ReadFile(old) != first;
  }
  return reads > 0 && failed + shrank == 0 && held > 0 && deleted_while_held == 0 ? 0 : 1;
});

// What the writers acknowledged against what the files hold.
struct Tally {
  int appends = 0, abandoned = 0, refused = 0, lost = 0, duplicated = 0, out_of_order = 0, unacknowledged = 0;
  int files = 0, cut_off = 0, unreadable = 0, header_off = 0;
};

class ContentionTest : public LogFolderTest {
 protected:
  ContentionTest() { fs::create_directories(AckFolder()); }
  fs::path AckFolder() const { return env_.root() / "acks"; }

  // A writer process (the role "writer"), acknowledging in a file of its own.
  std::unique_ptr<ChildProcess> StartWriter(DWORD id, int count = -1) {
    return std::make_unique<ChildProcess>("writer", std::vector<std::string>{std::to_string(id),
        (AckFolder() / std::to_string(id)).string(), std::to_string(count)});
  }

  Tally Count() {
    Tally t;
    std::map<std::pair<DWORD, int>, DWORD> acked;
    for (const std::string& writer : FileNames(AckFolder())) {
      std::ifstream acks(AckFolder() / writer, std::ios::binary);
      for (std::uint32_t ack[3]; acks.read(reinterpret_cast<char*>(ack), sizeof ack);) {
        ++t.appends;
        acked[{ack[0], static_cast<int>(ack[1])}] = ack[2];
        t.abandoned += ack[2] == QORLOG_STATUS_MUTEX_ABANDONED;
        t.refused += ack[2] != 0 && ack[2] != QORLOG_STATUS_MUTEX_ABANDONED;
      }
    }
    std::map<std::pair<DWORD, int>, int> stored;
    std::map<DWORD, int> last_seq;
    for (const std::string& name : FileNames(Folder())) {
      if (name.compare(0, 6, "202512") == 0) continue;  // the pruning test's old files hold no records
      const LogFileCheck check = CheckLogFile(U16(Folder() / name), kKind);
      ++t.files;
      t.cut_off += check.CutOff();
      t.unreadable += check.stop != LogFileCheck::Stop::kEndOfFile || !check.header_valid;
      t.header_off += check.header_count != check.records;
      CLogReader reader;
      stSIMPLE_LOG_W* records = nullptr;
      DWORD count = 0;
      if (reader.Open(U16(Folder() / name)) == 0) reader.ReadSimpleLogArray(&TestAlloc, &records, &count);
      for (DWORD i = count; i-- > 0;) {  // the array is newest first
        const stSIMPLE_LOG_W& r = records[i];
        const int seq = std::atoi(platform::Utf16ToUtf8(r.szText260).c_str() + 4);
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
};

// Two writers, a pruning loop and two readers at once over a folder of 120
// files of earlier days. The readers alternate between an array read of
// today's file (which must never fail or go back) and holding one of the old
// files, which pruning must not delete while it is held (its share mode
// refuses the delete; the test of usable files alone leaves a window).
TEST_F(ContentionTest, PruningBesideWritersAndReadersLosesNothingAndDeletesNothingHeld) {
  constexpr int kWriters = 2, kAppends = 1500;
  for (const auto& old : OldFiles(Folder())) MakeLogFile(old, 12);
  ASSERT_EQ(AppendSimple(kKind, u"seq -1"), 0u);
  std::vector<std::unique_ptr<ChildProcess>> loops, writers;
  loops.push_back(std::make_unique<ChildProcess>("pruner", std::vector<std::string>{Folder().string()}));
  for (const char* seed : {"0", "1"}) {
    loops.push_back(std::make_unique<ChildProcess>("reader", std::vector<std::string>{Folder().string(), seed}));
  }
  for (int w = 1; w <= kWriters; ++w) writers.push_back(StartWriter(static_cast<DWORD>(w), kAppends));
  writers.clear();  // each ends after its appends
  for (auto& loop : loops) EXPECT_EQ(loop->Release(), 0);

  const Tally t = Count();
  Print("pruning beside writers and readers", t);
  EXPECT_EQ(t.appends, kWriters * kAppends);
  EXPECT_EQ(t.refused + t.abandoned + t.lost + t.duplicated + t.out_of_order, 0);
  EXPECT_EQ(t.cut_off + t.unreadable + t.header_off, 0);
  EXPECT_TRUE(std::filesystem::exists(Today()));
  EXPECT_EQ(CLogReducer().Reduce(U16(Folder())), 0u);  // with nothing held, the count rule has its way
  EXPECT_EQ(FileNames(Folder()).size(), 90u);
}

// Eight writers append in a loop; one of them is killed (SIGKILL) every
// few milliseconds and replaced, a fixed number of times. A killed writer may
// take the record it was appending with it, and the next writer to take the
// mutex is told once (128); every other append must succeed. Afterwards every
// file reads to its end with no cut-off record, and every header counts its
// file's records: the writer told of the abandoned mutex repairs the file.
TEST_F(ContentionTest, KilledWritersCostAtMostTheRecordInFlight) {
  // Writer identities stay below the record code limit: 1 + 8 + 240. Wine
  // starts processes slowly: fewer kills there.
#ifdef _WIN32
  constexpr int kWriters = 8, kKills = 24;
#else
  constexpr int kWriters = 8, kKills = 240;
#endif
  std::vector<std::unique_ptr<ChildProcess>> slots;
  DWORD next_id = 1;
  for (int i = 0; i < kWriters; ++i) slots.push_back(StartWriter(next_id++));
  for (auto& slot : slots) ASSERT_EQ(slot->WaitReady(), 0);
  std::mt19937 rng(17);
  for (int kills = 0; kills < kKills; ++kills) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2 + rng() % 10));
    auto& slot = slots[rng() % slots.size()];
    slot->Kill();
    slot = StartWriter(next_id++);
    ASSERT_EQ(slot->WaitReady(), 0);  // appending before the next kill
  }
  for (auto& slot : slots) slot->Release();
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
