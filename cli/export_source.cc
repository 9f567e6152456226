#include "cli/export_source.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "crypto/cryptmod.h"
#include "logstore/log_format.h"
#include "cli/log_kind.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

// Reads the array of one record kind and turns it around (the library hands
// the newest first).
template <typename Rec, typename ReadFn, typename FreeFn, typename ViewFn>
DWORD ReadArray(void* log, ReadFn read, FreeFn free_array, ViewFn view, FileRecords* out) {
  Rec* array = nullptr;
  DWORD count = 0;
  const DWORD status = read(log, &array, &count);
  if (array == nullptr) return status;
  out->records.reserve(count);
  for (DWORD i = count; i-- > 0;) out->records.push_back(view(array[i]));
  // The library zero-fills every element, so the bytes of the first record
  // depend only on its values.
  if (count > 0) out->digest = HexDigest(&array[count - 1], sizeof(Rec), 16);
  free_array(array);
  return status;
}

}  // namespace

std::string HexDigest(const void* data, std::size_t size, std::size_t bytes) {
  std::uint8_t* digest = nullptr;
  std::uint32_t length = 0;
  if (CryptDigestBytes(CRYPTMOD_HASH_SHA256, data, size, &digest, &length) != CRYPTMOD_OK) return {};
  CryptMemPtr owned(digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < std::min<std::size_t>(bytes, length); ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

std::vector<ExportFile> ListExportFiles(DWORD kind, const std::string& host) {
  std::vector<ExportFile> out;
  stLOG_FILE_ITEM* items = nullptr;
  const DWORD count = QORLOG_GetLogFileCnt(kind, &items);
  const std::string category = std::string(CategoryName(kind));
  std::string dataset = category;
  std::replace(dataset.begin(), dataset.end(), ' ', '_');
  for (DWORD i = 0; i < count; ++i) {
    ExportFile f;
    f.kind = kind;
    f.path = platform::Utf16ToUtf8(items[i].szPath);
    f.name = std::filesystem::path(f.path).filename().string();
    f.category = category;
    f.dataset = dataset;
    const std::string key = host + "\n" + category + "\n" + f.name;
    f.id_prefix = HexDigest(key.data(), key.size(), 8);
    const std::string stem = std::filesystem::path(f.name).stem().string();
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(stem.data(), stem.data() + stem.size(), number);
    if (ec == std::errc() && end == stem.data() + stem.size() && number >= 0 && number < 9'000'000'000'000)
      f.sequence_base = number * 1'000'000;
    out.push_back(std::move(f));
  }
  if (items != nullptr) QORLOG_FreeLogHeader(reinterpret_cast<stLOG_HEADER*>(items));
  return out;
}

FileRecords ReadFileRecords(const ExportFile& file) {
  FileRecords out;
  const std::u16string wide = platform::Utf8ToUtf16(file.path);
  void* log = nullptr;
  out.open_status = QORLOG_OpenLogFile(wide.c_str(), &log);
  if (out.open_status == 0) {
    switch (RecordKindOf(file.kind)) {
      case kRecordKindPCScan:
        out.status = ReadArray<stPC_SCAN_LOG_W>(log, QORLOG_ReadPCScanLogArray, QORLOG_FreePCScanLogArray,
                                                [](const stPC_SCAN_LOG_W& r) { return ViewOf(r); }, &out);
        break;
      case kRecordKindFirewall:
        out.status = ReadArray<stFW_LOG_W>(log, QORLOG_ReadFWLogArray, QORLOG_FreeFWLogArray,
                                           [](const stFW_LOG_W& r) { return ViewOf(r); }, &out);
        break;
      default:
        out.status = ReadArray<stSIMPLE_LOG_W>(log, QORLOG_ReadSimpleLogArray, QORLOG_FreeSimpleLogArray,
                                               [&](const stSIMPLE_LOG_W& r) { return ViewOf(file.kind, r); }, &out);
        break;
    }
  }
  QORLOG_CloseLog(log);
  return out;
}

}  // namespace qorlog::cli
