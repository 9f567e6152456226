// qorlog export of 100,000 firewall records (typical texts, ten files of
// 10,000) to /dev/null: the whole program, started as a user would start it,
// from listing the files to the last JSON line. Reports records per second.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "logstore/archive.h"
#include "logstore/log_records.h"
#include "platform/file.h"
#include "platform/text.h"

extern char** environ;

namespace {

constexpr int kFiles = 10;
constexpr int kRecordsPerFile = 10'000;

struct BenchLogs {
  std::filesystem::path root;

  BenchLogs() {
    root = std::filesystem::temp_directory_path() / ("qorlog-export-bench-" + std::to_string(getpid()));
    const auto folder = root / "pf" / "Varnok" / "ZEL" / "Common" / "Log" / "firewall";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(root / "run");
    std::ofstream(root / "registry.ini") << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n"
                                         << "ProgramFilesDir (x86)=" << (root / "pf").string() << "\n";
    setenv("QORLOG_REGISTRY", (root / "registry.ini").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    for (int f = 0; f < kFiles; ++f) Write(folder / ("202403050" + std::to_string(f) + ".log"));
  }
  ~BenchLogs() { std::filesystem::remove_all(root); }

  static void Write(const std::filesystem::path& path) {
    using qorlog::Archive;
    qorlog::platform::File file;
    if (!file.Open(qorlog::platform::Utf8ToUtf16(path.string()),
                   qorlog::platform::File::modeCreate | qorlog::platform::File::modeReadWrite))
      std::abort();
    Archive ar(file, Archive::kStore);
    qorlog::CLogHeader header;
    header.dwVersion = 1;
    header.dwItemCount = kRecordsPerFile;
    header.dwCheck = 1 + kRecordsPerFile;
    header.Serialize(ar);
    for (int i = 0; i < kRecordsPerFile; ++i) {
      qorlog::CFWLogRecord r;
      r.stTime = {2024, 3, 2, 5, static_cast<uint16_t>(i / 3600 % 24), static_cast<uint16_t>(i / 60 % 60),
                  static_cast<uint16_t>(i % 60), static_cast<uint16_t>(i % 1000)};
      r.dwCode = i % 603;
      r.dwSubCode = i % 206;
      r.dwParam = i;
      r.strText64 = u"C:/Program Files/Browser/browser.exe";
      r.strText260 = u"Outbound connection allowed by rule " + std::u16string(1, u'A' + i % 26) +
                     u": TCP 10.0.0.17:51515 -> 93.184.216.34:443, 1532 bytes sent";
      r.strText64b = u"93.184.216.34:443";
      r.Serialize(ar);
    }
    ar.Close();
  }
};

void BM_ExportToDevNull(benchmark::State& state, const char* format) {
  static BenchLogs logs;
  std::string program = QORLOG_CLI_FILE;
  std::string command = "export";
  std::string format_option = std::string("--format=") + format;
  char* argv[] = {program.data(), command.data(), format_option.data(), nullptr};
  double cpu_seconds = 0;  // the program's own user and system time
  for (auto _ : state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    cpu_seconds += usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                   usage.ru_stime.tv_usec / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("qorlog export failed");
  }
  const double records = static_cast<double>(state.iterations()) * kFiles * kRecordsPerFile;
  state.SetItemsProcessed(static_cast<std::int64_t>(records));
  // The wall-clock rate depends on what else the machine runs; the rate per
  // second of the program's own processor time does not.
  state.counters["records_per_cpu_second"] = records / cpu_seconds;
}

BENCHMARK_CAPTURE(BM_ExportToDevNull, ecs, "ecs")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_ExportToDevNull, otel, "otel")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
