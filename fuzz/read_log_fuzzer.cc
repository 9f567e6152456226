// Feeds arbitrary bytes, as a log file, to every read path of the library:
// the header read followed by one-by-one PC-scan reads, and each of the three
// array reads with the matching free. Any crash, sanitizer report or leak is
// a finding; every status is acceptable.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "api/qorlog.h"
#include "platform/text.h"

namespace {

std::u16string g_path;

void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size))) std::abort();
}

void* Open() {
  void* log = nullptr;
  if (QORLOG_OpenLogFile(g_path.c_str(), &log) != 0) std::abort();  // the file was just written
  return log;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto dir = std::filesystem::temp_directory_path() / ("qorlog-fuzz-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  g_path = qorlog::platform::Utf8ToUtf16((dir / "input.log").string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteInput(qorlog::platform::Utf16ToUtf8(g_path), data, size);

  // Header, then records one by one as the header's count asks (bounded so
  // that a huge count in a small input stays cheap; each failed read stops).
  void* log = Open();
  stLOG_HEADER* header = nullptr;
  if (QORLOG_GetLogItemCnt(log, &header) == 0) {
    const DWORD wanted = header->dwItemCount;
    if (QORLOG_FreeLogHeader(header) != 0) std::abort();
    stPC_SCAN_LOG_W rec;
    for (DWORD i = 0; i < wanted && i <= size; ++i) {
      if (QORLOG_ReadPCScanLog(log, &rec) != 0) break;
    }
  }
  QORLOG_CloseLog(log);

  DWORD count = 0;
  log = Open();
  stPC_SCAN_LOG_W* pc = nullptr;
  if (QORLOG_ReadPCScanLogArray(log, &pc, &count) == 0 && pc != nullptr) {
    if (QORLOG_FreePCScanLogArray(pc) != 0) std::abort();
  }
  stFW_LOG_W* fw = nullptr;
  if (QORLOG_ReadFWLogArray(log, &fw, &count) == 0 && fw != nullptr) {
    if (QORLOG_FreeFWLogArray(fw) != 0) std::abort();
  }
  stSIMPLE_LOG_W* simple = nullptr;
  if (QORLOG_ReadSimpleLogArray(log, &simple, &count) == 0 && simple != nullptr) {
    if (QORLOG_FreeSimpleLogArray(simple) != 0) std::abort();
  }
  QORLOG_CloseLog(log);
  return 0;
}
