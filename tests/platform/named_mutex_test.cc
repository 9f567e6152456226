// The named mutex: exclusion between threads and processes, abandonment by a
// holder that dies, and the null handle.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/named_mutex.h"
#include "tests/platform/child_process.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

constexpr char16_t kName[] = u"QorLog-test-mutex";

class NamedMutexTest : public ::testing::Test {
 protected:
  qorlog::testing::IsolatedEnv env_;
};

TEST_F(NamedMutexTest, ThreadsOfOneProcessExcludeEachOther) {
  NamedMutex a(kName);
  ASSERT_FALSE(a.IsNull());
  int counter = 0;  // deliberately not atomic: the mutex guards it
  std::atomic<int> inside{0};
  std::atomic<bool> overlap{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      NamedMutex own(kName);  // a handle of its own, as another caller would have
      for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(own.Wait(), NamedMutex::kWaitObject0);
        if (inside.fetch_add(1) != 0) overlap = true;
        ++counter;
        inside.fetch_sub(1);
        ASSERT_TRUE(own.Release());
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(overlap);
  EXPECT_EQ(counter, 8000);
}

TEST_F(NamedMutexTest, ProcessesExcludeEachOther) {
  // Each child adds to a number kept in a file, read and rewritten under the
  // mutex; a lost update would show as a smaller total.
  const auto counter = env_.root() / "counter";
  qorlog::testing::WriteFile(counter, "0");
  std::vector<pid_t> children;
  for (int c = 0; c < 4; ++c) {
    const pid_t pid = fork();
    if (pid == 0) {
      NamedMutex m(kName);
      for (int i = 0; i < 300; ++i) {
        if (m.Wait() != NamedMutex::kWaitObject0) _exit(2);
        const int value = std::atoi(qorlog::testing::ReadFile(counter).c_str());
        qorlog::testing::WriteFile(counter, std::to_string(value + 1));
        m.Release();
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
  EXPECT_EQ(qorlog::testing::ReadFile(counter), "1200");
}

TEST_F(NamedMutexTest, HolderThatDiesCostsTheNextWaiterOne128) {
  NamedMutex m(kName);
  {
    // The child takes the mutex and is killed while holding it.
    qorlog::testing::HeldChild child([] {
      NamedMutex held(kName);
      return held.Wait() == NamedMutex::kWaitObject0 ? 0 : 1;
    });
    ASSERT_EQ(child.setup_result(), 0);
  }
  // The child's handle went out of scope and the child exited without
  // releasing: the process ended while owning the mutex.
  EXPECT_EQ(m.Wait(), NamedMutex::kWaitAbandoned);
  EXPECT_TRUE(m.Release());
  EXPECT_EQ(m.Wait(), NamedMutex::kWaitObject0);  // told once, then normal
  EXPECT_TRUE(m.Release());

  // The same after a real SIGKILL.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    NamedMutex held(kName);
    held.Wait();
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
  EXPECT_EQ(m.Wait(), NamedMutex::kWaitAbandoned);
  EXPECT_TRUE(m.Release());
  EXPECT_EQ(m.Wait(), NamedMutex::kWaitObject0);
  EXPECT_TRUE(m.Release());
}

TEST_F(NamedMutexTest, ThreadThatEndsWhileOwningAbandonsIt) {
  NamedMutex m(kName);
  std::thread([] {
    NamedMutex own(kName);
    own.Wait();
  }).join();
  EXPECT_EQ(m.Wait(), NamedMutex::kWaitAbandoned);
  EXPECT_TRUE(m.Release());
  EXPECT_EQ(m.Wait(), NamedMutex::kWaitObject0);
  EXPECT_TRUE(m.Release());
}

TEST_F(NamedMutexTest, OwnershipIsPerThreadAndCounted) {
  NamedMutex m(kName);
  EXPECT_FALSE(m.Release());  // not owned
  ASSERT_EQ(m.Wait(), NamedMutex::kWaitObject0);
  ASSERT_EQ(m.Wait(), NamedMutex::kWaitObject0);  // the owner may wait again
  bool other_released = true;
  std::thread([&] { other_released = NamedMutex(kName).Release(); }).join();
  EXPECT_FALSE(other_released);
  EXPECT_TRUE(m.Release());
  // Still owned once: another thread cannot get it yet.
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    NamedMutex own(kName);
    own.Wait();
    got = true;
    own.Release();
  });
  usleep(50 * 1000);
  EXPECT_FALSE(got);
  EXPECT_TRUE(m.Release());
  waiter.join();
  EXPECT_TRUE(got);
}

TEST_F(NamedMutexTest, DifferentNamesAreDifferentMutexes) {
  NamedMutex a(u"QorLog-one"), b(u"QorLog-two/with\\odd:chars");
  ASSERT_FALSE(b.IsNull());
  ASSERT_EQ(a.Wait(), NamedMutex::kWaitObject0);
  bool got = false;
  std::thread([&] {
    NamedMutex own(u"QorLog-two/with\\odd:chars");
    got = own.Wait() == NamedMutex::kWaitObject0;
    own.Release();
  }).join();
  EXPECT_TRUE(got);
  a.Release();
}

TEST_F(NamedMutexTest, NullHandleFailsEveryWait) {
  NamedMutex null_handle;
  EXPECT_TRUE(null_handle.IsNull());
  EXPECT_EQ(null_handle.Wait(), NamedMutex::kWaitFailed);
  EXPECT_FALSE(null_handle.Release());

  // No usable session folder: creation gives a null handle.
  setenv("XDG_RUNTIME_DIR", "/proc/no-such-folder", 1);
  NamedMutex unusable(kName);
  EXPECT_TRUE(unusable.IsNull());
  EXPECT_EQ(unusable.Wait(), NamedMutex::kWaitFailed);
  EXPECT_EQ(unusable.Wait(), NamedMutex::kWaitFailed);
}

}  // namespace
}  // namespace qorlog::platform
