// The usable-file test of CLogUtil, shared by the current-file search and
// pruning, so that both agree on which files are the library's own.
#include "logstore/archive.h"
#include "logstore/log_format.h"
#include "logstore/log_records.h"
#include "logstore/log_util.h"
#include "platform/file.h"

namespace qorlog::inline logstore {

BOOL CLogUtil::IsAllDigits(std::u16string_view text) {
  if (text.empty()) return 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
  }
  return 1;
}

BOOL CLogUtil::IsLogFileName(std::u16string_view name) {
  // Split at the last dot: the extension is the dot and what follows.
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return 0;
  return name.substr(dot) == u".log" && IsAllDigits(name.substr(0, dot));
}

BOOL CLogUtil::HasValidHeader(std::u16string_view folder, std::u16string_view name) {
  platform::PathBuffer path(folder);
  path.AppendPart(name);
  platform::File file;
  if (!file.Open(path.view(), platform::File::modeRead | platform::File::shareExclusive)) return 0;
  return HasValidHeader(file);
}

BOOL CLogUtil::HasValidHeader(platform::File& file, DWORD* count) {
  try {
    file.SeekToBegin();
    // A buffer the size of the header: the check reads nothing after it.
    Archive ar(file, Archive::kLoad, kHeaderSize);
    CLogHeader header;
    header.Serialize(ar);
    ar.Close();
    if (!header.IsValid()) return 0;
    if (count != nullptr) *count = header.dwItemCount;
    return 1;
  } catch (const platform::FileException&) {
    return 0;
  } catch (const ArchiveException&) {
    return 0;
  }
}

BOOL CLogUtil::IsUsableLogFile(std::u16string_view folder, std::u16string_view name, DWORD size_high,
                               DWORD size_low) {
  if (size_high != 0 || size_low >= kCandidateSizeLimit) return 0;
  if (!IsLogFileName(name)) return 0;
  return HasValidHeader(folder, name);
}

}  // namespace qorlog::logstore
