// The folder of the user's session objects (named mappings, events and the
// writers' mutex) found planted before the library makes it: a link, a
// folder of another user, a folder others may write to. Nothing is created
// or opened there or through it, and the callers are refused: access denied
// (5) for mappings and events, a null mutex (whose waits fail, so appends
// answer 0xFFFFFFFF).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/named_mutex.h"
#include "platform/named_object.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

namespace fs = std::filesystem;

TEST(SessionFolderTest, AFolderNotTheUsersOwnAloneIsNeverUsed) {
  const struct {
    const char* what;
    std::function<void(const fs::path& folder, const fs::path& elsewhere)> plant;
  } cases[] = {
      {"a link to a folder of the user's",
       [](const fs::path& folder, const fs::path& elsewhere) { fs::create_directory_symlink(elsewhere, folder); }},
      {"a link to nowhere",
       [](const fs::path& folder, const fs::path& elsewhere) { fs::create_directory_symlink(elsewhere / "x", folder); }},
      {"made by another user",
       [](const fs::path& folder, const fs::path&) {
         fs::create_directory(folder);
         fs::permissions(folder, fs::perms::owner_all);
         ASSERT_EQ(chown(folder.c_str(), getuid() + 1, getgid()), 0);
       }},
      {"open to others",
       [](const fs::path& folder, const fs::path&) {
         fs::create_directory(folder);
         fs::permissions(folder, fs::perms::all);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::IsolatedEnv env;
    const fs::path folder = env.root() / "run" / "qorlog";  // where the session's objects live
    const fs::path elsewhere = env.root() / "elsewhere";
    fs::create_directory(elsewhere, env.root() / "run");  // the user's, mode 0700
    c.plant(folder, elsewhere);

    FileMapping mapping;
    EXPECT_EQ(mapping.Create(u"viewer", 8), kErrorAccessDenied);
    EXPECT_EQ(mapping.OpenForRead(u"viewer", 8), kErrorAccessDenied);
    NamedEvent event;
    EXPECT_EQ(event.Create(u"tray"), kErrorAccessDenied);
    EXPECT_EQ(event.Open(u"tray"), kErrorAccessDenied);
    NamedMutex mutex(u"writers");
    EXPECT_TRUE(mutex.IsNull());
    EXPECT_EQ(mutex.Wait(), NamedMutex::kWaitFailed);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    if (!fs::is_symlink(folder)) {
      EXPECT_TRUE(fs::is_empty(folder));
    }
  }
}

}  // namespace
}  // namespace qorlog::platform
