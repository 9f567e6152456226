// The records that export and forward send, read through the library's
// exports: the log files of a kind, oldest first, and every record of one
// file in the order it was written, with what the cursor needs to know the
// file again.
// Thread rules: none; every call is self-contained.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/qorlog.h"
#include "cli/record_format.h"

namespace qorlog::cli {

// One log file and what every record of it shares in the output.
struct ExportFile {
  DWORD kind = 0;
  std::string path;       // full path
  std::string name;       // 2024030500.log
  std::string category;   // "pc scan", as the folder is named
  std::string dataset;    // "pc_scan": the category as a field value
  std::string id_prefix;  // digest of host, category and name; event ids are "<prefix>-<index>"
  // The file's sequence number times one million, so that record index added
  // gives a number that grows across the files of a kind; -1 when the name is
  // not a number.
  std::int64_t sequence_base = -1;
};

// The files of `kind`, oldest first (the order of QORLOG_GetLogFileCnt).
std::vector<ExportFile> ListExportFiles(DWORD kind, const std::string& host);

struct FileRecords {
  DWORD status = 0;                // of the array read: 0, 8, 1627 (damaged, nothing read)
  DWORD open_status = 0;           // of the open: 0 or a system error code
  std::vector<RecordView> records;  // oldest first; RecordView::file is left empty
  std::string digest;              // of the first record: names the file by content; empty without records
};

// Every record of `file`, oldest first.
FileRecords ReadFileRecords(const ExportFile& file);

// Lower-case hex of the first `bytes` bytes of the SHA-256 digest of `data`.
std::string HexDigest(const void* data, std::size_t size, std::size_t bytes);

}  // namespace qorlog::cli
