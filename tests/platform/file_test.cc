// Files: share modes between handles of one process and between processes,
// relaxing a share mode, the open dispositions and what an open refuses,
// reading, writing and seeking, and replacing a file's contents. The other
// processes are this program started again (spawn_child.h).
#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/replace_file.h"
#include "platform/text.h"
#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using qorlog::testing::ChildProcess;

constexpr unsigned kViewer = File::modeRead | File::shareDenyNone;
constexpr unsigned kAppender = File::modeReadWrite | File::shareDenyWrite;
constexpr unsigned kUnshared = File::modeRead | File::shareExclusive;
constexpr unsigned kExclusive = File::modeReadWrite | File::shareExclusive;

// args: a path and open flags. Holds the file open until released; ready
// with the error of the open.
QORLOG_CHILD_ROLE("hold-file", [](const std::vector<std::string>& args, const testing::ChildChannel& channel) {
  File f;
  DWORD err = 0;
  channel.Ready(
      f.Open(Utf8ToUtf16(args.at(0)), static_cast<unsigned>(std::stoul(args.at(1))), &err) ? 0 : static_cast<int>(err));
  channel.WaitForRelease();
  return 0;
});

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override { qorlog::testing::WriteFile(dir_.path() / "20260101.log", "0123456789ab"); }

  std::u16string Path(const std::filesystem::path& name) const { return Utf8ToUtf16((dir_.path() / name).string()); }
  std::string log() const { return (dir_.path() / "20260101.log").string(); }
  DWORD OpenError(unsigned flags) const {
    File f;
    DWORD err = 0;
    return f.Open(path_, flags, &err) ? 0 : err;
  }
  // The error of an open of the log in another process.
  DWORD OpenErrorElsewhere(unsigned flags) const {
    return static_cast<DWORD>(ChildProcess("hold-file", {log(), std::to_string(flags)}).WaitReady());
  }

  qorlog::testing::TempDir dir_;
  const std::u16string path_ = Path("20260101.log");
};

TEST_F(FileTest, ShareModesBetweenHandlesFollowTheWindowsRule) {
  const struct {
    unsigned first, second;
    DWORD expected;
  } rows[] = {
      {kViewer, kViewer, 0},
      {kViewer, kAppender, 0},                         // viewers allow writers
      {kAppender, kViewer, 0},                         // and writers readers
      {kViewer, kUnshared, kErrorSharingViolation},    // unshared needs the file alone
      {kAppender, kAppender, kErrorSharingViolation},  // a second writer is shut out
      // A new handle that denies writing cannot join while a writer is open.
      {kAppender, File::modeRead | File::shareDenyWrite, kErrorSharingViolation},
      {kExclusive, kViewer, kErrorSharingViolation},
      {kExclusive, kAppender, kErrorSharingViolation},
      {kViewer, kExclusive, kErrorSharingViolation},
      {File::modeRead | File::shareDenyRead, kViewer, kErrorSharingViolation},
      {File::modeRead | File::shareDenyRead, File::modeWrite | File::shareDenyNone, 0},
      {File::modeRead | File::shareDenyWrite, File::modeRead | File::shareDenyWrite, 0},
  };
  for (const auto& row : rows) {
    File first, second;
    ASSERT_TRUE(first.Open(path_, row.first));
    DWORD err = 0;
    EXPECT_EQ(second.Open(path_, row.second, &err) ? 0 : err, row.expected) << row.first << " " << row.second;
    EXPECT_EQ(second.IsOpen(), row.expected == 0);
  }
  File owner;
  ASSERT_TRUE(owner.Open(path_, kExclusive));
  EXPECT_EQ(DeleteFileNamed(path_), kErrorSharingViolation);
  owner.Close();
  EXPECT_EQ(OpenError(kUnshared), 0u);  // everything released with the handles
}

// A writer in another process holds the file as one in this process would:
// other readers come in, a second writer, a delete and renames stay out.
TEST_F(FileTest, ShareModesHoldBetweenProcesses) {
  qorlog::testing::WriteFile(dir_.path() / "new", "n");
  {
    ChildProcess appender("hold-file", {log(), std::to_string(kAppender)});
    ASSERT_EQ(appender.WaitReady(), 0);
    EXPECT_EQ(OpenError(kViewer), 0u);
    EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);
    EXPECT_EQ(DeleteFileNamed(path_), kErrorSharingViolation);
    EXPECT_EQ(MoveFileNamed(path_, Path("moved")), kErrorSharingViolation);
    EXPECT_EQ(ReplaceFileNamed(Path("new"), path_), kErrorSharingViolation);
    EXPECT_EQ(qorlog::testing::ReadFile(log()), "0123456789ab");
  }
  // The ended process's claims are gone.
  EXPECT_EQ(OpenError(kUnshared), 0u);
  EXPECT_EQ(DeleteFileNamed(path_), 0u);
}

TEST_F(FileTest, RelaxShareLetsInWhatItNoLongerDenies) {
  File owner;
  DWORD err = 0;
  EXPECT_FALSE(owner.RelaxShare(File::shareDenyNone, &err));
  EXPECT_EQ(err, kErrorInvalidHandle);
  ASSERT_TRUE(owner.Open(path_, kExclusive));
  owner.Seek(3, File::begin);
  EXPECT_EQ(OpenError(kViewer), kErrorSharingViolation);
  ASSERT_TRUE(owner.RelaxShare(File::shareDenyWrite));
  EXPECT_EQ(owner.GetPosition(), 3u);
  EXPECT_EQ(OpenError(kViewer), 0u);
  EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);
  EXPECT_EQ(OpenError(kUnshared), kErrorSharingViolation);
  EXPECT_EQ(OpenError(File::modeRead | File::shareDenyWrite), kErrorSharingViolation);  // a writer is open
  EXPECT_EQ(DeleteFileNamed(path_), kErrorSharingViolation);
  // The relaxed handle holds what a plain writer's open holds, also for
  // other processes.
  EXPECT_EQ(OpenErrorElsewhere(kViewer), 0u);
  EXPECT_EQ(OpenErrorElsewhere(kAppender), kErrorSharingViolation);

  // Only relaxing is allowed: denying more is refused and changes nothing.
  EXPECT_FALSE(owner.RelaxShare(File::shareExclusive, &err));
  EXPECT_EQ(err, kErrorInvalidParameter);
  EXPECT_FALSE(owner.RelaxShare(File::shareDenyRead, &err));
  EXPECT_EQ(err, kErrorInvalidParameter);
  EXPECT_TRUE(owner.IsOpen());
  EXPECT_EQ(OpenError(kViewer), 0u);
  ASSERT_TRUE(owner.RelaxShare(File::shareDenyNone));
  EXPECT_EQ(OpenError(File::modeReadWrite | File::shareDenyNone), 0u);  // now nothing is denied
  EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);              // but the owner still writes
  owner.Write("X", 1);
  owner.Close();
  EXPECT_EQ(qorlog::testing::ReadFile(log()), "012X456789ab");
  EXPECT_FALSE(owner.RelaxShare(File::shareDenyNone, &err));
  EXPECT_EQ(err, kErrorInvalidHandle);
  EXPECT_EQ(OpenError(kUnshared), 0u);
}

TEST_F(FileTest, CreateTruncatesOnlyWhenAllowedAndCreateNewNeverReplaces) {
  File f;
  DWORD err = 0;
  EXPECT_FALSE(f.Open(path_, File::modeCreateNew | kAppender, &err));
  EXPECT_EQ(err, kErrorFileExists);
  ASSERT_TRUE(f.Open(path_, File::modeCreate | File::modeNoTruncate | kAppender));
  EXPECT_EQ(f.GetLength(), 12u);
  // A create that may not open the file leaves it whole.
  File other;
  EXPECT_FALSE(other.Open(path_, File::modeCreate | kAppender, &err));
  EXPECT_EQ(err, kErrorSharingViolation);
  EXPECT_EQ(f.GetLength(), 12u);
  f.Close();
  ASSERT_TRUE(f.Open(path_, File::modeCreate | kAppender));
  EXPECT_EQ(f.GetLength(), 0u);
  ASSERT_TRUE(f.Open(Path("fresh.log"), File::modeCreateNew | kAppender));
  EXPECT_EQ(f.GetLength(), 0u);
}

TEST_F(FileTest, OpenRefusesMissingFilesAndFolders) {
  const struct {
    std::filesystem::path name;
    DWORD expected;
  } rows[] = {
      {"none.log", kErrorFileNotFound},
      {std::filesystem::path("no") / "x.log", kErrorPathNotFound},
      {".", kErrorAccessDenied},  // the folder itself
  };
  for (const auto& row : rows) {
    File f;
    DWORD err = 0;
    EXPECT_FALSE(f.Open(Path(row.name), kViewer, &err)) << row.name;
    EXPECT_EQ(err, row.expected) << row.name;
    EXPECT_EQ(GetLastError(), row.expected) << row.name;
  }
}

TEST_F(FileTest, ReadWriteSeekAndLength) {
  File f;
  ASSERT_TRUE(f.Open(path_, kExclusive));
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(f.SeekToEnd(), 12u);
  EXPECT_EQ(f.Read(buf, 8), 0u);  // end of file is a short read, not an error
  f.Write("XYZ", 3);
  EXPECT_EQ(f.GetPosition(), 15u);
  EXPECT_EQ(f.GetLength(), 15u);
  EXPECT_EQ(f.Seek(-3, File::current), 12u);
  EXPECT_EQ(f.Read(buf, sizeof buf), 3u);
  EXPECT_EQ(std::string(buf, 3), "XYZ");
  EXPECT_THROW(f.Seek(-100, File::current), FileException);
  f.SetLength(5);
  EXPECT_EQ(f.GetLength(), 5u);
  // Past 4 GiB: the length and the search's size halves.
  f.SetLength((std::uint64_t{1} << 32) + 7);
  EXPECT_EQ(f.SeekToEnd(), (std::uint64_t{1} << 32) + 7);
  f.Close();
  EXPECT_THROW(f.Read(buf, 1), FileException);
  std::vector<FindData> found;
  ASSERT_EQ(FindFiles(path_, &found), 0u);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].size_high, 1u);
  EXPECT_EQ(found[0].size_low, 7u);

  File viewer;
  ASSERT_TRUE(viewer.Open(path_, kViewer));
  try {
    viewer.Write("x", 1);
    ADD_FAILURE() << "a viewer wrote";
  } catch (const FileException& e) {
    EXPECT_EQ(e.os_error(), kErrorAccessDenied);
  }
}

TEST_F(FileTest, ReplacingContentsLeavesOneWholeFile) {
  const std::u16string cursor = Path("cursor.json");
  ASSERT_EQ(ReplaceFileContents(cursor, "first"), 0u);
  ASSERT_EQ(ReplaceFileContents(cursor, "second"), 0u);
  EXPECT_EQ(qorlog::testing::ReadFile(dir_.path() / "cursor.json"), "second");
#ifdef _WIN32
  {
    // Windows refuses to replace a file that a handle holds open (POSIX
    // renames over it): the old contents stay.
    File held;
    ASSERT_TRUE(held.Open(cursor, kViewer));
    EXPECT_NE(ReplaceFileContents(cursor, "third"), 0u);
  }
  EXPECT_EQ(qorlog::testing::ReadFile(dir_.path() / "cursor.json"), "second");
#endif
  EXPECT_EQ(ReplaceFileContents(Path(std::filesystem::path("missing") / "c.json"), "x"), kErrorPathNotFound);
  // No temporary file is left behind, after success or failure.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);
}

}  // namespace
}  // namespace qorlog::platform
