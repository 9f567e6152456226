// Appending records: the bytes of a fresh file and of the header after
// appends, every status of an append, the helper's touches and the new-file
// notice, and many processes appending at once.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/named_mutex.h"
#include "tests/logstore/log_folder_fixture.h"
#include "tests/platform/child_process.h"
#include "tests/svchelper/fake_helper.h"

namespace qorlog::testing {
namespace {

using ::testing::ElementsAre;

class AppendTest : public LogFolderTest {};

TEST_F(AppendTest, FreshFileHoldsTheHeaderAndRecordsAsStored) {
  g_test_now = {2012, 5, 3, 2, 4, 12, 32, 0};
  stSIMPLE_LOG_W r = SimpleRecord(1, 2, u"abc");
  r.stTime = {1999, 1, 1, 1, 1, 1, 1, 1};  // the caller's time never reaches the file
  ASSERT_EQ(manager_.AppendSimpleLog(5000, &r), 0u);
  EXPECT_EQ(r.stTime.wYear, 2012);  // the caller sees the stamp
  EXPECT_EQ(r.stTime.wSecond, 32);
  const auto path = Folder() / "2012050200.log";
  const std::string record = Bytes({0xDC, 0x07, 0x05, 0x00, 0x03, 0x00, 0x02, 0x00, 0x04, 0x00, 0x0C, 0x00,
                                    0x20, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                    0xFF, 0xFE, 0xFF, 0x03, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00});
  EXPECT_EQ(ReadFile(path), HeaderBytes(1) + record);

  ASSERT_EQ(AppendSimple(), 0u);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(ReadFile(path), Bytes({1, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}) + record + record + record);
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2012050200.log"));
}

TEST_F(AppendTest, ExistingHeaderCountRisesByOne) {
  const auto path = Folder() / "2026010100.log";
  MakeLogFile(path, 12, 7);
  ASSERT_EQ(AppendSimple(), 0u);
  const std::string bytes = ReadFile(path);
  EXPECT_EQ(bytes.substr(0, 12), Bytes({1, 0, 0, 0, 8, 0, 0, 0, 9, 0, 0, 0}));
  EXPECT_EQ(bytes.size(), 12u + 34u);
}

TEST_F(AppendTest, EveryRecordKindGoesToItsFolderAndKindIsNotChecked) {
  stPC_SCAN_LOG_W pc = {};
  pc.dwCode = 5;
  stFW_LOG_W fw = {};
  fw.dwParam = 77;
  EXPECT_EQ(manager_.AppendPCScanLog(&pc), 0u);
  EXPECT_EQ(manager_.AppendFWLog(&fw), 0u);
  EXPECT_EQ(AppendSimple(QORLOG_KIND_PCSCAN), 0u);  // a simple record in the PC-scan folder
  const auto pc_file = Folder("pc scan") / "2026010100.log";
  EXPECT_EQ(ReadFile(pc_file).size(), 12u + 32u + 34u);
  EXPECT_EQ(ReadFile(pc_file).substr(0, 12), HeaderBytes(2));
  EXPECT_EQ(ReadFile(Folder("firewall") / "2026010100.log").size(), 12u + 40u);
}

TEST_F(AppendTest, BadRecordGives87AndTouchesNothing) {
  EXPECT_EQ(manager_.AppendSimpleLog(5000, nullptr), QORLOG_STATUS_BAD_POINTER);
  void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  EXPECT_EQ(manager_.AppendFWLog(static_cast<stFW_LOG_W*>(page)), QORLOG_STATUS_BAD_POINTER);
  munmap(page, 4096);
  EXPECT_FALSE(std::filesystem::exists(Folder()));
}

TEST_F(AppendTest, NullMutexFailsEveryAppendWithoutWriting) {
  setenv("XDG_RUNTIME_DIR", "/proc/no-such-folder", 1);
  CLogManager no_mutex;
  EXPECT_FALSE(no_mutex.HasMutex());
  stSIMPLE_LOG_W r = SimpleRecord(1, 2, u"x");
  r.stTime.wYear = 1999;
  EXPECT_EQ(no_mutex.AppendSimpleLog(5000, &r), QORLOG_STATUS_WAIT_FAILED);
  EXPECT_EQ(no_mutex.AppendSimpleLog(5000, &r), QORLOG_STATUS_WAIT_FAILED);
  EXPECT_EQ(r.stTime.wYear, 1999);
  EXPECT_FALSE(std::filesystem::exists(Folder()));
}

TEST_F(AppendTest, HolderKilledInsideTheMutexCostsTheNextAppendOne128) {
  ASSERT_EQ(AppendSimple(), 0u);
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

  const std::string before = ReadFile(Folder() / "2026010100.log");
  EXPECT_EQ(AppendSimple(), QORLOG_STATUS_MUTEX_ABANDONED);
  EXPECT_EQ(ReadFile(Folder() / "2026010100.log"), before);  // nothing written
  EXPECT_EQ(AppendSimple(), 0u);                              // and nothing else lost
  EXPECT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(ReadFile(Folder() / "2026010100.log").substr(0, 12), HeaderBytes(3));
}

TEST_F(AppendTest, DayUsedUpGives1627AndKeepsTheCallersTime) {
  MakeLogFile(Folder() / "2026010199.log", 0x100000, 0);
  stSIMPLE_LOG_W r = SimpleRecord(1, 2, u"x");
  r.stTime.wYear = 1999;
  EXPECT_EQ(manager_.AppendSimpleLog(5000, &r), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(r.stTime.wYear, 1999);
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010199.log"));
  SetTestDate(2026, 1, 2);  // the next day starts again at 00
  EXPECT_EQ(AppendSimple(), 0u);
  EXPECT_TRUE(std::filesystem::exists(Folder() / "2026010200.log"));
}

TEST_F(AppendTest, FileThatCanNeitherBeOpenedNorCreatedGives1627) {
  // The category "folder" is a plain file: nothing can be made inside it.
  std::filesystem::create_directories(Folder().parent_path());
  WriteFile(Folder(), "not a folder");
  EXPECT_EQ(AppendSimple(), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(ReadFile(Folder()), "not a folder");
}

TEST_F(AppendTest, HelperIsTouchedInOrderAndItsGatesDecide) {
  FakeHelperEnv helper(env_.root() / "calls.txt");
  InstallHelper(env_.program_files(), FakeHelperFile());
  ASSERT_EQ(AppendSimple(), 0u);
  const std::string folder = Folder().string();
  const std::string file = (Folder() / "2026010100.log").string();
  EXPECT_THAT(helper.Calls(),
              ElementsAre("load", "IsUserMode", "IsInstalled", "TouchSubPathW " + folder,  // the folder
                          "IsUserMode", "IsInstalled", "TouchSubFileW " + file,            // before the create
                          "IsUserMode", "IsInstalled", "TouchSubFileW " + file,            // fresh header
                          "IsUserMode", "IsInstalled", "TouchSubFileW " + file,            // the append
                          "IsUserMode", "IsInstalled", "TouchSubFileW " + file));          // header update
  helper.ClearCalls();
  ASSERT_EQ(AppendSimple(), 0u);  // an existing file: no create, no second load
  EXPECT_THAT(helper.Calls(), ElementsAre("IsUserMode", "IsInstalled", "TouchSubPathW " + folder, "IsUserMode",
                                          "IsInstalled", "TouchSubFileW " + file, "IsUserMode", "IsInstalled",
                                          "TouchSubFileW " + file));
  helper.ClearCalls();
  helper.SetGates(true, false);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_THAT(helper.Calls(), ElementsAre("IsUserMode", "IsInstalled", "IsUserMode", "IsInstalled", "IsUserMode",
                                          "IsInstalled"));
}

TEST_F(AppendTest, MissingHelperIsTriedAgainByEveryAppend) {
  FakeHelperEnv helper(env_.root() / "calls.txt");
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_FALSE(manager_.bridge().IsLoaded());
  InstallHelper(env_.program_files(), FakeHelperFile());
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_TRUE(manager_.bridge().IsLoaded());
  EXPECT_EQ(helper.Calls().front(), "load");
  EXPECT_EQ(ReadSimpleRecords(Folder() / "2026010100.log").size(), 2u);
}

TEST_F(AppendTest, EachNewFileIsAnnouncedBeforeItIsCreated) {
  ASSERT_EQ(AppendSimple(QORLOG_KIND_FIREWALL), 0u);
  ASSERT_EQ(g_new_file_notices.size(), 1u);
  EXPECT_EQ(g_new_file_notices[0].kind, QORLOG_KIND_FIREWALL);
  EXPECT_THAT(g_new_file_notices[0].files_then, ElementsAre());
  ASSERT_EQ(AppendSimple(QORLOG_KIND_FIREWALL), 0u);  // no new file, no notice
  EXPECT_EQ(g_new_file_notices.size(), 1u);
  // A full file of today: the next number is announced, then made.
  MakeLogFile(Folder("firewall") / "2026010101.log", 0x100000);
  ASSERT_EQ(AppendSimple(QORLOG_KIND_FIREWALL), 0u);
  ASSERT_EQ(g_new_file_notices.size(), 2u);
  EXPECT_THAT(g_new_file_notices[1].files_then, ElementsAre("2026010100.log", "2026010101.log"));
  EXPECT_TRUE(std::filesystem::exists(Folder("firewall") / "2026010102.log"));
}

// A file held unshared elsewhere is busy, not missing: the append waits a
// moment for it, and one held beyond the wait is left exactly as it is (an
// existing file is never created anew).
TEST_F(AppendTest, FileHeldUnsharedIsWaitedForAndNeverReplaced) {
  struct Case {
    int hold_ms;  // how long the other process holds today's file; -1: throughout
    DWORD status;
    std::size_t records;
  };
  for (const Case& c : {Case{30, 0, 2}, Case{-1, QORLOG_STATUS_LOG_ERROR, 1}}) {
    SCOPED_TRACE(c.hold_ms);
    std::filesystem::remove_all(Folder());
    ASSERT_EQ(AppendSimple(), 0u);
    g_new_file_notices.clear();
    const std::string before = ReadFile((Folder() / "2026010100.log"));
    const std::u16string held = platform::Utf8ToUtf16((Folder() / "2026010100.log").string());
    HeldChild holder([&] {
      static platform::File f;
      if (!f.Open(held, platform::File::modeRead | platform::File::shareExclusive)) return 1;
      if (c.hold_ms >= 0) {
        std::thread([&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(c.hold_ms));
          f.Close();
        }).detach();
      }
      return 0;
    });
    ASSERT_EQ(holder.setup_result(), 0);
    EXPECT_EQ(AppendSimple(), c.status);
    EXPECT_TRUE(g_new_file_notices.empty()) << "a file that exists is not announced as new";
    holder.Release();
    EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010100.log"));
    EXPECT_EQ(ReadSimpleRecords((Folder() / "2026010100.log")).size(), c.records);
    if (c.status != 0) {
      EXPECT_EQ(ReadFile(Folder() / "2026010100.log"), before);
    }
  }
}

TEST_F(AppendTest, ManyProcessesAppendingTheSameKindLoseNothing) {
  constexpr int kProcesses = 8;
  constexpr int kAppends = 2000;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      CLogManager own;
      own.SetClock(&TestClock);
      for (int i = 0; i < kAppends; ++i) {
        stSIMPLE_LOG_W r = SimpleRecord(static_cast<DWORD>(p), static_cast<DWORD>(i), u"concurrent");
        if (own.AppendSimpleLog(5000, &r) != 0) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  CLogHeader header;
  const auto records = ReadSimpleRecords(Folder() / "2026010100.log", &header);
  ASSERT_EQ(records.size(), static_cast<std::size_t>(kProcesses * kAppends));
  EXPECT_EQ(header.dwItemCount, records.size());
  EXPECT_TRUE(header.IsValid());
  // Each process's records are in its own order.
  std::vector<DWORD> next(kProcesses, 0);
  for (const auto& r : records) {
    ASSERT_LT(r.dwCode, static_cast<DWORD>(kProcesses));
    EXPECT_EQ(r.dwSubCode, next[r.dwCode]++);
  }
}

}  // namespace
}  // namespace qorlog::testing
