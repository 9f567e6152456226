// Named mappings and events: found by name only while a live process holds
// them, in the session scope or machine-wide for "Global\" names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/errors.h"
#include "platform/named_object.h"
#include "tests/platform/child_process.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

// Points the machine-wide scope at a temporary folder for one test.
class GlobalScope {
 public:
  GlobalScope() { setenv("QORLOG_GLOBAL_DIR", (dir_.path() / "global").c_str(), 1); }
  ~GlobalScope() { unsetenv("QORLOG_GLOBAL_DIR"); }
  std::filesystem::path folder() const { return dir_.path() / "global"; }

 private:
  testing::TempDir dir_;
};

std::uint64_t ReadHandle(std::u16string_view name) {
  FileMapping m;
  if (m.OpenForRead(name, 8) != 0) return 0;
  std::uint64_t v;
  std::memcpy(&v, m.data(), 8);
  return v;
}

TEST(NamedObjectTest, MappingLivesWithItsHolders) {
  testing::IsolatedEnv env;
  {
    testing::HeldChild child([] {
      static FileMapping m;  // held until the child is released
      if (m.Create(u"viewer", 8) != 0 || m.already_existed()) return 1;
      const std::uint64_t v = 0x1122334455667788;
      std::memcpy(m.data(), &v, 8);
      return 0;
    });
    ASSERT_EQ(child.setup_result(), 0);
    EXPECT_EQ(ReadHandle(u"viewer"), 0x1122334455667788u);
    FileMapping second;
    ASSERT_EQ(second.Create(u"viewer", 8), 0u);
    EXPECT_TRUE(second.already_existed());
    second.Close();
    // A mapping of another name or kind is a different object.
    NamedEvent event;
    EXPECT_EQ(event.Open(u"viewer"), kErrorFileNotFound);
    FileMapping other;
    EXPECT_EQ(other.OpenForRead(u"Viewer2", 8), kErrorFileNotFound);
  }
  // The child ended: nothing is left to find, and a new creator starts clean.
  EXPECT_EQ(ReadHandle(u"viewer"), 0u);
  FileMapping fresh;
  ASSERT_EQ(fresh.Create(u"viewer", 8), 0u);
  EXPECT_FALSE(fresh.already_existed());
  std::uint64_t v = 1;
  std::memcpy(&v, fresh.data(), 8);
  EXPECT_EQ(v, 0u);
}

TEST(NamedObjectTest, CrashedOwnerLeavesNothingToFind) {
  testing::IsolatedEnv env;
  const pid_t pid = fork();
  if (pid == 0) {
    FileMapping m;
    NamedEvent e;
    if (m.Create(u"crash", 8) != 0 || e.Create(u"crash") != 0) _exit(1);
    std::memset(m.data(), 0x5A, 8);
    raise(SIGKILL);  // no destructor runs
  }
  int status;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  // The files are still there, but nobody holds them.
  EXPECT_TRUE(std::filesystem::exists(env.root() / "run/qorlog/crash.map"));
  FileMapping m;
  EXPECT_EQ(m.OpenForRead(u"crash", 8), kErrorFileNotFound);
  NamedEvent e;
  EXPECT_EQ(e.Open(u"crash"), kErrorFileNotFound);
}

TEST(NamedObjectTest, LastHolderRemovesTheObject) {
  testing::IsolatedEnv env;
  const auto file = env.root() / "run/qorlog/shared.event";
  NamedEvent a, b;
  ASSERT_EQ(a.Create(u"shared"), 0u);
  ASSERT_EQ(b.Open(u"shared"), 0u);
  a.Close();
  NamedEvent c;
  EXPECT_EQ(c.Open(u"shared"), 0u);  // b still holds it
  b.Close();
  c.Close();
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(c.Open(u"shared"), kErrorFileNotFound);
}

TEST(NamedObjectTest, GlobalNamesLiveMachineWide) {
  testing::IsolatedEnv env;
  GlobalScope global;
  NamedEvent event;
  ASSERT_EQ(event.Create(u"Global\\tray"), 0u);
  EXPECT_TRUE(std::filesystem::exists(global.folder() / "tray.event"));
  NamedEvent probe;
  EXPECT_EQ(probe.Open(u"tray"), kErrorFileNotFound);  // the session scope is another place
  EXPECT_EQ(probe.Open(u"Global\\tray"), 0u);
  FileMapping m;
  EXPECT_EQ(m.Create(u"Global\\", 8), kErrorInvalidName);
  EXPECT_EQ(m.Create(u"a/b", 8), kErrorInvalidName);
  EXPECT_EQ(m.Create(u"..", 8), kErrorInvalidName);
}

}  // namespace
}  // namespace qorlog::platform
