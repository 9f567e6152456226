// The named mutex: exclusion between processes, ownership per thread,
// abandonment by a holder that dies, and the null handle. The second
// processes are this program started again (tests/support/spawn_child.h), on
// every system.
#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

constexpr char16_t kName[] = u"QorLog-test-mutex";

class NamedMutexTest : public ::testing::Test {
 protected:
  qorlog::testing::IsolatedEnv env_;
};

// Adds 300 to the number in the file args[0], one read and rewrite at a time
// under the mutex.
QORLOG_CHILD_ROLE("count-under-mutex", [](const std::vector<std::string>& args, const testing::ChildChannel&) {
  NamedMutex m(kName);
  for (int i = 0; i < 300; ++i) {
    if (m.Wait() != NamedMutex::kWaitObject0) return 2;
    const int value = std::atoi(testing::ReadFile(args.at(0)).c_str());
    testing::WriteFile(args.at(0), std::to_string(value + 1));
    m.Release();
  }
  return 0;
});

// Takes the mutex and keeps it until released; then ends with its handle
// closed ("close") or as a killed process ends, with nothing closed or
// released by the program ("die").
QORLOG_CHILD_ROLE("hold-mutex", [](const std::vector<std::string>& args, const testing::ChildChannel& channel) {
  NamedMutex held(kName);
  channel.Ready(held.Wait() == NamedMutex::kWaitObject0 ? 0 : 1);
  channel.WaitForRelease();
  if (args.at(0) == "die") std::_Exit(0);
  return 0;
});

TEST_F(NamedMutexTest, ProcessesExcludeEachOther) {
  // A lost update would show as a smaller total.
  const auto counter = env_.root() / "counter";
  qorlog::testing::WriteFile(counter, "0");
  std::vector<std::unique_ptr<testing::ChildProcess>> children;
  for (int c = 0; c < 4; ++c) {
    children.push_back(std::make_unique<testing::ChildProcess>("count-under-mutex", std::vector{counter.string()}));
  }
  for (auto& child : children) EXPECT_EQ(child->Release(), 0);
  EXPECT_EQ(qorlog::testing::ReadFile(counter), "1200");
}

TEST_F(NamedMutexTest, HolderThatDiesCostsTheNextWaiterOne128) {
  NamedMutex m(kName);
  for (const char* end : {"close", "die"}) {
    testing::ChildProcess child("hold-mutex", {end});
    ASSERT_EQ(child.WaitReady(), 0) << end;
    EXPECT_EQ(child.Release(), 0) << end;
    // The process ended while owning the mutex.
    EXPECT_EQ(m.Wait(), NamedMutex::kWaitAbandoned) << end;
    EXPECT_TRUE(m.Release());
    EXPECT_EQ(m.Wait(), NamedMutex::kWaitObject0) << end;  // told once, then normal
    EXPECT_TRUE(m.Release());
  }
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
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(got);
  EXPECT_TRUE(m.Release());
  waiter.join();
  EXPECT_TRUE(got);
  m.Close();
  EXPECT_TRUE(m.IsNull());
}

TEST_F(NamedMutexTest, NullHandleFailsEveryWait) {
  NamedMutex null_handle;
  EXPECT_TRUE(null_handle.IsNull());
  EXPECT_EQ(null_handle.Wait(), NamedMutex::kWaitFailed);
  EXPECT_FALSE(null_handle.Release());
}

}  // namespace
}  // namespace qorlog::platform
