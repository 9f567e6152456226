// What only the POSIX backend has: the one errno table, the files behind
// named mutexes, the session folder, the refusal of symbolic links, the
// share markers' protocol between openers, and the probe beside a guard
// page.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <functional>
#include <utility>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/posix/errno_table.h"
#include "platform/posix/session_paths.h"
#include "platform/posix/share_lock.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

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
  for (DWORD code : {kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied, kErrorSharingViolation, kErrorDiskFull,
                     kErrorFileExists, kErrorInvalidHandle, kErrorGenFailure}) {
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

// An exclusive writer (two steps: take, then check that the file still has
// a name and relax to deny-write) against another party, in every order of
// their steps; a party stops at its first failed step and its markers go.
// Both may succeed only when compatible, and one of them always does. The
// other party is an opener under the guard (take, then check), or a deleter
// (take "open" if unused, then unlink).
TEST(PosixShareLockTest, NoOrderOfStepsLetsConflictingPartiesBothIn) {
  using share_lock::Claim;
  using Step = std::function<int(int fd)>;
  testing::TempDir dir;
  const std::string path = (dir.path() / "20260101.log").string();
  const Claim exclusive{.read = true, .write = true, .deny_read = true, .deny_write = true};
  const Claim writer{.read = true, .write = true, .deny_write = true};
  const Step writer_steps[2] = {[](int fd) { return share_lock::TakeExclusive(fd); },
                                [&](int fd) {
                                  struct stat st;
                                  if (::fstat(fd, &st) != 0 || st.st_nlink == 0) return ENOENT;
                                  return share_lock::Relax(fd, exclusive, writer);
                                }};
  auto opener = [](Claim claim) {
    return std::array<Step, 2>{[claim](int fd) { return share_lock::TakeClaim(fd, claim); },
                               [claim](int fd) { return share_lock::CheckConflicts(fd, claim); }};
  };
  const struct {
    const char* what;
    std::array<Step, 2> steps;
    bool compatible;  // with the relaxed writer
  } others[] = {
      {"viewer", opener({.read = true}), true},
      {"second writer", opener({.read = true, .write = true}), false},
      {"unshared reader", opener({.read = true, .deny_read = true, .deny_write = true}), false},
      {"deleter",
       {[](int fd) { return share_lock::TakeIfUnused(fd); },
        [&](int) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }},
       false},
  };
  for (const auto& other : others) {
    // Each order: which party makes each of the four steps (0 = the writer).
    for (const auto order : {0b0011, 0b0101, 0b0110, 0b1001, 0b1010, 0b1100}) {
      testing::WriteFile(path, "x");
      int fds[2] = {::open(path.c_str(), O_RDWR | O_CLOEXEC), ::open(path.c_str(), O_RDWR | O_CLOEXEC)};
      int step[2] = {0, 0};
      bool failed[2] = {false, false};
      for (int i = 0; i < 4; ++i) {
        const int party = (order >> i) & 1;
        if (failed[party]) continue;
        const Step& next = party == 0 ? writer_steps[step[0]++] : other.steps[step[1]++];
        if (next(fds[party]) != 0) {
          failed[party] = true;
          ::close(std::exchange(fds[party], -1));
        }
      }
      EXPECT_TRUE(!failed[0] || !failed[1]) << other.what << " order " << order;
      EXPECT_TRUE(other.compatible || failed[0] || failed[1]) << other.what << " order " << order;
      for (int fd : fds) {
        if (fd >= 0) ::close(fd);
      }
    }
  }
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

}  // namespace
}  // namespace qorlog::platform::posix
