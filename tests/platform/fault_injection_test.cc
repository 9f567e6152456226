// The fault-injection seam: each kind of call fails when the plan says so,
// with the chosen code, through the interface that makes the call; reads and
// writes can move fewer bytes; without a plan nothing is injected.
#include "platform/fault_injection.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using fault::Call;
using fault::ScopedPlan;

class FaultInjectionTest : public ::testing::Test {
 protected:
  std::u16string Path(const char* name) const { return Utf8ToUtf16((dir_.path() / name).string()); }
  void SetUp() override { qorlog::testing::WriteFile(dir_.path() / "a.log", "0123456789ab"); }

  // Runs a file operation and gives its system error code (0 on success).
  static DWORD CodeOf(const std::function<void()>& op) {
    try {
      op();
      return 0;
    } catch (const FileException& e) {
      return e.os_error();
    }
  }
  // Opens a.log with `flags`, then runs `op` on it: the error of the open, or
  // of the operation.
  DWORD OnOpen(
      unsigned flags, const std::function<void(File&)>& op = [](File&) {}) const {
    File f;
    DWORD err = 0;
    if (!f.Open(Path("a.log"), flags, &err)) return err;
    return CodeOf([&] { op(f); });
  }

  qorlog::testing::TempDir dir_;
};

TEST_F(FaultInjectionTest, EachKindOfCallFailsWithTheChosenCode) {
  constexpr unsigned kRead = File::modeRead | File::shareDenyNone;
  constexpr unsigned kWrite = File::modeReadWrite | File::shareDenyWrite;
  struct Case {
    const char* what;
    Call call;
    DWORD code;
    std::function<DWORD()> op;  // makes exactly one call of the kind first
  } cases[] = {
      {"open", Call::kOpen, kErrorAccessDenied, [&] { return OnOpen(kRead); }},
#ifndef _WIN32  // share modes are the system's own on Windows
      {"share check", Call::kLock, kErrorSharingViolation, [&] { return OnOpen(kRead); }},
#endif
      {"read", Call::kRead, kErrorAccessDenied,
       [&] {
         char buf[4];
         return OnOpen(kRead, [&](File& f) { f.Read(buf, 4); });
       }},
      {"write", Call::kWrite, kErrorDiskFull,
       [&] {
         return OnOpen(kWrite, [](File& f) {
           f.SeekToEnd();
           f.Write("x", 1);
         });
       }},
      {"set length", Call::kSetLength, kErrorDiskFull,
       [&] { return OnOpen(kWrite, [](File& f) { f.SetLength(f.GetLength()); }); }},
      {"close", Call::kClose, kErrorDiskFull,
       [&] {
         DWORD rc = 0;
         OnOpen(kWrite, [&](File& f) { rc = f.Close(); });
         return rc;
       }},
      {"rename", Call::kRename, kErrorAccessDenied,
       [&] {
         qorlog::testing::WriteFile(dir_.path() / "r.log", "r");
         const DWORD rc = MoveFileNamed(Path("r.log"), Path("s.log"));
         std::filesystem::remove(dir_.path() / "s.log");
         return rc;
       }},
      {"delete", Call::kDelete, kErrorAccessDenied,
       [&] {
         qorlog::testing::WriteFile(dir_.path() / "d.log", "d");
         return DeleteFileNamed(Path("d.log"));
       }},
      {"create folder", Call::kCreateFolder, kErrorDiskFull,
       [&] {
         const DWORD rc = CreateFolder(Path("f"));
         std::filesystem::remove(dir_.path() / "f");
         return rc;
       }},
  };
  for (const auto& c : cases) {
    DWORD got;
    {
      ScopedPlan plan;
      plan.Fail(c.call, 1, c.code);
      got = c.op();
      EXPECT_GE(plan.Count(c.call), 1u) << c.what;
    }
    EXPECT_EQ(got, c.code) << c.what;
    EXPECT_EQ(c.op(), 0u) << c.what << " without a plan";
  }
  // The failed calls changed nothing.
  EXPECT_EQ(qorlog::testing::ReadFile(dir_.path() / "a.log"), "0123456789abx");
}

TEST_F(FaultInjectionTest, CutReadsAndWritesMoveFewerBytes) {
  File f;
  ASSERT_TRUE(f.Open(Path("a.log"), File::modeReadWrite | File::shareDenyWrite));
  char buf[12] = {};
  {
    // A read cut to 3 bytes, then one that meets the end: the file seemed to
    // end after 3 bytes.
    ScopedPlan plan;
    plan.Cut(Call::kRead, 1, 3).Cut(Call::kRead, 2, 0);
    EXPECT_EQ(f.Read(buf, 12), 3u);
    EXPECT_EQ(f.Read(buf + 3, 9), 9u);  // and then it grew
  }
  EXPECT_EQ(std::string(buf, 12), "0123456789ab");
  {
    // A write cut short and then refused: a disk that filled up part-way.
    ScopedPlan plan;
    plan.Cut(Call::kWrite, 1, 2).Fail(Call::kWrite, 2, kErrorDiskFull);
    EXPECT_EQ(CodeOf([&] { f.Write("WXYZ", 4); }), kErrorDiskFull);
  }
  EXPECT_EQ(f.GetLength(), 14u);  // two of the four bytes reached the file
  EXPECT_EQ(qorlog::testing::ReadFile(dir_.path() / "a.log"), "0123456789abWX");
}

}  // namespace
}  // namespace qorlog::platform
