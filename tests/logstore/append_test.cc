// Appending records: the bytes of a fresh file and of the header after
// appends, every status of an append, the helper's touches, the new-file
// notice, and the choice of the file (reuse below 1 MiB, rotation, the
// used-up day, earlier days, ignored, held, empty and damaged candidates).
#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logstore/current_log_file.h"
#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "tests/logstore/log_test_support.h"
#include "tests/support/spawn_child.h"
#ifndef _WIN32
#include "tests/svchelper/fake_helper.h"
#endif

namespace qorlog::testing {
namespace {

using ::testing::ElementsAre;
using platform::fault::Call;
using platform::fault::ScopedPlan;

// Holds the file args[0] open for reading with the share mode args[1] until
// released, or for args[2] milliseconds when that is not negative (HoldFile).
QORLOG_CHILD_ROLE("hold-file", [](const std::vector<std::string>& args, const ChildChannel& channel) {
  platform::File f;
  channel.Ready(f.Open(U16(args.at(0)), platform::File::modeRead | std::stoul(args.at(1))) ? 0 : 1);
  if (const int ms = std::stoi(args.at(2)); ms >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    f.Close();
  }
  channel.WaitForRelease();
  return 0;
});

class AppendTest : public LogFolderTest {
 protected:
  std::filesystem::path File(const std::string& name) const { return Folder() / name; }
};

TEST_F(AppendTest, FreshFileHoldsTheHeaderAndRecordsAsStored) {
  g_test_now = {2012, 5, 3, 2, 4, 12, 32, 0};
  stSIMPLE_LOG_W r = SimpleRecord(1, 2, u"abc");
  r.stTime = {1999, 1, 1, 1, 1, 1, 1, 1};  // the caller's time never reaches the file
  ASSERT_EQ(manager_.AppendSimpleLog(5000, &r), 0u);
  EXPECT_EQ(r.stTime.wSecond, 32);  // the caller sees the stamp
  const std::string record = Bytes({0xDC, 0x07, 0x05, 0x00, 0x03, 0x00, 0x02, 0x00, 0x04, 0x00, 0x0C, 0x00,
                                    0x20, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                    0xFF, 0xFE, 0xFF, 0x03, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00});
  ASSERT_EQ(AppendSimple(), 0u);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(ReadFile(Folder() / "2012050200.log"), Bytes({1, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}) + record + record + record);
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2012050200.log"));
}

TEST_F(AppendTest, EveryRecordKindGoesToItsFolderAndCountsOnFromTheHeader) {
  MakeLogFile(Today("pc scan"), 12, 7);
  stPC_SCAN_LOG_W pc = {};
  stFW_LOG_W fw = {};
  EXPECT_EQ(manager_.AppendPCScanLog(&pc), 0u);
  EXPECT_EQ(manager_.AppendFWLog(&fw), 0u);
  EXPECT_EQ(AppendSimple(QORLOG_KIND_PCSCAN), 0u);  // the kind is not checked against the folder
  EXPECT_EQ(ReadFile(Today("pc scan")).substr(0, 12), HeaderBytes(9));
  EXPECT_EQ(ReadFile(Today("pc scan")).size(), 12u + 32u + 34u);
  EXPECT_EQ(ReadFile(Today("firewall")).size(), 12u + 40u);
  // A missing folder is made with its parents.
  ASSERT_EQ(AppendSimple(QORLOG_KIND_SECUREBROWSER), 0u);
  EXPECT_TRUE(std::filesystem::exists(Today("secure browser")));
}

TEST_F(AppendTest, RefusedAppendsWriteNothingAndKeepTheCallersTime) {
  EXPECT_EQ(manager_.AppendSimpleLog(5000, nullptr), QORLOG_STATUS_BAD_POINTER);
  stSIMPLE_LOG_W r = SimpleRecord(1, 2, u"x");
  r.stTime.wYear = 1999;
  // The first page is never mapped.
  EXPECT_EQ(manager_.AppendFWLog(reinterpret_cast<stFW_LOG_W*>(0x1000)), QORLOG_STATUS_BAD_POINTER);
#ifndef _WIN32  // a mutex that cannot be made is a POSIX trick
  setenv("XDG_RUNTIME_DIR", "/proc/no-such-folder", 1);
  CLogManager no_mutex;
  EXPECT_FALSE(no_mutex.HasMutex());
  EXPECT_EQ(no_mutex.AppendSimpleLog(5000, &r), QORLOG_STATUS_WAIT_FAILED);
#endif
  EXPECT_FALSE(std::filesystem::exists(Folder()));

  // The day's 100 files are used up; the next day starts again at 00.
  MakeLogFile(File("2026010199.log"), 0x100000, 0);
  EXPECT_EQ(manager_.AppendSimpleLog(5000, &r), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(r.stTime.wYear, 1999);
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010199.log"));
  g_test_now.wDay = 2;
  EXPECT_EQ(AppendSimple(), 0u);
  EXPECT_TRUE(std::filesystem::exists(File("2026010200.log")));

  // The category "folder" is a plain file: nothing can be made inside it.
  WriteFile(Folder("firewall"), "not a folder");
  EXPECT_EQ(AppendSimple(QORLOG_KIND_FIREWALL), QORLOG_STATUS_LOG_ERROR);
  EXPECT_EQ(ReadFile(Folder("firewall")), "not a folder");
}

#ifndef _WIN32  // the fake helper is built for Linux only
TEST_F(AppendTest, HelperIsTouchedInOrderAndLoadedWhenItAppears) {
  FakeHelperEnv helper(env_.root() / "calls.txt");
  ASSERT_EQ(AppendSimple(), 0u);  // no helper yet: tried again by the next append
  EXPECT_FALSE(manager_.bridge().IsLoaded());
  std::filesystem::remove_all(Folder());
  InstallHelper(env_.program_files(), FakeHelperFile());
  ASSERT_EQ(AppendSimple(), 0u);
  const std::string folder = "TouchSubPathW " + Folder().string();
  const std::string file = "TouchSubFileW " + Today().string();
  EXPECT_THAT(helper.Calls(), ElementsAre("load", "IsUserMode", "IsInstalled", folder,  // the folder
                                          "IsUserMode", "IsInstalled", file,            // before the create
                                          "IsUserMode", "IsInstalled", file,            // fresh header
                                          "IsUserMode", "IsInstalled", file,            // the append
                                          "IsUserMode", "IsInstalled", file));          // header update
  helper.ClearCalls();
  ASSERT_EQ(AppendSimple(), 0u);  // an existing file: no create, no second load
  EXPECT_THAT(helper.Calls(), ElementsAre("IsUserMode", "IsInstalled", folder, "IsUserMode", "IsInstalled", file,
                                          "IsUserMode", "IsInstalled", file));
}
#endif

TEST_F(AppendTest, ReusesTheNewestFileBelowOneMebibyteAnnouncingEachNewOne) {
  ASSERT_EQ(AppendSimple(QORLOG_KIND_FIREWALL), 0u);
  ASSERT_EQ(g_new_file_notices.size(), 1u);
  EXPECT_EQ(g_new_file_notices[0].kind, QORLOG_KIND_FIREWALL);
  EXPECT_THAT(g_new_file_notices[0].files_then, ElementsAre());  // announced before it is made
  g_new_file_notices.clear();

  MakeLogFile(File("2026010102.log"), 500);
  MakeLogFile(File("2026010103.log"), 0x100000 - 1);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(std::filesystem::file_size(File("2026010103.log")), 0x100000u - 1 + 34);  // may end above 1 MiB
  EXPECT_TRUE(g_new_file_notices.empty());
  ASSERT_EQ(AppendSimple(), 0u);  // now at 1 MiB or more: the next number
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010102.log", "2026010103.log", "2026010104.log"));
  EXPECT_EQ(ReadFile(File("2026010104.log")).substr(0, 12), HeaderBytes(1));
  ASSERT_EQ(g_new_file_notices.size(), 1u);
  EXPECT_THAT(g_new_file_notices[0].files_then, ElementsAre("2026010102.log", "2026010103.log"));
  // Ten-digit names are above 2^31: a 32-bit reading would overflow.
  EXPECT_EQ(CCurrentLogFile::NextFileName(u"9999123198.log"), u"9999123199.log");
}

TEST_F(AppendTest, IgnoredCandidatesAndEarlierDaysLeaveTheGreatestUsableName) {
  MakeLogFile(Folder() / "2025123100.log", 100);        // an earlier day
  MakeLogFile(File("2026010101.log"), 200);
  MakeLogFile(File("2026010102.log"), 300);
  MakeLogFile(File("2026010103.log"), 0x200000);       // 2 MiB: never a candidate
  MakeLogFile(File("202601010a.log"), 100);            // a letter
  MakeLogFile(File("2026010105.LOG"), 100);            // capitals
  MakeLogFile(File("2026010106.log"), 100, 4, false);  // header check fails
  MakeLogFile(File("2026010107.log"), 11);             // shorter than a header
  std::filesystem::create_directories(File("2026010108.log"));  // a folder
  auto viewer = HoldFile(File("2026010102.log"));               // held open elsewhere: passed over
  CCurrentLogFile current(&TestClock);
  ASSERT_TRUE(current.ChooseFileName(U16(Folder()) + u"/"));
  EXPECT_EQ(current.name(), u"2026010101.log");
  viewer->Release();
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(std::filesystem::file_size(File("2026010102.log")), 334u);
  EXPECT_EQ(std::filesystem::file_size(Folder() / "2025123100.log"), 100u);
}

// What another handle may do with today's file when the clock is read: the
// append reads it to stamp the record, while it holds the file.
struct {
  std::filesystem::path file;
  bool read = false, write = false;
} g_other_handle;
SYSTEMTIME ClockThatTriesTheFile() {
  platform::File other;
  g_other_handle.read = other.Open(U16(g_other_handle.file), platform::File::modeRead | platform::File::shareDenyNone);
  other.Close();
  g_other_handle.write =
      other.Open(U16(g_other_handle.file), platform::File::modeReadWrite | platform::File::shareDenyNone);
  return g_test_now;
}

// An append holds its file as an appender does: viewers may read, nobody
// else may write; whether it made the file, took the search's handle, or
// opened the file itself (a viewer held it during the search).
TEST_F(AppendTest, AppendHoldsItsFileAgainstOtherWriters) {
  g_other_handle.file = Today();
  manager_.SetClock(&ClockThatTriesTheFile);
  for (const std::string how : {"made", "searched", "opened"}) {
    SCOPED_TRACE(how);
    auto viewer = how == "opened" ? HoldFile(Today()) : nullptr;
    ASSERT_EQ(AppendSimple(), 0u);
    EXPECT_TRUE(g_other_handle.read);
    EXPECT_FALSE(g_other_handle.write);
  }
}

// The search hands over open only a file the append may write to and has
// not filled: not one at 1 MiB (the next number is chosen), nor one it may
// not open for writing, which still passes the usable test (a read) and so
// wins over smaller names.
TEST_F(AppendTest, SearchHandsOverOnlyAFileItMayAppendTo) {
  MakeLogFile(File("2026010101.log"), 200);
  const struct {
    std::uint64_t size;
    bool writable;
    std::u16string_view chosen;
  } cases[] = {{300, true, u"2026010102.log"}, {0x100000, true, u"2026010103.log"}, {300, false, u"2026010102.log"}};
  for (const auto& c : cases) {
    MakeLogFile(File("2026010102.log"), c.size);
    platform::File open_file;
    CCurrentLogFile current(&TestClock);
    {
      ScopedPlan plan;
      if (!c.writable) plan.Fail(Call::kOpen, 1, platform::kErrorAccessDenied);  // the append's own open of 02
      ASSERT_TRUE(current.ChooseFileName(U16(Folder()), &open_file));
    }
    EXPECT_EQ(current.name(), c.chosen);
    EXPECT_EQ(open_file.IsOpen(), c.size == 300 && c.writable) << c.size;
  }
}

// A damaged file that holds records is moved aside to the first free
// ".damaged" name, never deleted; one of a header's size or less is replaced;
// one that cannot be moved (held open) is left whole and the append fails.
TEST_F(AppendTest, DamagedFilesAreSetAsideOrReplacedNeverTruncated) {
  MakeLogFile(Today(), 0);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010100.log"));
  EXPECT_EQ(Check().records, 1u);

  MakeLogFile(Today(), 200, 3, false);
  const std::string damaged = ReadFile(Today());
  {
    auto viewer = HoldFile(Today());
    EXPECT_EQ(AppendSimple(), QORLOG_STATUS_LOG_ERROR);
    EXPECT_EQ(ReadFile(Today()), damaged);
  }
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(ReadFile(File("2026010100.log.damaged")), damaged);
  EXPECT_EQ(ReadFile(Today()).substr(0, 12), HeaderBytes(1));

  // The search passes a damaged next name over; the rotation reaches it by number.
  MakeLogFile(Today(), 0x100000);
  MakeLogFile(File("2026010101.log"), 300, 3, false);
  ASSERT_EQ(AppendSimple(), 0u);
  MakeLogFile(File("2026010101.log"), 300, 3, false);
  ASSERT_EQ(AppendSimple(), 0u);
  EXPECT_EQ(std::filesystem::file_size(File("2026010101.log.damaged")), 300u);
  EXPECT_EQ(std::filesystem::file_size(File("2026010101.log.1.damaged")), 300u);
}

// A file held unshared elsewhere is busy, not missing: the append waits a
// moment for it, and one held beyond the wait is left exactly as it is.
TEST_F(AppendTest, FileHeldUnsharedIsWaitedForAndNeverReplaced) {
  const struct {
    int hold_ms;  // -1: throughout
    DWORD status;
    std::size_t records;
  } cases[] = {{30, 0, 2}, {-1, QORLOG_STATUS_LOG_ERROR, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hold_ms);
    std::filesystem::remove_all(Folder());
    ASSERT_EQ(AppendSimple(), 0u);
    g_new_file_notices.clear();
    const std::string before = ReadFile(Today());
    auto holder = HoldFile(Today(), platform::File::shareExclusive, c.hold_ms);
    EXPECT_EQ(AppendSimple(), c.status);
    EXPECT_TRUE(g_new_file_notices.empty()) << "a file that exists is not announced as new";
    holder->Release();
    EXPECT_THAT(FileNames(Folder()), ElementsAre("2026010100.log"));
    EXPECT_EQ(Check().records, c.records);
    if (c.status != 0) {
      EXPECT_EQ(ReadFile(Today()), before);
    }
  }
}

}  // namespace
}  // namespace qorlog::testing
