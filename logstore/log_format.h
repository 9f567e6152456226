// The fixed numbers of the log file format, shared by the writing and the
// reading side. Layout: a 12-byte header (version, item count, check; three
// little-endian u32) followed by records back to back until the end of the
// file. docs/log_format.md describes every byte with a worked example.
// Thread rules: constants and pure functions only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "api/qorlog.h"

namespace qorlog::inline logstore {

// Every archive reads and writes through a buffer of this many bytes.
inline constexpr std::size_t kArchiveBufferSize = 4096;

// The header: dwVersion, dwItemCount, dwCheck (= version + count, mod 2^32).
inline constexpr std::uint32_t kHeaderSize = 12;
inline constexpr std::uint32_t kLogVersion = 1;

// A stored time: eight little-endian u16 (year, month, day of week, day,
// hour, minute, second, milliseconds).
inline constexpr std::uint32_t kStoredTimeSize = 16;

// String encoding. A length is one byte below 0xFF; else 0xFF and a u16
// below 0xFFFE; else 0xFF, 0xFFFF and a u32. A UTF-16 string is prefixed by
// 0xFF and the u16 marker 0xFFFE before its length.
inline constexpr std::uint8_t kLengthEscape = 0xFF;
inline constexpr std::uint16_t kUtf16Marker = 0xFFFE;
inline constexpr std::uint16_t kLength32Escape = 0xFFFF;

// Text field capacities of the boundary records, terminator included.
inline constexpr std::size_t kText64Chars = 64;
inline constexpr std::size_t kText260Chars = 260;

// The values that the array reads accept (exclusive upper bounds).
inline constexpr DWORD kCodeLimit = 603;
inline constexpr DWORD kSubCodeLimit = 206;        // PC scan and firewall
inline constexpr DWORD kSimpleSubCodeLimit = 406;  // simple records

// The record kind a file of category `kind` holds: below 1001 PC scan
// (1000), exactly 1001 firewall, above 1001 simple (1002).
inline constexpr DWORD kRecordKindPCScan = 1000;
inline constexpr DWORD kRecordKindFirewall = 1001;
inline constexpr DWORD kRecordKindSimple = 1002;
constexpr DWORD RecordKindOf(DWORD kind) {
  return kind > kRecordKindFirewall    ? kRecordKindSimple
         : kind == kRecordKindFirewall ? kRecordKindFirewall
                                       : kRecordKindPCScan;
}

}  // namespace qorlog::logstore
