// CLogUtil::CountLogFiles: the file list of a category, oldest first.
#include <vector>

#include "logstore/log_format.h"
#include "logstore/log_util.h"
#include "logstore/sorted_string_array.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qorlog::inline logstore {

DWORD CLogUtil::CountLogFiles(DWORD kind, stLOG_FILE_ITEM** list, BlockAllocator allocate) const {
  platform::PathBuffer folder = GetLogFolder(kind);
  folder.AppendSeparatorUnlessPresent();
  platform::PathBuffer pattern(folder.view());
  pattern.Append(u"*.*");

  CSortedStringArray paths;
  std::vector<platform::FindData> entries;
  // A missing or unreadable folder simply lists nothing.
  if (platform::FindFiles(pattern.view(), &entries) == 0) {
    for (const platform::FindData& entry : entries) {
      const std::u16string_view name = entry.name;
      if (name == u"." || name == u"..") continue;
      const std::size_t dot = name.rfind(u'.');
      const std::u16string_view extension = dot == std::u16string_view::npos ? name : name.substr(dot + 1);
      if (extension != u"log") continue;  // case-sensitive: "x.LOG" is not listed
      platform::PathBuffer full(folder.view());
      full.Append(name);
      paths.Add(full.str());
    }
  }
  paths.SortAscending();

  const std::size_t count = paths.GetSize();
  auto* block = static_cast<stLOG_FILE_ITEM*>(allocate(count * sizeof(stLOG_FILE_ITEM)));
  *list = block;
  if (block == nullptr) return 0;
  for (std::size_t i = 0; i < count; ++i) {
    block[i].dwRecordKind = RecordKindOf(kind);
    block[i].dwKind = kind;
    platform::CopyTruncated(block[i].szPath, platform::kMaxPath, paths.GetAt(i));
  }
  return static_cast<DWORD>(count);
}

}  // namespace qorlog::logstore
