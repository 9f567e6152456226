#include "cli/log_file_read.h"

#include "logstore/log_format.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

// The bytes a text takes in a file that the library's writers wrote: the
// UTF-16 marker, the length in code units (one byte, or an escape and 16 or
// 32 bits) and two bytes a unit. Readers also take 8-bit texts, which the
// writers never store; for such a file the sum can differ from its length.
template <std::size_t N>
std::uint64_t StoredSize(const WCHAR (&field)[N]) {
  const std::uint64_t units = platform::WideLength(field, N);
  const std::uint64_t length = units < kLengthEscape ? 1 : units < kLength32Escape - 1 ? 3 : 7;
  return 1 + sizeof(kUtf16Marker) + length + 2 * units;
}

std::uint64_t StoredSize(const stPC_SCAN_LOG_W& r) {
  return kStoredTimeSize + 2 * sizeof(DWORD) + StoredSize(r.szText64) + StoredSize(r.szText260);
}
std::uint64_t StoredSize(const stFW_LOG_W& r) {
  return kStoredTimeSize + 3 * sizeof(DWORD) + StoredSize(r.szText64) + StoredSize(r.szText260) +
         StoredSize(r.szText64b);
}
std::uint64_t StoredSize(const stSIMPLE_LOG_W& r) {
  return kStoredTimeSize + 2 * sizeof(DWORD) + StoredSize(r.szText260);
}

// Reads every record with the array export `read` and hands each to `add`.
template <typename Record, typename Read, typename Free, typename Add>
DWORD ReadAll(void* log, Read read, Free free, LogFileRead* out, Add add) {
  Record* array = nullptr;
  DWORD count = 0;
  const DWORD status = read(log, &array, &count);
  for (DWORD i = 0; array != nullptr && i < count; ++i) {
    add(array[i]);
    out->records_end += StoredSize(array[i]);
  }
  if (array != nullptr) free(array);
  return status;
}

}  // namespace

LogFileRead ReadLogFile(const std::string& path, DWORD kind, bool records) {
  LogFileRead out;
  const std::u16string wide = platform::Utf8ToUtf16(path);
  void* log = nullptr;
  out.open_status = QORLOG_OpenLogFile(wide.c_str(), &log);
  if (out.open_status == 0) {
    stLOG_HEADER* header = nullptr;
    if (QORLOG_GetLogItemCnt(log, &header) == 0 && header != nullptr) out.header = *header;
    if (header != nullptr) QORLOG_FreeLogHeader(header);
  }
  if (out.open_status == 0 && records) {
    out.records_end = kHeaderSize;
    auto& views = out.records;
    switch (RecordKindOf(kind)) {
      case kRecordKindPCScan:
        out.read_status = ReadAll<stPC_SCAN_LOG_W>(log, QORLOG_ReadPCScanLogArray, QORLOG_FreePCScanLogArray, &out,
                                                   [&](const auto& r) { views.push_back(ViewOf(r, path)); });
        break;
      case kRecordKindFirewall:
        out.read_status = ReadAll<stFW_LOG_W>(log, QORLOG_ReadFWLogArray, QORLOG_FreeFWLogArray, &out,
                                              [&](const auto& r) { views.push_back(ViewOf(r, path)); });
        break;
      default:
        out.read_status = ReadAll<stSIMPLE_LOG_W>(log, QORLOG_ReadSimpleLogArray, QORLOG_FreeSimpleLogArray, &out,
                                                  [&](const auto& r) { views.push_back(ViewOf(kind, r, path)); });
        break;
    }
  }
  QORLOG_CloseLog(log);
  return out;
}

}  // namespace qorlog::cli
