// Appends per second of a simple record (34 bytes in the file) through the
// log manager:
//   EmptyFolder     a folder with no file of today (the first append makes one)
//   NinetyNineToday a folder holding 99 usable files of today
//   EarlierDays     a folder holding 100 files of earlier days
//   FourProcesses   four processes appending to the same kind at once (aggregate)
//   RawFloor        the same bytes with raw system calls: lock, open, read
//                   header, write record, write header, close, unlock
//   MandatedWork    the work an append must do, with raw system calls and no
//                   library code: under a process-shared mutex, list the
//                   folder, open the greatest name exclusively (one write
//                   lock on the share markers), read its header, relax to
//                   deny-write, write the record and the header, close
// Each case runs in a fresh temporary folder with its own registry file and
// session folder; the clock is fixed so every append lands on the same day.
#include <fcntl.h>
#include <stdlib.h>
#include <dirent.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
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

// The record is handed over as the writers hand over their own copy: by
// reference, with no readability probe (a writer probes the caller's record
// once, before copying it; that probe is not part of the append).
void RunAppends(benchmark::State& state, CLogManager& manager) {
  for (auto _ : state) {
    stSIMPLE_LOG_W r = Record();
    if (manager.AppendSimpleLog(5000, r) != 0) {
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
          if (manager.AppendSimpleLog(5000, r) != 0) _exit(1);
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

// One fcntl on the share markers far past the data (as the library's POSIX
// files place them), taking, changing or dropping a run.
bool MarkerLock(int fd, short type, long long first, long long count) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = LLONG_MAX - 64 + first;
  fl.l_len = count;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

void BM_MandatedWork(benchmark::State& state) {
  BenchEnv env;
  fs::create_directories(env.Folder());
  const std::string folder = env.Folder().string();
  const std::string path = folder + "/2026010100.log";
  std::ofstream(path, std::ios::binary).write(kHeader, sizeof kHeader);
  // The cross-process mutex: robust and process-shared in a shared mapping,
  // free of system calls while uncontended.
  const int mfd = ::open((env.root() / "run/mutex").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  (void)!ftruncate(mfd, sizeof(pthread_mutex_t));
  auto* mutex = static_cast<pthread_mutex_t*>(mmap(nullptr, sizeof(pthread_mutex_t), PROT_READ | PROT_WRITE, MAP_SHARED, mfd, 0));
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(mutex, &attr);
  unsigned char record[34] = {0xEA, 0x07, 1, 0, 4, 0, 1, 0, 12, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0,
                              0xFF, 0xFE, 0xFF, 3, 'a', 0, 'b', 0, 'c', 0};
  off_t end = sizeof kHeader;
  char buffer[4096];
  for (auto _ : state) {
    pthread_mutex_lock(mutex);
    // The directory search: the greatest name of today.
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    char greatest[256] = "";
    for (;;) {
      const long n = syscall(SYS_getdents64, dfd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (long off = 0; off < n;) {
        auto* d = reinterpret_cast<struct dirent64*>(buffer + off);
        if (std::strncmp(d->d_name, "20260101", 8) == 0 && std::strcmp(d->d_name, greatest) > 0) {
          std::strcpy(greatest, d->d_name);
        }
        off += d->d_reclen;
      }
    }
    ::close(dfd);
    // The unshared header test, which is also the append's open.
    const int fd = ::openat(AT_FDCWD, path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    struct stat st;
    std::uint32_t header[3];
    bool ok = fd >= 0 && MarkerLock(fd, F_WRLCK, 1, 4) && fstat(fd, &st) == 0 &&
              pread(fd, header, sizeof header, 0) == sizeof header && greatest[0] != 0 &&
              // deny-write from here on: the write locks become shared ones
              MarkerLock(fd, F_RDLCK, 1, 4) && pwrite(fd, record, sizeof record, end) == sizeof record;
    end += sizeof record;
    header[1] += 1;
    header[2] = header[0] + header[1];
    ok = ok && pwrite(fd, header, sizeof header, 0) == sizeof header;
    ok = ::close(fd) == 0 && ok;
    pthread_mutex_unlock(mutex);
    if (!ok) {
      state.SkipWithError("mandated work failed");
      break;
    }
  }
  munmap(mutex, sizeof(pthread_mutex_t));
  ::close(mfd);
  state.counters["appends_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MandatedWork)->Iterations(kIterations)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
