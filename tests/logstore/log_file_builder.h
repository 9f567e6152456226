// Test helper: builds the bytes of log files (headers and records) with the
// library's own archive and record objects, so tests can cut, damage and
// concatenate them before writing them to disk.
#pragma once

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "api/qorlog.h"
#include "logstore/archive.h"
#include "logstore/log_records.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/temp_env.h"

namespace qorlog::testing {

// The bytes that `body` stores through an archive.
inline std::string Encode(const std::function<void(Archive&)>& body) {
  static TempDir dir;
  static std::atomic<int> counter{0};
  const auto path = dir.path() / std::to_string(counter++);
  {
    platform::File file;
    if (!file.Open(platform::Utf8ToUtf16(path.string()), platform::File::modeCreate | platform::File::modeReadWrite))
      return {};
    Archive ar(file, Archive::kStore);
    body(ar);
    ar.Close();
  }
  std::string bytes = ReadFile(path);
  std::filesystem::remove(path);
  return bytes;
}

// A header of `count` records; its check is the right one unless given.
inline std::string HeaderBytes(DWORD count, DWORD version = 1, std::optional<DWORD> check = std::nullopt) {
  CLogHeader h;
  h.dwVersion = version;
  h.dwItemCount = count;
  h.dwCheck = check.value_or(version + count);
  return Encode([&](Archive& ar) { h.Serialize(ar); });
}

template <typename Record>
std::string RecordBytes(Record record) {
  return Encode([&](Archive& ar) { record.Serialize(ar); });
}

inline CPCScanLogRecord PCScan(DWORD code, DWORD sub_code, std::u16string text64 = u"t64",
                               std::u16string text260 = u"t260") {
  CPCScanLogRecord r;
  r.stTime = {2024, 3, 5, 14, 9, 8, 7, static_cast<uint16_t>(code % 1000)};
  r.dwCode = code;
  r.dwSubCode = sub_code;
  r.strText64 = std::move(text64);
  r.strText260 = std::move(text260);
  return r;
}

inline CFWLogRecord Firewall(DWORD code, DWORD sub_code, DWORD param = 0, std::u16string text260 = u"rule") {
  CFWLogRecord r;
  r.stTime = {2024, 3, 5, 14, 9, 8, 7, static_cast<uint16_t>(code % 1000)};
  r.dwCode = code;
  r.dwSubCode = sub_code;
  r.dwParam = param;
  r.strText64 = u"app";
  r.strText260 = std::move(text260);
  r.strText64b = u"10.0.0.1";
  return r;
}

inline CSimpleLogRecord Simple(DWORD code, DWORD sub_code, std::u16string text260 = u"event") {
  CSimpleLogRecord r;
  r.stTime = {2024, 3, 5, 14, 9, 8, 7, static_cast<uint16_t>(code % 1000)};
  r.dwCode = code;
  r.dwSubCode = sub_code;
  r.strText260 = std::move(text260);
  return r;
}

}  // namespace qorlog::testing
