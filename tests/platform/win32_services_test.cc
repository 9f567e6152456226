// The Win32 backend's services that stand without files, named objects and
// windows: local time, the readability probe, the registry, the named mutex,
// process start and dynamic loading; and the file-time conversion, which is
// the portable one on Windows too (Wine's SystemTimeToFileTime accepts
// 29 February of a common year, which Windows refuses). Windows only; run under
// Wine in a private prefix, whose registry the tests may write.
//
// The program is its own child: "--exit-with N" makes it end with code N
// before any test runs (see main at the end).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/dynamic_library.h"
#include "platform/errors.h"
#include "platform/file_time.h"
#include "platform/named_mutex.h"
#include "platform/os_version.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"

namespace qorlog::platform {
namespace {

std::string g_self;  // this program's path, from argv[0]

int64_t Ticks(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0, uint16_t mi = 0, uint16_t s = 0,
              uint16_t ms = 0) {
  SYSTEMTIME t = {y, mo, 0, d, h, mi, s, ms};
  int64_t ticks = -1;
  EXPECT_TRUE(SystemTimeToFileTime(t, &ticks)) << y << "-" << mo << "-" << d;
  return ticks;
}

TEST(Win32SystemTest, FileTimesAndTheirLimits) {
  EXPECT_EQ(Ticks(1601, 1, 1), 0);
  EXPECT_EQ(Ticks(2000, 1, 1), 125911584000000000);
  EXPECT_EQ(Ticks(2000, 2, 29, 23, 59, 59, 999) - Ticks(2000, 2, 29), 863999990000);
  struct Bad {
    uint16_t y, mo, d, h, mi, s, ms;
  };
  for (Bad b : {Bad{1600, 12, 31, 0, 0, 0, 0}, Bad{2001, 2, 29, 0, 0, 0, 0}, Bad{2000, 13, 1, 0, 0, 0, 0},
                Bad{2000, 4, 31, 0, 0, 0, 0}, Bad{2000, 1, 1, 24, 0, 0, 0}, Bad{2000, 1, 1, 0, 60, 0, 0},
                Bad{2000, 1, 1, 0, 0, 60, 0}, Bad{2000, 1, 1, 0, 0, 0, 1000}}) {
    SYSTEMTIME t = {b.y, b.mo, 0, b.d, b.h, b.mi, b.s, b.ms};
    int64_t ticks = 7;
    EXPECT_FALSE(SystemTimeToFileTime(t, &ticks)) << b.y << "-" << b.mo << "-" << b.d;
  }
}

TEST(Win32SystemTest, LocalTimeIsACalendarDateWithItsWeekday) {
  const SYSTEMTIME now = GetLocalTime();
  int64_t ticks = 0;
  ASSERT_TRUE(SystemTimeToFileTime(now, &ticks));
  // 1601-01-01 was a Monday (day of week 1).
  const int64_t days = ticks / (kFileTimeTicksPerSecond * 86400);
  EXPECT_EQ(now.wDayOfWeek, (days + 1) % 7);
  EXPECT_GE(now.wYear, 2024);
}

TEST(Win32SystemTest, ProbeTellsReadableFromUnmappedMemory) {
  int local = 0;
  EXPECT_FALSE(IsBadReadPtr(&local, sizeof local));
  static const char kText[] = "static data";
  EXPECT_FALSE(IsBadReadPtr(kText, sizeof kText));
  EXPECT_TRUE(IsBadReadPtr(nullptr, 1));
  // The lowest 64 KiB of the address space are never mapped.
  EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<const void*>(0x1000), 1));
  EXPECT_TRUE(IsBadReadPtr(&local, ~std::size_t{0} / 2));  // runs off the mapped range
}

TEST(Win32SystemTest, PlatformIsTheNtFamily) { EXPECT_EQ(GetVersionPlatformId(), kVerPlatformWin32Nt); }

// "ProgramFilesDir (x86)" as every 64-bit Windows (and Wine) has it.
TEST(Win32RegistryTest, ReadsStringsWithTypeSizeAndTerminator) {
  RegistryKey key;
  ASSERT_EQ(key.Open(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", kKeyRead), 0u);
  char16_t value[260] = {};
  DWORD type = kRegNone;
  DWORD size = sizeof value;
  ASSERT_EQ(key.QueryValue(u"programfilesdir (X86)", &type, value, &size), 0u);
  const std::u16string expected = u"C:\\Program Files (x86)";
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, (expected.size() + 1) * 2);
  EXPECT_EQ(std::u16string(value), expected);

  // Too small: 234, the type and full size, and as much as fits.
  char16_t small[4] = {u'x', u'x', u'x', u'x'};
  type = kRegNone;
  size = 6;
  EXPECT_EQ(key.QueryValue(u"ProgramFilesDir (x86)", &type, small, &size), kErrorMoreData);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, (expected.size() + 1) * 2);
  EXPECT_EQ(std::u16string(small, 4), u"C:\\x");

  type = 99;
  EXPECT_EQ(key.QueryValue(u"No such value", &type, value, &size), kErrorFileNotFound);
  EXPECT_EQ(type, 99u);
  EXPECT_EQ(RegistryKey().QueryValue(u"x", &type, value, &size), kErrorInvalidHandle);
  EXPECT_EQ(key.Open(u"SOFTWARE\\No such key\\anywhere", kKeyRead), kErrorFileNotFound);
  EXPECT_FALSE(key.IsOpen());
}

// reg.exe writes a value into the 32-bit view only; the 32-bit open sees it,
// the native (64-bit) one does not.
TEST(Win32RegistryTest, TheWow64FlagSelectsThe32BitView) {
  const std::string reg = "C:\\windows\\system32\\reg.exe";
  const std::string key = "HKLM\\SOFTWARE\\QorLogTest\\View";
  DWORD exit_code = 99;
  ASSERT_EQ(StartAndWait({reg, "add", key, "/v", "InstallPath", "/d", "C:\\viewer", "/f", "/reg:32"},
                         ShowMode::kHidden, &exit_code),
            0u);
  ASSERT_EQ(exit_code, 0u);
  RegistryKey view32, view64;
  ASSERT_EQ(view32.Open(u"SOFTWARE\\QorLogTest\\View", kKeyRead | kKeyWow64_32Key), 0u);
  char16_t value[260] = {};
  DWORD type = kRegNone;
  DWORD size = sizeof value;
  EXPECT_EQ(view32.QueryValue(u"InstallPath", &type, value, &size), 0u);
  EXPECT_EQ(std::u16string(value), u"C:\\viewer");
  EXPECT_EQ(view64.Open(u"SOFTWARE\\QorLogTest\\View", kKeyRead), kErrorFileNotFound);
  StartAndWait({reg, "delete", "HKLM\\SOFTWARE\\QorLogTest", "/f", "/reg:32"}, ShowMode::kHidden, nullptr);
}

TEST(Win32MutexTest, OwnershipIsPerThreadCountedAndAbandonedOnce) {
  NamedMutex a(u"QorLogTest-mutex-ownership");
  NamedMutex b(u"QorLogTest-mutex-ownership");
  ASSERT_FALSE(a.IsNull());
  ASSERT_FALSE(b.IsNull());
  ASSERT_EQ(a.Wait(), NamedMutex::kWaitObject0);
  ASSERT_EQ(b.Wait(), NamedMutex::kWaitObject0);  // the same mutex, owned twice
  bool released_elsewhere = true;
  std::thread([&] { released_elsewhere = b.Release(); }).join();
  EXPECT_FALSE(released_elsewhere);
  EXPECT_TRUE(a.Release());
  EXPECT_TRUE(b.Release());
  EXPECT_FALSE(a.Release());

  // A thread that ends while owning it abandons it: the next wait says so
  // once, and owns it.
  std::thread([&] { EXPECT_EQ(b.Wait(), NamedMutex::kWaitObject0); }).join();
  EXPECT_EQ(a.Wait(), NamedMutex::kWaitAbandoned);
  EXPECT_TRUE(a.Release());
  EXPECT_EQ(a.Wait(), NamedMutex::kWaitObject0);
  EXPECT_TRUE(a.Release());

  NamedMutex null;
  EXPECT_TRUE(null.IsNull());
  EXPECT_EQ(null.Wait(), NamedMutex::kWaitFailed);
  EXPECT_FALSE(null.Release());
  a.Close();
  EXPECT_TRUE(a.IsNull());
}

TEST(Win32ProcessTest, StartsProgramsWithTheirArgumentsAndExitCode) {
  DWORD exit_code = 0;
  ASSERT_EQ(StartAndWait({g_self, "--exit-with", "7"}, ShowMode::kHidden, &exit_code), 0u);
  EXPECT_EQ(exit_code, 7u);
  // Arguments with blanks, quotes and backslashes arrive as they were.
  ASSERT_EQ(StartAndWait({g_self, "--exit-with", "3", "a b", "say \"hi\"", "C:\\my dir\\", ""}, ShowMode::kNormal,
                         &exit_code),
            0u);
  EXPECT_EQ(exit_code, 3u);
  EXPECT_EQ(StartAndWait({"C:\\windows\\no-such-program.exe"}, ShowMode::kHidden, &exit_code),
            kErrorFileNotFound);
  EXPECT_EQ(StartAndWait({"C:\\no\\such\\program.exe"}, ShowMode::kHidden, &exit_code),
            kErrorPathNotFound);
  ReadyOutcome outcome = ReadyOutcome::kTimedOut;
  EXPECT_EQ(StartDetached({g_self, "--exit-with", "0"}, ShowMode::kHidden, 0, &outcome), 0u);
  EXPECT_EQ(outcome, ReadyOutcome::kReady);
  EXPECT_FALSE(SignalReady());
  EXPECT_NE(GetCurrentThreadId(), 0u);
}

TEST(Win32DynamicLibraryTest, LoadsBindsAndFrees) {
  ModuleHandle module = LoadModule(u"C:\\windows\\system32\\kernel32.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetModuleSymbol(module, "GetTickCount"), nullptr);
  EXPECT_EQ(GetModuleSymbol(module, "NoSuchExport"), nullptr);
  EXPECT_TRUE(FreeModule(module));
  EXPECT_EQ(LoadModule(u"C:\\no\\such\\amd64\\qor2scd.dll"), nullptr);
  EXPECT_EQ(GetLastError(), 126u);
  EXPECT_EQ(LoadModule(u""), nullptr);
  EXPECT_FALSE(FreeModule(nullptr));
}

}  // namespace
}  // namespace qorlog::platform

// The child switch first; the tests otherwise. The arguments after the code
// are checked to arrive intact (exit code 100 when they do not).
int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--exit-with") {
    if (argc > 3) {
      const char* expected[] = {"a b", "say \"hi\"", "C:\\my dir\\", ""};
      if (argc != 7) return 100;
      for (int i = 0; i < 4; ++i) {
        if (std::string(argv[3 + i]) != expected[i]) return 100;
      }
    }
    return std::atoi(argv[2]);
  }
  qorlog::platform::g_self = argv[0];
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
