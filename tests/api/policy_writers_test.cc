// The writers' last step: with the log policy on, every record written through
// any of the six writers reaches the viewer, stamped with the time of the
// append, also when the append failed; with it off, nothing is sent.
//
// The policy is read once per process, so each case runs in a process of its
// own that has not written before; the parent never writes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "api/qorlog.h"
#include "notify/notify_names.h"
#include "platform/system.h"
#include "platform/text.h"
#include "settings/secure_ini_document.h"
#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_receiver.h"

namespace qorlog {
namespace {

namespace fs = std::filesystem;

int64_t Ticks(const SYSTEMTIME& t) {
  return ((((int64_t{t.wYear} * 13 + t.wMonth) * 32 + t.wDay) * 24 + t.wHour) * 60 + t.wMinute) * 60000 +
         t.wSecond * 1000 + t.wMilliseconds;
}

SYSTEMTIME TimeAt(const std::string& bytes) {
  SYSTEMTIME t;
  std::memcpy(&t, bytes.data(), sizeof t);
  return t;
}

const SYSTEMTIME kCallerTime = {2001, 2, 6, 3, 4, 5, 6, 7};

template <typename Record>
Record Stamped() {
  Record r = {};
  r.stTime = kCallerTime;
  r.dwCode = 1;
  return r;
}

// Writes one record through each of the six writers; returns their statuses.
std::vector<DWORD> WriteAllSix() {
  const auto pa = Stamped<stPC_SCAN_LOG_A>();
  const auto pw = Stamped<stPC_SCAN_LOG_W>();
  const auto fa = Stamped<stFW_LOG_A>();
  const auto fw = Stamped<stFW_LOG_W>();
  const auto sa = Stamped<stSIMPLE_LOG_A>();
  const auto sw = Stamped<stSIMPLE_LOG_W>();
  return {QORLOG_WritePCScanLogA(&pa), QORLOG_WritePCScanLogW(&pw),       QORLOG_WriteFWLogA(&fa),
          QORLOG_WriteFWLogW(&fw),     QORLOG_WriteSimpleLogA(1002, &sa), QORLOG_WriteSimpleLogW(1003, &sw)};
}

class PolicyWritersTest : public ::testing::Test {
 protected:
  void SetUp() override { QORLOG_SKIP_UNLESS_USABLE(program_files_); }
  void SetPolicy(std::u16string_view value) {
    CSecureIniDocument doc;
    const std::u16string v(value);
    doc.SetString(u"QorCommon", u"Url_LogPolicy", v.c_str());
    const fs::path file = program_files_.path() / "Varnok" / "ZEL" / "Pellora i" / "zelinfo.ui";
    ASSERT_EQ(doc.Save(platform::Utf8ToUtf16(file.string()), INI_FORMAT_CONTAINER), 1);
  }
  testing::IsolatedEnv env_;
  testing::ProgramFilesScope program_files_{env_};
};

// Checks what the viewer got for the six records, in order, and that
// nothing else came. The bytes of each notification are the notifier's
// affair; here: which record, its time, and the kind of a simple record.
void ExpectSixNotifications(testing::Receiver& viewer, bool stamped_by_append, int64_t from, int64_t to) {
  std::vector<testing::ReceivedMessage> got;
  while (auto m = viewer.Next(got.size() < 6 ? 3000 : 200)) got.push_back(*m);
  ASSERT_EQ(got.size(), 6u);
  const uint64_t ids[6] = {206, 206, 204, 204, 202, 202};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(got[i].id, ids[i]) << i;
    ASSERT_GE(got[i].bytes.size(), sizeof(SYSTEMTIME)) << i;
    const int64_t t = Ticks(TimeAt(got[i].bytes));
    if (stamped_by_append) {
      EXPECT_GE(t, from) << i;
      EXPECT_LE(t, to) << i;
    } else {
      EXPECT_EQ(t, Ticks(kCallerTime)) << i;
    }
  }
  for (int i : {4, 5}) {
    ASSERT_EQ(got[i].bytes.size(), sizeof(stSIMPLE_LOG_NOTIFY_W)) << i;
    DWORD kind = 0;
    std::memcpy(&kind, got[i].bytes.data() + offsetof(stSIMPLE_LOG_NOTIFY_W, dwKind), sizeof kind);
    EXPECT_EQ(kind, i == 4 ? 1002u : 1003u);
  }
}

// A case's writes in a process of its own, under the policy args[0]: "on",
// "on, appends fail" or "off". A failure there becomes the exit code 1.
QORLOG_CHILD_ROLE("write-all-six", [](const std::vector<std::string>& args, const testing::ChildChannel&) {
  const std::string& policy = args.at(0);
  testing::Receiver viewer(kViewerMappingName, {.record_copy_data = true});
  EXPECT_NE(viewer.window(), 0u);
  const int64_t before = Ticks(platform::GetLocalTime());
  for (DWORD status : WriteAllSix()) EXPECT_EQ(status != 0, policy == "on, appends fail");
  const int64_t after = Ticks(platform::GetLocalTime());
  if (policy == "off") {
    EXPECT_FALSE(viewer.Next(200));
  } else {  // a failed append stops before stamping: the caller's time travels
    ExpectSixNotifications(viewer, policy == "on", before, after);
  }
  return ::testing::Test::HasFailure() ? 1 : 0;
});

TEST_F(PolicyWritersTest, EveryWriterNotifiesWithTheTimeOfTheAppend) {
  SetPolicy(u"https://policy");
  EXPECT_EQ(testing::ChildProcess("write-all-six", {"on"}).Release(), 0);
}

TEST_F(PolicyWritersTest, FailedAppendsNotifyToo) {
  SetPolicy(u"https://policy");
  // Files where the category folders belong: no log file can be chosen.
  const fs::path log_root = program_files_.path() / "Varnok" / "ZEL" / "Common" / "Log";
  fs::create_directories(log_root);
  for (const char* name : {"pc scan", "firewall", "anti keylogger", "secure browser"}) {
    testing::WriteFile(log_root / name, "not a folder");
  }
  EXPECT_EQ(testing::ChildProcess("write-all-six", {"on, appends fail"}).Release(), 0);
}

TEST_F(PolicyWritersTest, NothingIsSentWhenThePolicyIsOff) {
  SetPolicy(u"   ");
  EXPECT_EQ(testing::ChildProcess("write-all-six", {"off"}).Release(), 0);
}

}  // namespace
}  // namespace qorlog
