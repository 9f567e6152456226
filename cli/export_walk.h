// The walk behind export and forward: every record of the chosen kinds,
// oldest first across the files of each kind, handed to a sink in batches;
// the cursor moves past a batch once the sink has taken it. With follow the
// walk then waits for the log folders to change and goes on, across new
// files (rotation, a new day) and removed ones (pruning), until SIGINT or
// SIGTERM.
//
// Files the walk cannot use, and files removed before they were read to
// their end, are reported on standard error; the walk goes on with the next
// record by time and its result says so.
// Thread rules: one walk per process, on the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "api/qorlog.h"
#include "cli/exit_codes.h"
#include "cli/export_source.h"

namespace qorlog::cli {

// Records of one file handed over together: records[i] for each i in indices
// (the positions in the file of those the time range let through).
struct Batch {
  const ExportFile* file = nullptr;
  std::span<const RecordView> records;
  std::vector<std::uint32_t> indices;
};

class RecordSink {
 public:
  enum class Result { kTaken, kStopped, kFailed };
  virtual ~RecordSink() = default;
  // Hands over a batch. kTaken once the destination has it (the cursor then
  // moves past it); kStopped when a stop was requested before that; kFailed
  // when the destination is gone for good (the sink has said why).
  virtual Result Deliver(const Batch& batch) = 0;
};

struct WalkOptions {
  std::string command;  // "qorlog export", for messages
  std::vector<DWORD> kinds;
  std::optional<std::int64_t> since;  // local file times, inclusive
  std::optional<std::int64_t> until;
  bool follow = false;
  std::string cursor_path;  // empty: no cursor
  std::size_t batch_size = 1000;
  std::string host;
};

// The exit status of the walk: 0; 3 when damaged files or records removed
// before they were read were met; 4 when the sink failed or the cursor could
// not be written; 2 for a cursor file that cannot be used.
ExitCode RunWalk(const WalkOptions& options, RecordSink& sink);

}  // namespace qorlog::cli
