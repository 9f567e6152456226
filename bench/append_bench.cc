// Appends per second of a simple record (34 bytes in the file) through the
// log manager:
//   EmptyFolder     a folder with no file of today (the first append makes one)
//   NinetyNineToday a folder holding 99 usable files of today
//   EarlierDays     a folder holding 100 files of earlier days
//   FourProcesses   four processes appending to the same kind at once (aggregate)
//   RawFloor        the same bytes with raw system calls: lock, open, read
//                   header, write record, write header, close, unlock
// Each case runs in a fresh temporary folder with its own registry file and
// session folder; the clock is fixed so every append lands on the same day.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "logstore/log_manager.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using qorlog::CLogManager;

SYSTEMTIME FixedClock() { return SYSTEMTIME{2026, 1, 4, 1, 12, 0, 0, 0}; }

constexpr int kIterations = 20000;

// A temporary root with the registry and session folder pointed into it.
class BenchEnv {
 public:
  BenchEnv() {
    std::string tmpl = (fs::temp_directory_path() / "qorlog-bench-XXXXXX").string();
    root_ = mkdtemp(tmpl.data());
    fs::create_directories(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all);
    std::ofstream(root_ / "registry.ini") << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n"
                                          << "ProgramFilesDir (x86)=" << (root_ / "pf").string() << "\n";
    setenv("QORLOG_REGISTRY", (root_ / "registry.ini").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
  }
  ~BenchEnv() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  fs::path Folder() const { return root_ / "pf/Varnok/ZEL/Common/Log/etc"; }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

const char kHeader[12] = {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};

void MakeFiles(const fs::path& folder, const char* date, int count) {
  fs::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%02d.log", date, i);
    std::ofstream(folder / name, std::ios::binary).write(kHeader, sizeof kHeader);
  }
}

stSIMPLE_LOG_W Record() {
  stSIMPLE_LOG_W r = {};
  r.dwCode = 1;
  r.dwSubCode = 2;
  r.szText260[0] = u'a';
  r.szText260[1] = u'b';
  r.szText260[2] = u'c';
  return r;
}

void RunAppends(benchmark::State& state, CLogManager& manager) {
  for (auto _ : state) {
    stSIMPLE_LOG_W r = Record();
    if (manager.AppendSimpleLog(5000, &r) != 0) {
      state.SkipWithError("append failed");
      break;
    }
  }
  state.counters["appends_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_EmptyFolder(benchmark::State& state) {
  BenchEnv env;
  CLogManager manager;
  manager.SetClock(&FixedClock);
  RunAppends(state, manager);
}
BENCHMARK(BM_EmptyFolder)->Iterations(kIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_NinetyNineToday(benchmark::State& state) {
  BenchEnv env;
  MakeFiles(env.Folder(), "20260101", 99);
  CLogManager manager;
  manager.SetClock(&FixedClock);
  RunAppends(state, manager);
}
BENCHMARK(BM_NinetyNineToday)->Iterations(kIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_EarlierDays(benchmark::State& state) {
  BenchEnv env;
  MakeFiles(env.Folder(), "20251231", 100);
  CLogManager manager;
  manager.SetClock(&FixedClock);
  RunAppends(state, manager);
}
BENCHMARK(BM_EarlierDays)->Iterations(kIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_FourProcesses(benchmark::State& state) {
  constexpr int kProcesses = 4;
  constexpr int kEach = kIterations / kProcesses;
  BenchEnv env;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < kProcesses; ++p) {
      if (fork() == 0) {
        CLogManager manager;
        manager.SetClock(&FixedClock);
        for (int i = 0; i < kEach; ++i) {
          stSIMPLE_LOG_W r = Record();
          if (manager.AppendSimpleLog(5000, &r) != 0) _exit(1);
        }
        _exit(0);
      }
    }
    bool ok = true;
    for (int p = 0; p < kProcesses; ++p) {
      int status = 0;
      wait(&status);
      ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    if (!ok) state.SkipWithError("a child's append failed");
  }
  state.counters["appends_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kProcesses * kEach, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FourProcesses)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RawFloor(benchmark::State& state) {
  BenchEnv env;
  fs::create_directories(env.Folder());
  const std::string lock_path = (env.root() / "run/lock").string();
  const std::string path = (env.Folder() / "2026010100.log").string();
  std::ofstream(path, std::ios::binary).write(kHeader, sizeof kHeader);
  const int lock = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // The record as the append stores it: time, code, sub-code, "abc".
  unsigned char record[34] = {0xEA, 0x07, 1, 0, 4, 0, 1, 0, 12, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0,
                              0xFF, 0xFE, 0xFF, 3, 'a', 0, 'b', 0, 'c', 0};
  // The floor knows where the file ends, so the record needs no size query.
  off_t end = sizeof kHeader;
  for (auto _ : state) {
    flock(lock, LOCK_EX);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    std::uint32_t header[3];
    if (fd < 0 || pread(fd, header, sizeof header, 0) != sizeof header ||
        pwrite(fd, record, sizeof record, end) != sizeof record) {
      state.SkipWithError("raw append failed");
      break;
    }
    end += sizeof record;
    header[1] += 1;
    header[2] = header[0] + header[1];
    (void)!pwrite(fd, header, sizeof header, 0);
    ::close(fd);
    flock(lock, LOCK_UN);
  }
  ::close(lock);
  state.counters["appends_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawFloor)->Iterations(kIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
