// Named mappings and events: found by name only while a live process holds
// them, in the session scope or machine-wide for "Global\" names. The holders
// in other processes are this program started again (spawn_child.h).
#include "platform/named_object.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

std::uint64_t ReadHandle(std::u16string_view name) {
  FileMapping m;
  if (m.OpenForRead(name, 8) != 0) return 0;
  std::uint64_t v;
  std::memcpy(&v, m.data(), 8);
  return v;
}

// Makes the mapping args[0] (holding a number) and the event args[0] +
// ".event"; once released, ends with its handles closed ("close") or as a
// killed process ends ("die").
QORLOG_CHILD_ROLE("hold-objects", [](const std::vector<std::string>& args, const testing::ChildChannel& channel) {
  const std::u16string name = Utf8ToUtf16(args.at(0));
  FileMapping m;
  NamedEvent e;
  if (m.Create(name, 8) != 0 || m.already_existed() || e.Create(name + u".event") != 0) return 1;
  const std::uint64_t v = 0x1122334455667788;
  std::memcpy(m.data(), &v, 8);
  channel.Ready(0);
  channel.WaitForRelease();
  if (args.at(1) == "die") std::_Exit(0);
  return 0;
});

class NamedObjectTest : public ::testing::Test {
 protected:
  qorlog::testing::IsolatedEnv env_;
};

TEST_F(NamedObjectTest, ObjectsLiveWithTheirHoldersAlsoACrashedOne) {
  for (const char* end : {"close", "die"}) {
    {
      testing::ChildProcess child("hold-objects", {"viewer", end});
      ASSERT_EQ(child.WaitReady(), 0) << end;
      EXPECT_EQ(ReadHandle(u"viewer"), 0x1122334455667788u) << end;
      FileMapping second;
      ASSERT_EQ(second.Create(u"viewer", 8), 0u);
      EXPECT_TRUE(second.already_existed());
      second.Close();  // the child holds the mapping alone again
      NamedEvent event;
      EXPECT_EQ(event.Open(u"viewer.event"), 0u) << end;
      // Another name, or a mapping's name asked for as an event, is another object.
      EXPECT_EQ(event.Open(u"viewer.other"), kErrorFileNotFound);
#ifndef _WIN32
      EXPECT_EQ(event.Open(u"viewer"), kErrorFileNotFound);  // Windows shares one name space
#endif
      EXPECT_EQ(child.Release(), 0) << end;
    }
#ifndef _WIN32
    // A holder that died leaves its file behind, held by nobody.
    EXPECT_EQ(std::filesystem::exists(env_.root() / "run/qorlog/viewer.map"), std::string(end) == "die");
#endif
    // The holder ended: nothing is left to find, and a new creator starts clean.
    EXPECT_EQ(ReadHandle(u"viewer"), 0u) << end;
    NamedEvent event;
    EXPECT_EQ(event.Open(u"viewer.event"), kErrorFileNotFound) << end;
    FileMapping fresh;
    ASSERT_EQ(fresh.Create(u"viewer", 8), 0u);
    EXPECT_FALSE(fresh.already_existed()) << end;
    std::uint64_t v = 1;
    std::memcpy(&v, fresh.data(), 8);
    EXPECT_EQ(v, 0u) << end;
  }
}

// Events and mappings share the holding rule; events show it here.
TEST_F(NamedObjectTest, LastHolderRemovesTheObject) {
  NamedEvent d, e, f;
  ASSERT_EQ(d.Create(u"QorLogTest.Event"), 0u);
  ASSERT_EQ(e.Open(u"QorLogTest.Event"), 0u);
  d.Close();
  EXPECT_EQ(f.Open(u"QorLogTest.Event"), 0u);  // e still holds it
  e.Close();
  f.Close();
  EXPECT_EQ(f.Open(u"QorLogTest.Event"), kErrorFileNotFound);
#ifndef _WIN32
  EXPECT_FALSE(std::filesystem::exists(env_.root() / "run/qorlog/QorLogTest.Event.event"));
#endif
}

TEST_F(NamedObjectTest, GlobalNamesLiveMachineWide) {
#ifndef _WIN32
  // The machine-wide scope of this test only.
  const auto global = env_.root() / "global";
  setenv("QORLOG_GLOBAL_DIR", global.c_str(), 1);
#endif
  NamedEvent event, probe;
  ASSERT_EQ(event.Create(u"Global\\QorLogTest.Tray"), 0u);
  EXPECT_FALSE(event.already_existed());
  EXPECT_EQ(probe.Open(u"QorLogTest.Tray"), kErrorFileNotFound);  // the session scope is another place
  EXPECT_EQ(probe.Open(u"Global\\QorLogTest.Tray"), 0u);
  NamedEvent again;
  ASSERT_EQ(again.Create(u"Global\\QorLogTest.Tray"), 0u);
  EXPECT_TRUE(again.already_existed());
#ifndef _WIN32
  EXPECT_TRUE(std::filesystem::exists(global / "QorLogTest.Tray.event"));
  unsetenv("QORLOG_GLOBAL_DIR");
#endif
  again.Close();
  event.Close();
  probe.Close();
  EXPECT_EQ(probe.Open(u"Global\\QorLogTest.Tray"), kErrorFileNotFound);
}

TEST_F(NamedObjectTest, NamesThatCannotBeObjectsAreRefused) {
#ifdef _WIN32
  const std::u16string_view names[] = {u"", u"Global\\", u"Local\\", u"NoSuchScope\\x"};
#else
  const std::u16string_view names[] = {u"", u"Global\\", u"a/b", u".."};
#endif
  for (std::u16string_view name : names) {
    FileMapping m;
    NamedEvent e;
    EXPECT_EQ(m.Create(name, 8), kErrorInvalidName) << Utf16ToUtf8(name);
    EXPECT_EQ(e.Create(name), kErrorInvalidName) << Utf16ToUtf8(name);
  }
}

}  // namespace
}  // namespace qorlog::platform
