// The service helper bridge: loading and binding by name (an entry missing
// from the library leaves the others bound), the gate-then-touch rule,
// unloading (every entry reset), and the construction of the entry lists.
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/text.h"
#include "svchelper/service_helper_bridge.h"
#include "tests/support/temp_env.h"
#include "tests/svchelper/fake_helper.h"

namespace qorlog {
namespace {

using ::testing::ElementsAre;
using qorlog::testing::FakeHelperEnv;
using qorlog::testing::TempDir;

std::u16string Wide(const std::filesystem::path& p) { return platform::Utf8ToUtf16(p.string()); }

// Every entry of the bridge, in list order, with whether it is bound.
std::vector<const void*> BoundAddresses(const CServiceHelperBridge& b) {
  return {reinterpret_cast<const void*>(b.dll_ver_.get()), reinterpret_cast<const void*>(b.is_user_mode_.get()),
          reinterpret_cast<const void*>(b.is_installed_.get()),
          reinterpret_cast<const void*>(b.touch_sub_path_.get()),
          reinterpret_cast<const void*>(b.touch_sub_file_.get()),
          reinterpret_cast<const void*>(b.reg_set_value_int_.get())};
}

class BridgeTest : public ::testing::Test {
 protected:
  TempDir dir_;
  FakeHelperEnv helper_{dir_.path() / "calls.txt"};
};

TEST_F(BridgeTest, LoadsBindsAllTwentySixAndUnloads) {
  CServiceHelperBridge bridge;
  EXPECT_EQ(bridge.EntryCount(), 26u);
  EXPECT_FALSE(bridge.IsLoaded());
  const std::u16string path = Wide(qorlog::testing::FakeHelperFile());
  EXPECT_EQ(bridge.Load(path.c_str(), kLoadWithAlteredSearchPath), 1);
  EXPECT_TRUE(bridge.IsLoaded());
  for (const void* p : BoundAddresses(bridge)) EXPECT_NE(p, nullptr);
  // A second load keeps the module it holds.
  EXPECT_EQ(bridge.Load(u"/no/such/library.so", kLoadWithAlteredSearchPath), 1);

  EXPECT_EQ(bridge.Unload(), 1);
  EXPECT_FALSE(bridge.IsLoaded());
  for (const void* p : BoundAddresses(bridge)) EXPECT_EQ(p, nullptr);
  EXPECT_THAT(helper_.Calls(), ElementsAre("load", "unload"));
  EXPECT_EQ(bridge.Unload(), 1);  // nothing held: no effect

  helper_.ClearCalls();
  {
    CServiceHelperBridge held;
    ASSERT_EQ(held.Load(path.c_str(), 0), 1);
  }
  EXPECT_THAT(helper_.Calls(), ElementsAre("load", "unload"));  // destruction frees it
}

TEST_F(BridgeTest, RefusesMissingAbsentAndOverlongPaths) {
  CServiceHelperBridge bridge;
  EXPECT_EQ(bridge.Load(nullptr, 0), 0);
  EXPECT_EQ(bridge.Load(u"", 0), 0);
  EXPECT_EQ(bridge.Load(u"/no/such/qor2scd.so", 0), 0);
  EXPECT_FALSE(bridge.IsLoaded());

  // A real helper behind a path of 260 characters is not even tried.
  std::filesystem::path deep = dir_.path();
  while (deep.string().size() < 230) deep /= "aaaaaaaaaaaaaaaaaaaa";
  std::filesystem::create_directories(deep);
  const std::string suffix = qorlog::testing::FakeHelperFile().extension().string();
  const std::string name = std::string(260 - deep.string().size() - 1 - suffix.size(), 'x') + suffix;
  std::filesystem::copy_file(qorlog::testing::FakeHelperFile(), deep / name);
  const std::u16string long_path = Wide(deep / name);
  ASSERT_EQ(long_path.size(), 260u);
  EXPECT_EQ(bridge.Load(long_path.c_str(), 0), 0);
  EXPECT_FALSE(bridge.IsLoaded());
  EXPECT_TRUE(helper_.Calls().empty());
}

TEST_F(BridgeTest, GatesDecideWhetherTheTouchHappens) {
  CServiceHelperBridge bridge;
  bridge.TouchSubPath(u"/logs");  // nothing loaded: nothing called
  const std::u16string path = Wide(qorlog::testing::FakeHelperFile());
  ASSERT_EQ(bridge.Load(path.c_str(), kLoadWithAlteredSearchPath), 1);
  helper_.ClearCalls();

  bridge.TouchSubPath(u"/logs/firewall");
  bridge.TouchSubFile(u"/logs/firewall/2026010100.log");
  EXPECT_THAT(helper_.Calls(), ElementsAre("IsUserMode", "IsInstalled", "TouchSubPathW /logs/firewall", "IsUserMode",
                                           "IsInstalled", "TouchSubFileW /logs/firewall/2026010100.log"));

  // A gate that says no stops the calls there.
  helper_.ClearCalls();
  helper_.SetGates(true, false);
  bridge.TouchSubFile(u"/x.log");
  helper_.SetGates(false, true);
  bridge.TouchSubFile(u"/x.log");
  EXPECT_THAT(helper_.Calls(), ElementsAre("IsUserMode", "IsInstalled", "IsUserMode"));
}

TEST_F(BridgeTest, HelperWithoutAGateStaysLoadedButTouchesNothing) {
  CServiceHelperBridge bridge;
  const std::u16string path = Wide(qorlog::testing::PartialFakeHelperFile());
  EXPECT_EQ(bridge.Load(path.c_str(), kLoadWithAlteredSearchPath), 0);  // not every entry bound
  EXPECT_TRUE(bridge.IsLoaded());
  EXPECT_EQ(bridge.is_installed_.get(), nullptr);
  EXPECT_NE(bridge.touch_sub_file_.get(), nullptr);
  bridge.TouchSubFile(u"/x.log");
  EXPECT_THAT(helper_.Calls(), ElementsAre("load", "IsUserMode"));
}

TEST(DllBridgeTest, ConcurrentConstructionsKeepTheirOwnEntries) {
  std::vector<std::thread> threads;
  std::vector<std::size_t> counts(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&counts, t] {
      std::size_t total = 0;
      for (int i = 0; i < 50; ++i) total += CServiceHelperBridge().EntryCount();
      counts[t] = total;
    });
  }
  for (auto& th : threads) th.join();
  for (std::size_t c : counts) EXPECT_EQ(c, 26u * 50);
}

}  // namespace
}  // namespace qorlog
