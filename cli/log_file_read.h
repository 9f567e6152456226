// Reading one log file through the library's exports, with what the program
// needs to tell a whole file from a damaged or cut-off one: the header, the
// records (newest first) and how many bytes those records take in the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/qorlog.h"
#include "cli/record_format.h"

namespace qorlog::cli {

struct LogFileRead {
  DWORD open_status = 0;                // of QORLOG_OpenLogFile
  std::optional<stLOG_HEADER> header;   // none when it could not be read (cut off)
  DWORD read_status = 0;                // of the array read; 1627: a record the readers refuse
  std::vector<RecordView> records;      // newest first
  std::uint64_t records_end = 0;        // offset just after the last record read

  bool HeaderValid() const {
    return header && header->dwCheck == static_cast<DWORD>(header->dwVersion + header->dwItemCount);
  }
};

// Opens `path` and reads its header; with `records` also every record, taken
// as the record kind of `kind`.
LogFileRead ReadLogFile(const std::string& path, DWORD kind, bool records);

}  // namespace qorlog::cli
