// Folder: the walk below a base that follows no link, and the calls made
// through the folder it reached.
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/find_names.h"
#include "platform/folder.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

namespace fs = std::filesystem;
using qorlog::testing::TempDir;
using qorlog::testing::WriteFile;

std::u16string U(const fs::path& p) { return Utf8ToUtf16(p.string()); }

TEST(FolderTest, MakesMissingFoldersButNeverPassesALinkOrAFileBelowTheBase) {
  TempDir dir;
  const fs::path outside = dir.path() / "outside";
  const fs::path base = dir.path() / "base";
  struct Case {
    const char* what;
    const char* link;  // made as a link to `outside`, below the base
    const char* file;  // made as a file, below the base
    DWORD expected;
  } cases[] = {
      {"all missing", nullptr, nullptr, kErrorSuccess},
      {"a link at the top", "a", nullptr, kErrorStoppedOnLink},
      {"a link in the middle", "a/b", nullptr, kErrorStoppedOnLink},
      {"a link as the folder itself", "a/b/c", nullptr, kErrorStoppedOnLink},
      {"a file in the middle", nullptr, "a/b", kErrorStoppedOnLink},
  };
  // The base itself may be reached through a link. It is first reached
  // without one: once a base held a link, the process no longer tries the
  // whole path in one open.
  for (const bool base_through_link : {false, true}) {
    for (const auto& c : cases) {
      fs::remove_all(base);
      fs::remove_all(outside);
      fs::create_directories(base);
      fs::create_directories(outside / "b/c");
      if (c.link != nullptr) {
        fs::create_directories((base / c.link).parent_path());
        fs::create_directory_symlink(outside, base / c.link);
      }
      if (c.file != nullptr) {
        fs::create_directories((base / c.file).parent_path());
        WriteFile(base / c.file, "x");
      }
      const fs::path base_path = base_through_link ? dir.path() / "base-link" : base;
      if (base_through_link) fs::create_directory_symlink(base, base_path);
      const fs::path target = base_path / "a/b/c";
      Folder folder(U(target) + u"/");
      const DWORD opened = folder.Open(U(base_path).size());
      if (base_through_link) fs::remove(base_path);

      SCOPED_TRACE(std::string(c.what) + (base_through_link ? ", base through a link" : ""));
      EXPECT_EQ(opened, c.expected);
      EXPECT_EQ(folder.IsOpen(), c.expected == kErrorSuccess);
      EXPECT_EQ(folder.path(), U(target));
      if (c.expected == kErrorSuccess) {
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(base / "a/b/c")));
        // Made once, the folder is reached again.
        if (!base_through_link) {
          EXPECT_EQ(Folder(U(target)).Open(U(base_path).size()), kErrorSuccess);
        }
      }
      EXPECT_FALSE(fs::exists(outside / "b/c/c"));
      EXPECT_FALSE(fs::exists(outside / "c"));
    }
  }
}

// The search and the opens reach the folder that was walked, even when a
// link has taken its name since.
TEST(FolderTest, CallsGoThroughTheFolderReached) {
  TempDir dir;
  const fs::path real = dir.path() / "log";
  const fs::path moved = dir.path() / "moved";
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(real);
  fs::create_directories(outside);
  WriteFile(real / "2026010100.log", "inside");
  WriteFile(outside / "2026010199.log", "outside");
  Folder folder(U(real));
  ASSERT_EQ(folder.Open(U(dir.path()).size()), kErrorSuccess);
  fs::rename(real, moved);
  fs::create_directory_symlink(outside, real);

  for (int round = 0; round < 2; ++round) {  // a second listing starts over
    std::u16string greatest;
    ASSERT_EQ(FindGreatestFileName(folder, u"20260101??.log", &greatest), kErrorSuccess);
    EXPECT_EQ(greatest, u"2026010100.log");
    std::vector<std::u16string> names;
    ASSERT_EQ(FindFileNames(folder, u"*.log", &names), kErrorSuccess);
    EXPECT_EQ(names, std::vector<std::u16string>{u"2026010100.log"});
  }
  FindData entry;
  ASSERT_TRUE(QueryFileEntry(folder, u"2026010100.log", &entry));
  EXPECT_EQ(entry.size_low, 6u);
  EXPECT_FALSE(QueryFileEntry(folder, u"2026010199.log", &entry));

  File file;
  ASSERT_TRUE(file.OpenIn(folder, u"new.log", File::modeCreateNew | File::modeReadWrite));
  EXPECT_EQ(file.GetFilePath(), U(real / "new.log"));
  file.Close();
  EXPECT_TRUE(fs::exists(moved / "new.log"));
  EXPECT_FALSE(fs::exists(outside / "new.log"));
  DWORD error = 0;
  EXPECT_FALSE(file.OpenIn(folder, u"2026010199.log", File::modeRead, &error));
  EXPECT_EQ(error, kErrorFileNotFound);
}

// Opens of a folder may reuse the folder reached by an earlier open, and
// searches the names of an earlier search; they must still see every change
// another process made, however soon after the last search: to the names,
// to the folder (replaced under the same path), or to any folder above it
// (replaced, or made a link, which the walk must then refuse). The child also
// searches after its change, as a process that appends after a fork() would,
// so it must not take the parent's notice of it.
TEST(FolderTest, SearchesSeeEveryChangeThatAnotherProcessMade) {
  TempDir dir;
  const fs::path log = dir.path() / "p/log";
  fs::create_directories(log);
  auto search = [&] {
    Folder folder(U(log));
    std::vector<std::u16string> names;
    if (folder.Open(U(dir.path()).size()) != kErrorSuccess) return std::vector<std::string>{"(not open)"};
    FindFileNames(folder, u"*.log", &names);
    std::vector<std::string> out;
    for (const auto& n : names) out.push_back(Utf16ToUtf8(n));
    std::sort(out.begin(), out.end());
    return out;
  };
  auto on_disk = [&] {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(log)) {
      if (e.path().extension() == ".log") out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  // What the parent makes before its search, and what the child changes.
  struct Change {
    const char* before;
    std::function<void(const std::string&)> change;
  } changes[] = {
      {nullptr, [&](const std::string& i) { WriteFile(log / ("new" + i + ".log"), "x"); }},
      {"del", [&](const std::string& i) { fs::remove(log / ("del" + i + ".log")); }},
      {"mv", [&](const std::string& i) { fs::rename(log / ("mv" + i + ".log"), log / ("moved" + i + ".log")); }},
      {nullptr,
       [&](const std::string& i) {
         fs::rename(log, dir.path() / ("old" + i));
         fs::create_directories(log);
         WriteFile(log / ("fresh" + i + ".log"), "x");
       }},
      // The folder itself hears nothing when its parent is replaced.
      {nullptr,
       [&](const std::string& i) {
         fs::rename(log.parent_path(), dir.path() / ("oldp" + i));
         fs::create_directories(log);
         WriteFile(log / ("fresh" + i + ".log"), "x");
       }},
      // Another folder renamed over the emptied one.
      {nullptr,
       [&](const std::string& i) {
         for (const auto& e : fs::directory_iterator(log)) fs::remove(e.path());
         fs::create_directories(dir.path() / ("over" + i));
         WriteFile(dir.path() / ("over" + i) / ("over" + i + ".log"), "x");
         fs::rename(dir.path() / ("over" + i), log);
       }},
      {nullptr,
       [&](const std::string& i) {
         fs::rename(log.parent_path(), dir.path() / ("linked" + i));
         fs::create_directories(dir.path() / ("other" + i) / "log");
         fs::create_directory_symlink(dir.path() / ("other" + i), log.parent_path());
       }},
  };
  for (int round = 0; round < 250; ++round) {
    const Change& c = changes[round % std::size(changes)];
    const std::string i = std::to_string(round);
    if (c.before != nullptr) WriteFile(log / (c.before + i + ".log"), "x");
    ASSERT_EQ(search(), on_disk()) << "round " << round;
    const pid_t child = fork();
    if (child == 0) {
      try {
        c.change(i);
        search();
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (fs::is_symlink(log.parent_path())) {
      ASSERT_EQ(search(), std::vector<std::string>{"(not open)"}) << "round " << round;
      fs::remove(log.parent_path());
      fs::create_directories(log);
    }
    ASSERT_EQ(search(), on_disk()) << "round " << round;
  }
}

// A file system mounted over a folder above raises no change in the folders
// below it, which an earlier open may have kept: the next open must reach the
// mounted one. Needs the right to mount in a private mount namespace.
TEST(FolderTest, OpensReachAFolderMountedOverThePath) {
  TempDir dir;
  const fs::path log = dir.path() / "p/log";
  fs::create_directories(log);
  WriteFile(log / "old.log", "x");
  const pid_t child = fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    auto names = [&] {
      Folder folder(U(log));
      std::vector<std::u16string> out;
      if (folder.Open(U(dir.path()).size()) == kErrorSuccess) FindFileNames(folder, u"*.log", &out);
      return out;
    };
    if (names() != std::vector<std::u16string>{u"old.log"}) _exit(1);
    if (::mount("tmpfs", log.parent_path().c_str(), "tmpfs", 0, nullptr) != 0) _exit(77);
    fs::create_directories(log);
    WriteFile(log / "new.log", "x");
    _exit(names() == std::vector<std::u16string>{u"new.log"} ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no right to mount here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace qorlog::platform
