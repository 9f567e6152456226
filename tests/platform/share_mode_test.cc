// Share modes between handles of one process and between processes, and the
// delete/rename rules that depend on them.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "tests/platform/child_process.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using qorlog::testing::HeldChild;
using qorlog::testing::TempDir;

constexpr unsigned kViewer = File::modeRead | File::shareDenyNone;
constexpr unsigned kAppender = File::modeReadWrite | File::shareDenyWrite;
constexpr unsigned kUnshared = File::modeRead | File::shareExclusive;

class ShareModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = Utf8ToUtf16((dir_.path() / "20260101.log").string());
    qorlog::testing::WriteFile(dir_.path() / "20260101.log", "0123456789ab");
  }
  DWORD OpenError(unsigned flags) {
    File f;
    DWORD err = 0;
    return f.Open(path_, flags, &err) ? 0 : err;
  }
  TempDir dir_;
  std::u16string path_;
};

TEST_F(ShareModeTest, HandlesOfOneProcessFollowTheWindowsRule) {
  File viewer;
  ASSERT_TRUE(viewer.Open(path_, kViewer));
  EXPECT_EQ(OpenError(kUnshared), kErrorSharingViolation);  // unshared needs the file alone
  EXPECT_EQ(OpenError(kAppender), 0u);                       // viewers allow writers
  EXPECT_EQ(OpenError(kViewer), 0u);

  File appender;
  ASSERT_TRUE(appender.Open(path_, kAppender));
  EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);  // a second writer is shut out
  EXPECT_EQ(OpenError(kViewer), 0u);                         // readers still get in
  // A new handle that denies writing cannot join while a writer is open.
  EXPECT_EQ(OpenError(File::modeRead | File::shareDenyWrite), kErrorSharingViolation);

  appender.Close();
  viewer.Close();
  EXPECT_EQ(OpenError(kUnshared), 0u);  // everything released with the handles
}

TEST_F(ShareModeTest, ExclusiveHandleShutsOutEveryone) {
  File owner;
  ASSERT_TRUE(owner.Open(path_, File::modeReadWrite | File::shareExclusive));
  EXPECT_EQ(OpenError(kViewer), kErrorSharingViolation);
  EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);
  EXPECT_EQ(DeleteFileNamed(path_), kErrorSharingViolation);
}

TEST_F(ShareModeTest, RulesHoldAcrossProcesses) {
  {
    HeldChild viewer([&] {
      static File f;  // lives until the child exits
      return f.Open(path_, kViewer) ? 0 : 1;
    });
    ASSERT_EQ(viewer.setup_result(), 0);
    EXPECT_EQ(OpenError(kUnshared), kErrorSharingViolation);
    EXPECT_EQ(OpenError(kAppender), 0u);
    EXPECT_EQ(DeleteFileNamed(path_), kErrorSharingViolation);
    EXPECT_TRUE(PathExists(path_));
    EXPECT_EQ(viewer.Release(), 0);
  }
  {
    HeldChild appender([&] {
      static File f;
      return f.Open(path_, kAppender) ? 0 : 1;
    });
    ASSERT_EQ(appender.setup_result(), 0);
    EXPECT_EQ(OpenError(kViewer), 0u);
    EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);
    const std::u16string aside = path_ + u".damaged";
    EXPECT_EQ(MoveFileNamed(path_, aside), kErrorSharingViolation);
    appender.Release();
  }
  // The dead children's claims are gone.
  EXPECT_EQ(OpenError(kUnshared), 0u);
  EXPECT_EQ(DeleteFileNamed(path_), 0u);
  EXPECT_FALSE(PathExists(path_));
}

TEST_F(ShareModeTest, RelaxingAnExclusiveWriterLetsViewersInButNoOtherWriter) {
  File owner;
  ASSERT_TRUE(owner.Open(path_, File::modeReadWrite | File::shareExclusive));
  EXPECT_EQ(OpenError(kViewer), kErrorSharingViolation);
  ASSERT_TRUE(owner.RelaxShare(File::shareDenyWrite));
  EXPECT_EQ(OpenError(kViewer), 0u);
  EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);
  EXPECT_EQ(OpenError(kUnshared), kErrorSharingViolation);
  EXPECT_EQ(OpenError(File::modeRead | File::shareDenyWrite), kErrorSharingViolation);  // a writer is open
  EXPECT_EQ(DeleteFileNamed(path_), kErrorSharingViolation);

  // The relaxed handle holds what a plain writer's open holds, also for
  // other processes.
  {
    HeldChild probe([&] {
      File viewer, writer;
      DWORD err = 0;
      if (!viewer.Open(path_, kViewer)) return 1;
      if (writer.Open(path_, kAppender, &err) || err != kErrorSharingViolation) return 2;
      return 0;
    });
    EXPECT_EQ(probe.setup_result(), 0);
  }

  // Only relaxing is allowed: denying more, or a closed file, is refused and
  // changes nothing.
  DWORD err = 0;
  EXPECT_FALSE(owner.RelaxShare(File::shareExclusive, &err));
  EXPECT_EQ(err, kErrorInvalidParameter);
  EXPECT_FALSE(owner.RelaxShare(File::shareDenyRead, &err));
  EXPECT_EQ(err, kErrorInvalidParameter);
  EXPECT_EQ(OpenError(kViewer), 0u);
  ASSERT_TRUE(owner.RelaxShare(File::shareDenyNone));
  EXPECT_EQ(OpenError(File::modeReadWrite | File::shareDenyNone), 0u);  // now nothing is denied
  EXPECT_EQ(OpenError(kAppender), kErrorSharingViolation);  // but the owner still writes
  owner.Close();
  EXPECT_FALSE(owner.RelaxShare(File::shareDenyNone, &err));
  EXPECT_EQ(err, kErrorInvalidHandle);
  EXPECT_EQ(OpenError(kUnshared), 0u);
}

TEST_F(ShareModeTest, CreateDoesNotTruncateAFileItMayNotOpen) {
  File appender;
  ASSERT_TRUE(appender.Open(path_, kAppender));
  File other;
  DWORD err = 0;
  EXPECT_FALSE(other.Open(path_, File::modeReadWrite | File::modeCreate | File::shareDenyWrite, &err));
  EXPECT_EQ(err, kErrorSharingViolation);
  EXPECT_EQ(appender.GetLength(), 12u);
}

TEST_F(ShareModeTest, OpenRefusesSymbolicLinksAndFolders) {
  const auto link = dir_.path() / "link.log";
  ASSERT_EQ(symlink((dir_.path() / "20260101.log").c_str(), link.c_str()), 0);
  EXPECT_EQ(OpenError(kViewer), 0u);
  File f;
  DWORD err = 0;
  EXPECT_FALSE(f.Open(Utf8ToUtf16(link.string()), kViewer, &err));
  EXPECT_EQ(err, kErrorAccessDenied);
  EXPECT_FALSE(f.Open(Utf8ToUtf16(dir_.str()), kViewer, &err));
  EXPECT_EQ(err, kErrorAccessDenied);
  EXPECT_FALSE(f.Open(Utf8ToUtf16((dir_.path() / "none.log").string()), kViewer, &err));
  EXPECT_EQ(err, kErrorFileNotFound);
  EXPECT_FALSE(f.Open(Utf8ToUtf16((dir_.path() / "no" / "x.log").string()), kViewer, &err));
  EXPECT_EQ(err, kErrorPathNotFound);
}

TEST_F(ShareModeTest, ReadWriteSeekAndEndOfFile) {
  File f;
  ASSERT_TRUE(f.Open(path_, File::modeReadWrite | File::shareExclusive));
  char buf[8] = {};
  EXPECT_EQ(f.Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(f.SeekToEnd(), 12u);
  EXPECT_EQ(f.Read(buf, 8), 0u);  // end of file is a short read, not an error
  f.Write("XYZ", 3);
  EXPECT_EQ(f.GetLength(), 15u);
  f.Seek(-3, File::current);
  EXPECT_EQ(f.Read(buf, 8), 3u);
  EXPECT_THROW(f.Seek(-100, File::current), FileException);
  f.SetLength(5);
  EXPECT_EQ(f.GetLength(), 5u);
  f.Close();
  EXPECT_THROW(f.Read(buf, 1), FileException);
}

TEST_F(ShareModeTest, CreateTruncatesOnlyWithoutNoTruncateAndCreateNewNeverReplaces) {
  File f;
  DWORD err = 0;
  EXPECT_FALSE(f.Open(path_, File::modeReadWrite | File::modeCreateNew | File::shareDenyWrite, &err));
  EXPECT_EQ(err, kErrorFileExists);
  ASSERT_TRUE(f.Open(path_, File::modeReadWrite | File::modeCreate | File::modeNoTruncate | File::shareDenyWrite));
  EXPECT_EQ(f.GetLength(), 12u);
  f.Close();
  ASSERT_TRUE(f.Open(path_, File::modeReadWrite | File::modeCreate | File::shareDenyWrite));
  EXPECT_EQ(f.GetLength(), 0u);
  f.Close();
  std::filesystem::remove(Utf16ToUtf8(path_));
  ASSERT_TRUE(f.Open(path_, File::modeReadWrite | File::modeCreateNew | File::shareDenyWrite));
  EXPECT_EQ(f.GetLength(), 0u);
}

}  // namespace
}  // namespace qorlog::platform
