#include "logstore/log_util.h"

#include <algorithm>

#include "api/status.h"
#include "platform/errors.h"
#include "platform/find_names.h"
#include "platform/fs.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace qorlog::inline logstore {

using platform::kMaxPath;
using platform::PathBuffer;

// Registry errors are returned as statuses as they are.
static_assert(platform::kErrorFileNotFound == kStatusFileNotFound);
static_assert(platform::kErrorInvalidData == kStatusInvalidData);
static_assert(platform::kErrorMoreData == kStatusMoreData);

namespace {

constexpr std::u16string_view kCurrentVersionKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr std::u16string_view kProgramFilesValue = u"ProgramFilesDir (x86)";

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// The value's type and shape: a string type with an even length that ends in
// NUL (two for a multi-string).
bool IsWellFormedString(DWORD type, const char16_t* data, DWORD bytes, DWORD capacity_bytes) {
  if (bytes > capacity_bytes) return true;  // cut off by the buffer; the read reports 234
  if (bytes % 2 != 0) return false;
  const DWORD chars = bytes / 2;
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      return chars >= 1 && data[chars - 1] == 0;
    case platform::kRegMultiSz:
      return bytes >= 4 && data[chars - 1] == 0 && data[chars - 2] == 0;
    default:
      return false;
  }
}

}  // namespace

DWORD CLogUtil::GetProgramFilesPath(char16_t* buffer, DWORD size) const {
  platform::RegistryKey key;
  if (DWORD err = key.Open(kCurrentVersionKey, platform::kKeyRead); err != 0) return err;

  char16_t value[2 * kMaxPath] = {};
  DWORD type = platform::kRegNone;
  DWORD bytes = kMaxPath * sizeof(char16_t);
  const DWORD read = key.QueryValue(kProgramFilesValue, &type, value, &bytes);
  const bool typed = type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegMultiSz;
  if (!typed || !IsWellFormedString(type, value, bytes, kMaxPath * sizeof(char16_t))) {
    return platform::kErrorInvalidData;
  }
  if (read != 0) return read;

  if (size != 0 && size < 0x80000000u) {
    std::u16string_view text(value, platform::WideLength(value, kMaxPath));
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
  }
  return 0;
}

std::u16string CLogUtil::GetCategoryName(DWORD kind) {
  switch (kind) {
    case QORLOG_KIND_PCSCAN:
      return u"pc scan";
    case QORLOG_KIND_FIREWALL:
      return u"firewall";
    case QORLOG_KIND_ANTIKEYLOGGER:
      return u"anti keylogger";
    case QORLOG_KIND_SECUREBROWSER:
      return u"secure browser";
    case QORLOG_KIND_PELLORA:
      return u"pellora i";
    default:
      return u"etc";
  }
}

PathBuffer CLogUtil::GetLogFolder(DWORD kind) const {
  char16_t base[kMaxPath] = {};
  GetProgramFilesPath(base, kMaxPath);  // a failure leaves an empty base
  PathBuffer path(base);
  path.AppendPart(kCommonLogSubfolder);
  path.AppendPart(GetCategoryName(kind));
  return path;
}

std::u16string CLogUtil::GetUpdateFolder() const {
  char16_t base[kMaxPath] = {};
  GetProgramFilesPath(base, kMaxPath);
  PathBuffer path(base);
  path.AppendPart(kUpdateSubfolder);
  return path.str();
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  while (!folder.empty() && IsBlank(folder.back())) folder.remove_suffix(1);
  while (!folder.empty() && folder.back() == platform::kPathSeparator) folder.remove_suffix(1);
  while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
  while (!name.empty() && name.front() == platform::kPathSeparator) name.remove_prefix(1);
  std::u16string out(folder);
  out.push_back(platform::kPathSeparator);
  out.append(name);
  return out;
}

bool MakeLogFolder(std::u16string_view path) { return platform::CreateFolderTree(path) == 0; }

bool LinkInFolderChain(std::u16string_view folder, std::size_t from) {
  while (!folder.empty() && folder.back() == platform::kPathSeparator) folder.remove_suffix(1);
  std::size_t start = std::min(from, folder.size());
  while (start < folder.size()) {
    while (start < folder.size() && folder[start] == platform::kPathSeparator) ++start;
    if (start == folder.size()) break;
    std::size_t end = folder.find(platform::kPathSeparator, start);
    if (end == std::u16string_view::npos) end = folder.size();
    // The search describes the entry itself: a link is not a folder there.
    platform::FindData entry;
    if (platform::QueryFileEntry(folder.substr(0, start), folder.substr(start, end - start), &entry) &&
        !entry.is_directory) {
      return true;
    }
    start = end;
  }
  return false;
}

}  // namespace qorlog::logstore
