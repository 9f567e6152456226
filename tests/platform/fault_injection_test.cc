// The fault-injection seam: each kind of call fails when the plan says so,
// with the chosen code, through the interface that makes the call; reads and
// writes can move fewer bytes; without a plan nothing is injected.
#include <functional>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/fault_injection.h"
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

  qorlog::testing::TempDir dir_;
};

TEST_F(FaultInjectionTest, EachKindOfCallFailsWithTheChosenCode) {
  const std::u16string a = Path("a.log");
  struct Case {
    const char* what;
    Call call;
    DWORD code;
    std::function<DWORD()> op;  // makes exactly one call of the kind first
  } cases[] = {
      {"open", Call::kOpen, kErrorAccessDenied,
       [&] {
         File f;
         DWORD err = 0;
         return f.Open(a, File::modeRead | File::shareDenyNone, &err) ? 0 : err;
       }},
#ifndef _WIN32  // share modes are the system's own on Windows
      {"share check", Call::kLock, kErrorSharingViolation,
       [&] {
         File f;
         DWORD err = 0;
         return f.Open(a, File::modeRead | File::shareDenyNone, &err) ? 0 : err;
       }},
#endif
      {"read", Call::kRead, kErrorAccessDenied,
       [&] {
         File f;
         f.Open(a, File::modeRead | File::shareDenyNone);
         char buf[4];
         return CodeOf([&] { f.Read(buf, 4); });
       }},
      {"write", Call::kWrite, kErrorDiskFull,
       [&] {
         File f;
         f.Open(a, File::modeReadWrite | File::shareDenyWrite);
         f.SeekToEnd();
         return CodeOf([&] { f.Write("x", 1); });
       }},
      {"set length", Call::kSetLength, kErrorDiskFull,
       [&] {
         File f;
         f.Open(a, File::modeReadWrite | File::shareDenyWrite);
         return CodeOf([&] { f.SetLength(f.GetLength()); });
       }},
      {"close", Call::kClose, kErrorDiskFull,
       [&] {
         File f;
         f.Open(a, File::modeReadWrite | File::shareDenyWrite);
         return f.Close();
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

TEST_F(FaultInjectionTest, OnlyTheNthCallFails) {
  File f;
  ASSERT_TRUE(f.Open(Path("a.log"), File::modeReadWrite | File::shareDenyWrite));
  ScopedPlan plan;
  plan.Fail(Call::kWrite, 2, kErrorDiskFull);
  f.Write("A", 1);
  EXPECT_EQ(CodeOf([&] { f.Write("B", 1); }), kErrorDiskFull);
  f.Write("C", 1);
  EXPECT_EQ(plan.Count(Call::kWrite), 3u);
  EXPECT_EQ(qorlog::testing::ReadFile(dir_.path() / "a.log"), "AC23456789ab");
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
