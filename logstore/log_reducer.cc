#include "logstore/log_reducer.h"

#include <algorithm>

#include "logstore/log_util.h"
#include "logstore/sorted_string_array.h"
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/path_buffer.h"

namespace qorlog::inline logstore {

namespace {

// The usable files of `folder` (names, and sizes when wanted). 0, or the
// system error of a search that could not start.
DWORD FindUsable(std::u16string_view folder, std::vector<std::u16string>* names,
                 std::map<std::u16string, DWORD>* sizes, std::uint64_t* total) {
  platform::PathBuffer pattern(folder);
  pattern.AppendPart(u"*.log");
  std::vector<platform::FindData> entries;
  if (const DWORD err = platform::FindFiles(pattern.view(), &entries); err != 0) return err;
  for (const platform::FindData& e : entries) {
    if (e.is_directory || !CLogUtil::IsUsableLogFile(folder, e.name, e.size_high, e.size_low)) continue;
    names->push_back(e.name);
    if (sizes != nullptr) (*sizes)[e.name] = e.size_low;
    if (total != nullptr) *total += e.size_low;
  }
  return 0;
}

}  // namespace

void CLogReducer::SortAscending(std::vector<std::u16string>& names) {
  // The file list's order: a stable case-insensitive sort.
  std::stable_sort(names.begin(), names.end(),
                   [](const std::u16string& a, const std::u16string& b) { return CompareNoCase(a, b) < 0; });
}

DWORD CLogReducer::Reduce(std::u16string_view folder) {
  // A folder reached through a link is not pruned: its files are outside the
  // log tree. Inside the tree every folder below its base is checked, else
  // the folder itself.
  char16_t base[platform::kMaxPath] = {};
  CLogUtil().GetProgramFilesPath(base, platform::kMaxPath);
  const std::u16string_view base_view(base);
  std::size_t from = 0;
  if (!base_view.empty() && folder.starts_with(base_view)) {
    from = base_view.size();
  } else if (const std::size_t last = folder.find_last_not_of(platform::kPathSeparator);
             last != std::u16string_view::npos) {
    const std::size_t parent = folder.rfind(platform::kPathSeparator, last);
    from = parent == std::u16string_view::npos ? 0 : parent;
  }
  if (LinkInFolderChain(folder, from)) return platform::kErrorAccessDenied;
  const DWORD result = ReduceByCount(folder);
  if (result != 0) return result;
  return ReduceBySize(folder);
}

DWORD CLogReducer::ReduceByCount(std::u16string_view folder) {
  std::vector<std::u16string> names;
  if (const DWORD err = FindUsable(folder, &names, nullptr, nullptr); err != 0) return MapFindError(err);
  if (names.size() < kReduceCountStart) return 0;
  SortAscending(names);
  const std::size_t excess = names.size() - kReduceCountKeep;
  for (std::size_t i = 0; i < excess; ++i) DeleteLogFile(folder, names[i]);
  return 0;
}

DWORD CLogReducer::ReduceBySize(std::u16string_view folder) {
  std::vector<std::u16string> names;
  std::map<std::u16string, DWORD> sizes;
  // Summed in 64 bits: thousands of files just under 2 MiB must not wrap.
  std::uint64_t total = 0;
  if (const DWORD err = FindUsable(folder, &names, &sizes, &total); err != 0) return MapFindError(err);
  if (total < kReduceSizeStart) return 0;
  DeleteOldest(names, total, sizes, folder);
  return 0;
}

void CLogReducer::DeleteOldest(std::vector<std::u16string>& names, std::uint64_t total,
                               const std::map<std::u16string, DWORD>& sizes, std::u16string_view folder) {
  SortAscending(names);
  const std::uint64_t excess = total - kReduceSizeKeep;
  std::uint64_t freed = 0;
  std::size_t k = 0;
  for (const std::u16string& name : names) {
    const auto it = sizes.find(name);
    freed += it != sizes.end() ? it->second : 0;
    ++k;
    if (freed >= excess) break;
  }
  for (std::size_t i = 0; i < k; ++i) DeleteLogFile(folder, names[i]);
}

BOOL CLogReducer::DeleteLogFile(std::u16string_view folder, std::u16string_view name) {
  platform::PathBuffer path(folder);
  path.AppendPart(name);
  platform::SetAttributesNormal(path.view());
  return platform::DeleteFileNamed(path.view()) == 0 ? 1 : 0;
}

DWORD CLogReducer::MapFindError(DWORD code) {
  if (code == platform::kErrorFileNotFound) {
    platform::SetLastError(0);
    return 0;
  }
  return code;
}

}  // namespace qorlog::logstore
