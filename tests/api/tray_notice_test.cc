// The library's writers tell the tray of a new log file: TRAY 111 with the
// kind. When in the append it goes out, and that a file that exists is not
// announced, is the log store's affair; the message itself the notifier's.
#include <gtest/gtest.h>

#include <string>

#include "api/qorlog.h"
#include "notify/notify_names.h"
#include "tests/notify/notify_test_util.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_receiver.h"

namespace qorlog::testing {
namespace {

TEST(TrayNoticeTest, TrayHearsOfANewFileWithItsKind) {
  IsolatedEnv env;
  ProgramFilesScope program_files(env);
  QORLOG_SKIP_UNLESS_USABLE(program_files);
  GlobalScope global;
  Receiver tray(u"Global\\" + std::u16string(kTrayMappingName), {});
  ASSERT_NE(tray.window(), 0u);
  stFW_LOG_W record = {};
  ASSERT_EQ(QORLOG_WriteFWLogW(&record), 0u);
  auto m = tray.Next();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->wparam, 111u);
  EXPECT_EQ(m->lparam, 1001);
}

}  // namespace
}  // namespace qorlog::testing
