// Text conversion, path buffers, local time and file times, the readability
// probe, the system family, starting programs and loading libraries.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/errors.h"
#include "platform/file_time.h"
#include "platform/os_version.h"
#include "platform/path_buffer.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/support/spawn_child.h"
#include "tests/support/temp_env.h"

namespace qorlog::platform {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

TEST(TextTest, DecodesUtf8AndReplacesInvalidBytes) {
  EXPECT_EQ(Utf8ToUtf16("abc"), u"abc");
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA4\xE2\x82\xAC"), u"\u00E4\u20AC");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf8ToUtf16("a\xFFz"), u"a\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");                      // cut-off sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");               // overlong form
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");   // overlong form of a valid lead byte
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");  // encoded surrogate: byte by byte
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82" "A"), u"\uFFFD\uFFFD" u"A");     // cut-off sequence before more text
}

TEST(TextTest, EveryValidUtf16TextRoundTrips) {
  const std::u16string texts[] = {u"", u"plain", u"\u00E4\u00F6\u00FC \u4E2D\u6587", u"\U0001F600\U00010000\uFFFF",
                                  std::u16string(300, u'\u20AC'), std::u16string(u"a\0b", 3)};
  for (const auto& t : texts) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(t)), t);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(u"a" + std::u16string(1, char16_t{0xDC00}) + u"b"), "a\xEF\xBF\xBD" "b");
}

TEST(PathBufferTest, CutsSilentlyAndAddsOneSeparator) {
  const std::u16string sep(1, kPathSeparator);
  PathBuffer p(sep + u"base" + sep);
  p.AppendPart(u"x");
  EXPECT_EQ(p.view(), sep + u"base" + sep + u"x");
  PathBuffer empty;
  empty.AppendPart(u"Varnok");
  EXPECT_EQ(empty.view(), sep + u"Varnok");  // an empty base starts the path with a separator
  PathBuffer full(std::u16string(300, u'a'));
  EXPECT_EQ(full.size(), kMaxPath - 1);
  full.AppendPart(u"more");
  EXPECT_EQ(full.size(), kMaxPath - 1);
  EXPECT_EQ(full.c_str()[kMaxPath - 1], 0);
}

int64_t Ticks(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0, uint16_t mi = 0, uint16_t s = 0, uint16_t ms = 0) {
  SYSTEMTIME t = {y, mo, 0, d, h, mi, s, ms};
  int64_t ticks = -1;
  EXPECT_TRUE(SystemTimeToFileTime(t, &ticks)) << y << "-" << mo << "-" << d;
  return ticks;
}

// The conversion is the library's own on every system: Wine's accepts
// 29 February of a common year, which Windows refuses.
TEST(SystemTest, FileTimesAndTheirLimits) {
  EXPECT_EQ(Ticks(1601, 1, 1), 0);
  EXPECT_EQ(Ticks(2000, 1, 1), 125911584000000000);
  EXPECT_EQ(Ticks(2000, 2, 29, 23, 59, 59, 999) - Ticks(2000, 2, 29), 863999990000);
  const SYSTEMTIME bad[] = {{1600, 12, 0, 31, 0, 0, 0, 0}, {2001, 2, 0, 29, 0, 0, 0, 0}, {2000, 13, 0, 1, 0, 0, 0, 0},
                            {2000, 4, 0, 31, 0, 0, 0, 0},  {2000, 1, 0, 1, 24, 0, 0, 0}, {2000, 1, 0, 1, 0, 60, 0, 0},
                            {2000, 1, 0, 1, 0, 0, 60, 0},  {2000, 1, 0, 1, 0, 0, 0, 1000}};
  for (const SYSTEMTIME& t : bad) {
    int64_t ticks = 7;
    EXPECT_FALSE(SystemTimeToFileTime(t, &ticks)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
  }
}

TEST(SystemTest, LocalTimeMatchesTheClockAndItsWeekday) {
  const std::time_t now = std::time(nullptr);
  const std::tm tm = *std::localtime(&now);
  const SYSTEMTIME st = GetLocalTime();
  EXPECT_EQ(st.wYear, tm.tm_year + 1900);
  EXPECT_EQ(st.wMonth, tm.tm_mon + 1);
  EXPECT_EQ(st.wDay, tm.tm_mday);
  EXPECT_EQ(st.wDayOfWeek, tm.tm_wday);
  EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(SystemTest, ProbeTellsReadableFromUnmappedMemory) {
  int local = 0;
  EXPECT_FALSE(IsBadReadPtr(&local, sizeof local));
  static const char kText[] = "static data";
  EXPECT_FALSE(IsBadReadPtr(kText, sizeof kText));
  EXPECT_TRUE(IsBadReadPtr(nullptr, 1));
  // The lowest 64 KiB of the address space are never mapped.
  EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<const void*>(0x1000), 1));
  EXPECT_TRUE(IsBadReadPtr(&local, ~std::size_t{0} / 2));  // runs off the mapped range
}

TEST(SystemTest, PlatformIsTheNtFamily) { EXPECT_EQ(GetVersionPlatformId(), kVerPlatformWin32Nt); }

const std::vector<std::string> kOddArguments = {"a b", "say \"hi\"", "C:\\my dir\\", ""};

// Ends with 7 when its arguments arrived as they were sent, else 100.
QORLOG_CHILD_ROLE("check-args", [](const std::vector<std::string>& args, const testing::ChildChannel&) {
  return args == kOddArguments ? 7 : 100;
});

// A program that makes a window, tells it can take messages and runs its
// loop a while.
QORLOG_CHILD_ROLE("start-window", [](const std::vector<std::string>&, const testing::ChildChannel&) {
  MessageWindow window;
  if (window.Create([](UINT, WPARAM, LPARAM) -> LRESULT { return 0; }) != 0) return 1;
  SignalReady();
  window.RunFor(2000);
  return 0;
});

TEST(ProcessTest, StartAndWaitPassesArgumentsAndGivesTheExitCode) {
  EXPECT_EQ(testing::ChildProcess("check-args", kOddArguments).Release(), 7);
  testing::TempDir dir;
  const std::string program = "none" + Utf16ToUtf8(kProgramFileSuffix);
  DWORD code = 0;
  EXPECT_EQ(StartAndWait({(dir.path() / program).string()}, ShowMode::kHidden, &code), kErrorFileNotFound);
  EXPECT_EQ(StartAndWait({(dir.path() / "no" / program).string()}, ShowMode::kNormal, &code), kErrorPathNotFound);
  EXPECT_NE(GetCurrentThreadId(), 0u);
  EXPECT_FALSE(SignalReady());  // nobody started this program waiting for a notice
}

// The wait's other ends (the program's exit, the time limit) are tested with
// the POSIX backend (process_test.cc): Wine ends the wait at once for a
// program that has made a window but never runs its loop.
TEST(ProcessTest, DetachedStartWaitsForTheReadinessNotice) {
  testing::TempDir dir;
  ReadyOutcome outcome = ReadyOutcome::kExited;
  const auto begin = Clock::now();
  EXPECT_EQ(StartDetached({testing::SelfPath(), "--child", "start-window", dir.str()}, ShowMode::kHidden, 10000,
                          &outcome),
            0u);
  EXPECT_EQ(outcome, ReadyOutcome::kReady);
  EXPECT_LT(SecondsSince(begin), 5.0);
}

TEST(DynamicLibraryTest, LoadsBindsAndFrees) {
#ifdef _WIN32
  const std::u16string library = u"C:\\windows\\system32\\kernel32.dll";
  const char* symbol = "GetTickCount";
#else
  std::u16string library;
  for (const char* path : {"/lib/x86_64-linux-gnu/libc.so.6", "/lib64/libc.so.6", "/usr/lib/libc.so.6"}) {
    if (std::filesystem::exists(path)) library = Utf8ToUtf16(path);
  }
  if (library.empty()) GTEST_SKIP() << "no C library at a known place";
  const char* symbol = "getpid";
#endif
  ModuleHandle module = LoadModule(library);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetModuleSymbol(module, symbol), nullptr);
  EXPECT_EQ(GetModuleSymbol(module, "NoSuchExport"), nullptr);
  EXPECT_TRUE(FreeModule(module));
  testing::TempDir dir;
  const std::string missing = "qor2scd" + Utf16ToUtf8(kModuleFileSuffix);
  EXPECT_EQ(LoadModule(Utf8ToUtf16((dir.path() / "amd64" / missing).string())), nullptr);
  EXPECT_EQ(GetLastError(), 126u);
  EXPECT_EQ(LoadModule(u""), nullptr);
  EXPECT_FALSE(FreeModule(nullptr));
}

}  // namespace
}  // namespace qorlog::platform
