// What only the POSIX backend has: the one errno table, the files behind
// named mutexes, the session folder, the refusal of symbolic links, the
// probe beside a guard page, and descriptors that sending must not leak.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/posix/errno_table.h"
#include "platform/posix/session_paths.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/support/process_census.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_receiver.h"

namespace qorlog::platform::posix {
namespace {

TEST(ErrnoTableTest, MapsErrnoToTheInterfaceCodes) {
  testing::TempDir dir;
  const std::string missing_parent = dir.str() + "/none/file";
  const std::string missing_file = dir.str() + "/file";
  struct Case {
    int err;
    std::string path;
    ObjectKind kind;
    DWORD code;
  } cases[] = {
      {0, "", ObjectKind::kFile, kErrorSuccess},
      {ENOENT, missing_file, ObjectKind::kFile, kErrorFileNotFound},
      {ENOENT, missing_parent, ObjectKind::kFile, kErrorPathNotFound},
      {ENOENT, "", ObjectKind::kFile, kErrorFileNotFound},
      {ENOTDIR, "", ObjectKind::kFile, kErrorPathNotFound},
      {EACCES, "", ObjectKind::kFile, kErrorAccessDenied},
      {EPERM, "", ObjectKind::kFile, kErrorAccessDenied},
      {ELOOP, "", ObjectKind::kFile, kErrorAccessDenied},
      {EEXIST, "", ObjectKind::kFolder, kErrorAlreadyExists},
      {EEXIST, "", ObjectKind::kFile, kErrorFileExists},
      {ENOSPC, "", ObjectKind::kFile, kErrorDiskFull},
      {EFBIG, "", ObjectKind::kFile, kErrorDiskFull},
      {EAGAIN, "", ObjectKind::kFile, kErrorSharingViolation},  // a lock another handle holds
      {EMFILE, "", ObjectKind::kFile, kErrorTooManyOpenFiles},
      {EXDEV, "", ObjectKind::kFile, kErrorGenFailure},  // anything else
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorFromErrno(c.err, c.path, c.kind), c.code) << "errno " << c.err << " " << c.path;
  }
}

// An injected fault takes the path of a real one: its errno maps back to
// the chosen code.
TEST(ErrnoTableTest, InjectedCodesRoundTrip) {
  for (DWORD code : {kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied, kErrorSharingViolation,
                     kErrorDiskFull, kErrorFileExists, kErrorInvalidHandle, kErrorGenFailure}) {
    EXPECT_EQ(ErrorFromErrno(ErrnoForError(code)), code) << code;
  }
  EXPECT_EQ(ErrorFromErrno(ErrnoForError(kErrorAlreadyExists), "", ObjectKind::kFolder), kErrorAlreadyExists);
  EXPECT_EQ(ErrnoForError(1627), EIO);  // no errno gives it
}

TEST(SessionPathsTest, ObjectsLiveInAPrivateSessionFolder) {
  testing::IsolatedEnv env;
  const std::string folder = SessionFolder();
  EXPECT_EQ(folder, (env.root() / "run" / "qorlog").string());
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(MutexFilePath(u"a/b c"), folder + "/mutex-a%002Fb%0020c");
  EXPECT_EQ(NamedObjectPath(u"Local\\viewer", "map"), folder + "/viewer.map");
  EXPECT_EQ(NamedObjectPath(u"a/b", "map"), "");
  // A folder that others may write to is refused.
  ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  EXPECT_EQ(SessionFolder(), "");
  EXPECT_EQ(MutexFilePath(u"x"), "");
}

TEST(PosixFileTest, OpenRefusesASymbolicLink) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "20260101.log", "x");
  ASSERT_EQ(symlink((dir.path() / "20260101.log").c_str(), (dir.path() / "link.log").c_str()), 0);
  File f;
  DWORD err = 0;
  EXPECT_TRUE(f.Open(Utf8ToUtf16((dir.path() / "20260101.log").string()), File::modeRead | File::shareDenyNone));
  EXPECT_FALSE(f.Open(Utf8ToUtf16((dir.path() / "link.log").string()), File::modeRead | File::shareDenyNone, &err));
  EXPECT_EQ(err, kErrorAccessDenied);
}

TEST(PosixProbeTest, TellsAMappedPageFromTheGuardPageBehindIt) {
  const long page = sysconf(_SC_PAGESIZE);
  void* mem = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  auto* bytes = static_cast<char*>(mem);
  ASSERT_EQ(mprotect(bytes + page, page, PROT_NONE), 0);
  EXPECT_FALSE(IsBadReadPtr(bytes, page));
  EXPECT_TRUE(IsBadReadPtr(bytes + page - 4, 12));  // runs into the guard page
  EXPECT_TRUE(IsBadReadPtr(bytes + page, 1));
  munmap(mem, 2 * page);
}

TEST(PosixWindowTest, SendingLeaksNoDescriptor) {
  testing::IsolatedEnv env;
  testing::Receiver receiver(u"QorLogTest.Leak");
  const testing::TestMessages m;
  ASSERT_NE(receiver.window(), 0u);
  const int before = testing::OpenHandleCount();
  for (int i = 0; i < 20; ++i) {
    CopyDataStruct cds{1, 3, "abc"};
    SendMessageW(receiver.window(), kWmCopyData, 0, ToLParam(&cds));
    PostMessageW(receiver.window(), m.post, 0, 1);
    IsWindow(receiver.window());
  }
  LRESULT posts = 0;  // every post arrives
  for (int i = 0; i < 500 && posts < 20; ++i) {
    posts = SendMessageW(receiver.window(), m.count, 0, 0);
    if (posts < 20) SleepMilliseconds(10);
  }
  EXPECT_EQ(posts, 20);
  EXPECT_EQ(testing::OpenHandleCount(), before);
}

}  // namespace
}  // namespace qorlog::platform::posix
