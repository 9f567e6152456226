// Starting programs: the readiness notice, hidden starts, exit codes, and
// that starting leaves neither a descriptor nor a child behind.
#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "platform/errors.h"
#include "platform/posix/ready_notice.h"
#include "tests/support/process_census.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using Clock = std::chrono::steady_clock;
using posix::kReadyFdVariable;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<std::string> Shell(const std::string& script) { return {"/bin/sh", "-c", script}; }

TEST(ProcessTest, ReadyWaitEndsAtNoticeExitOrTimeLimit) {
  ReadyOutcome outcome;
  auto start = Clock::now();
  ASSERT_EQ(StartDetached(Shell("printf x >&$QORLOG_READY_FD; exec 9>&-; sleep 2"), ShowMode::kHidden, 3000, &outcome),
            0u);
  EXPECT_EQ(outcome, ReadyOutcome::kReady);
  EXPECT_LT(SecondsSince(start), 1.5);

  start = Clock::now();
  ASSERT_EQ(StartDetached(Shell("exit 3"), ShowMode::kHidden, 3000, &outcome), 0u);
  EXPECT_EQ(outcome, ReadyOutcome::kExited);
  EXPECT_LT(SecondsSince(start), 1.5);

  start = Clock::now();
  ASSERT_EQ(StartDetached(Shell("sleep 2"), ShowMode::kHidden, 300, &outcome), 0u);
  EXPECT_EQ(outcome, ReadyOutcome::kTimedOut);
  EXPECT_GE(SecondsSince(start), 0.29);
  EXPECT_LT(SecondsSince(start), 1.5);

  EXPECT_EQ(StartDetached({"/nonexistent/qorlog"}, ShowMode::kHidden, 100, &outcome), kErrorPathNotFound);
  EXPECT_EQ(StartDetached({}, ShowMode::kHidden, 100, &outcome), kErrorInvalidParameter);
}

TEST(ProcessTest, HiddenStartDetachesInputOutputAndSession) {
  testing::TempDir dir;
  const std::string report = (dir.path() / "report").string();
  // The program reports its stdin and stdout targets and whether it leads
  // its session (field 6 of /proc/self/stat is the session id).
  const std::string script =
      "i=$(readlink /proc/$$/fd/0); o=$(readlink /proc/$$/fd/1); "
      "s=$(cut -d' ' -f6 /proc/$$/stat); "
      "{ echo $i; echo $o; [ \"$s\" = $$ ] && echo leader; "
      "echo \"fd=$QORLOG_READY_FD\"; } > " +
      report + "; printf x >&$QORLOG_READY_FD";
  ReadyOutcome outcome;
  ASSERT_EQ(StartDetached(Shell(script), ShowMode::kHidden, 3000, &outcome), 0u);
  EXPECT_EQ(outcome, ReadyOutcome::kReady);
  const std::string text = testing::ReadFile(report);
  EXPECT_EQ(text.substr(0, text.find("fd=")), "/dev/null\n/dev/null\nleader\n");
}

TEST(ProcessTest, OutputFilesTakeTheStandardStreamsAndAskToEndSendsSigterm) {
  testing::TempDir dir;
  const OutputFiles files = {(dir.path() / "out").string(), (dir.path() / "err").string()};
  testing::WriteFile(files.output, "emptied first");
  DWORD code = 0;
  ASSERT_EQ(StartAndWait(Shell("read x; echo \"in=$x\"; echo err >&2; exit 5"), files, &code), 0u);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(testing::ReadFile(files.output), "in=\n");  // standard input is empty
  EXPECT_EQ(testing::ReadFile(files.error), "err\n");

  // The id comes while the program runs; the request reaches its trap.
  std::thread asker;
  ASSERT_EQ(StartAndWait(Shell("trap 'echo asked; exit 0' TERM; echo up; while :; do sleep 0.05; done"), files, &code,
                         [&](DWORD id) {
                           asker = std::thread([id, &files] {
                             while (testing::ReadFile(files.output).empty()) std::this_thread::yield();
                             EXPECT_TRUE(AskToEnd(id));
                           });
                         }),
            0u);
  asker.join();
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(testing::ReadFile(files.output), "up\nasked\n");
  EXPECT_EQ(StartAndWait({"/nonexistent/qorlog"}, files, &code), kErrorPathNotFound);
  // A program ended by a signal gives 128 plus the signal's number.
  ASSERT_EQ(StartAndWait(Shell("kill -TERM $$"), ShowMode::kNormal, &code), 0u);
  EXPECT_EQ(code, 128u + SIGTERM);
}

TEST(ProcessTest, StartingLeavesNoDescriptorAndNoChild) {
  ASSERT_TRUE(testing::HasNoChildren());
  const int before = testing::OpenHandleCount();
  ReadyOutcome outcome;
  for (int i = 0; i < 5; ++i) {
    StartDetached(Shell("printf x >&$QORLOG_READY_FD"), ShowMode::kHidden, 2000, &outcome);
    StartDetached(Shell("exit 0"), ShowMode::kNormal, 0, nullptr);
    DWORD code;
    StartAndWait(Shell("exit 0"), ShowMode::kHidden, &code);
  }
  EXPECT_EQ(testing::OpenHandleCount(), before);
  // The detached programs are not children of this process: once they end,
  // nothing waits to be reaped here.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(testing::HasNoChildren());
}

TEST(ProcessTest, SignalReadyWritesOnceToAPipeOnly) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  setenv(kReadyFdVariable, std::to_string(fds[1]).c_str(), 1);
  EXPECT_TRUE(SignalReady());
  EXPECT_EQ(getenv(kReadyFdVariable), nullptr);
  char c = 0;
  EXPECT_EQ(read(fds[0], &c, 1), 1);  // the notice; the writing end is closed
  EXPECT_EQ(read(fds[0], &c, 1), 0);
  close(fds[0]);
  EXPECT_FALSE(SignalReady());
  testing::TempDir dir;
  const int file = open((dir.path() / "f").c_str(), O_CREAT | O_RDWR, 0600);
  setenv(kReadyFdVariable, std::to_string(file).c_str(), 1);
  EXPECT_FALSE(SignalReady());  // not a pipe: left alone
  EXPECT_EQ(fcntl(file, F_GETFD), 0);
  close(file);
}

}  // namespace
}  // namespace qorlog::platform
