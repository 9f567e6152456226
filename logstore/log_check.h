// CheckLogFile: walks a log file as the array reads do and says how it ends,
// so that a tool can tell a complete file from a cut-off or damaged one
// (the reads themselves treat a cut-off tail as the normal end).
// Thread rules: none; opens the file with full sharing for the one call,
// waiting a moment for a holder that shuts readers out (open_when_free.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "api/qorlog.h"

namespace qorlog::inline logstore {

struct LogFileCheck {
  enum class Stop {
    kEndOfFile,     // the records ran to the end (check end_of_records)
    kOutOfBounds,   // a complete record holds a code the readers refuse
    kUnreadable,    // a file error or another archive error
  };
  DWORD open_error = 0;  // 0 when the file could be opened
  std::uint64_t file_size = 0;
  bool header_complete = false;  // the file holds all 12 header bytes
  bool header_valid = false;
  DWORD header_version = 0;
  DWORD header_count = 0;
  DWORD records = 0;  // complete records with accepted values
  std::uint64_t end_of_records = 0;  // offset just after the last complete record
  Stop stop = Stop::kEndOfFile;
  DWORD bad_code = 0;  // for kOutOfBounds: the record's values
  DWORD bad_sub_code = 0;

  // True when the file ends exactly after its last complete record.
  bool CutOff() const { return stop == Stop::kEndOfFile && end_of_records < file_size; }
};

// `kind` picks the record kind as the readers do (below 1001 PC scan, 1001
// firewall, above simple).
LogFileCheck CheckLogFile(std::u16string_view path, DWORD kind);

}  // namespace qorlog::logstore
