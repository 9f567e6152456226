// Reading a 1 MiB log file of firewall records: the array read export (open,
// decode every record into the handed-out array, free, close) against one
// plain read of the same file's bytes. Both report bytes per second of file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "api/qorlog.h"
#include "logstore/archive.h"
#include "logstore/log_records.h"
#include "platform/file.h"
#include "platform/text.h"

namespace {

constexpr std::uint64_t kFileSize = 1u << 20;

struct BenchFile {
  std::filesystem::path folder;
  std::u16string path;
  std::uint64_t size = 0;
  DWORD records = 0;

  BenchFile() {
    folder = std::filesystem::temp_directory_path() / ("qorlog-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    path = qorlog::platform::Utf8ToUtf16((folder / "2024030500.log").string());
    Write();
  }
  ~BenchFile() { std::filesystem::remove_all(folder); }

  // A header and records of typical length until the next would pass 1 MiB;
  // the header count is written last, as the appends keep it.
  void Write() {
    using qorlog::Archive;
    qorlog::platform::File file;
    if (!file.Open(path, qorlog::platform::File::modeCreate | qorlog::platform::File::modeReadWrite)) std::abort();
    file.Seek(12, qorlog::platform::File::begin);
    for (DWORD i = 0;; ++i) {
      qorlog::CFWLogRecord r;
      r.stTime = {2024, 3, 2, 5, 14, static_cast<uint16_t>(i / 60 % 60), static_cast<uint16_t>(i % 60),
                  static_cast<uint16_t>(i % 1000)};
      r.dwCode = i % 603;
      r.dwSubCode = i % 206;
      r.dwParam = i;
      r.strText64 = u"C:/Program Files/Browser/browser.exe";
      r.strText260 = u"Outbound connection allowed by rule " + std::u16string(1, u'A' + i % 26) +
                     u": TCP 10.0.0.17:51515 -> 93.184.216.34:443, 1532 bytes sent, 88213 received";
      r.strText64b = u"93.184.216.34:443";
      const std::uint64_t before = file.GetPosition();
      Archive ar(file, Archive::kStore);
      r.Serialize(ar);
      ar.Close();
      if (file.GetPosition() > kFileSize) {
        file.SetLength(before);
        break;
      }
      ++records;
    }
    size = file.GetLength();
    file.Seek(0, qorlog::platform::File::begin);
    qorlog::CLogHeader h;
    h.dwVersion = 1;
    h.dwItemCount = records;
    h.dwCheck = records + 1;
    Archive ar(file, Archive::kStore);
    h.Serialize(ar);
    ar.Close();
  }
};

BenchFile& File() {
  static BenchFile file;
  return file;
}

void BM_ReadFWLogArray(benchmark::State& state) {
  BenchFile& f = File();
  for (auto _ : state) {
    void* log = nullptr;
    if (QORLOG_OpenLogFile(f.path.c_str(), &log) != 0) state.SkipWithError("open failed");
    stFW_LOG_W* array = nullptr;
    DWORD count = 0;
    if (QORLOG_ReadFWLogArray(log, &array, &count) != 0 || count != f.records) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(array);
    QORLOG_FreeFWLogArray(array);
    QORLOG_CloseLog(log);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.size));
  state.counters["records"] = f.records;
  state.counters["file_bytes"] = static_cast<double>(f.size);
}

void BM_PlainRead(benchmark::State& state) {
  BenchFile& f = File();
  std::vector<char> buffer(f.size);
  for (auto _ : state) {
    qorlog::platform::File file;
    if (!file.Open(f.path, qorlog::platform::File::modeRead | qorlog::platform::File::shareDenyNone))
      state.SkipWithError("open failed");
    if (file.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())) != f.size) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.size));
}

}  // namespace

BENCHMARK(BM_ReadFWLogArray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
