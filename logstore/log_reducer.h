// CLogReducer: pruning of a category folder. Two rules, each over the usable
// files only (CLogUtil::IsUsableLogFile, the test the current-file search
// uses), oldest first by name:
//   count: from 100 usable files on, delete all but the newest 90;
//   size:  from 10 MiB of usable files on, delete the oldest until the sizes
//          deleted reach the total less 9 MiB.
// The size rule runs only when the count rule could search the folder, and
// searches it afresh. Files that fail the test (damaged, 2 MiB or more, other
// names, held open by anyone) are neither counted, summed nor deleted; a file
// that cannot be deleted simply stays.
// Thread rules: no lock is taken; any thread, while writers append.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qorlog::inline logstore {

// The limits of the two rules.
inline constexpr std::size_t kReduceCountStart = 100;
inline constexpr std::size_t kReduceCountKeep = 90;
inline constexpr std::uint64_t kReduceSizeStart = 0xA00000;  // 10 MiB
inline constexpr std::uint64_t kReduceSizeKeep = 0x900000;   // 9 MiB

class CLogReducer {
 public:
  CLogReducer() = default;
  virtual ~CLogReducer() = default;

  // ReduceByCount, then ReduceBySize when that returned 0; the result of the
  // last rule run: 0, or the error of a search that could not start.
  DWORD Reduce(std::u16string_view folder);
  DWORD ReduceByCount(std::u16string_view folder);
  DWORD ReduceBySize(std::u16string_view folder);

  // Deletes the oldest names until their sizes reach `total` less 9 MiB.
  void DeleteOldest(std::vector<std::u16string>& names, std::uint64_t total,
                    const std::map<std::u16string, DWORD>& sizes, std::u16string_view folder);
  // Clears the read-only state of folder/name and deletes it; whether the
  // deletion succeeded.
  BOOL DeleteLogFile(std::u16string_view folder, std::u16string_view name);
  // "No matching file" (2) is no error: 0, and the last error is cleared.
  // Every other code is returned as it is.
  DWORD MapFindError(DWORD code);

  // Orders names oldest first: ascending, ignoring case.
  static void SortAscending(std::vector<std::u16string>& names);
};

}  // namespace qorlog::logstore
