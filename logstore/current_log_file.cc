#include "logstore/current_log_file.h"

#include "api/status.h"
#include "logstore/log_check.h"
#include "logstore/log_format.h"
#include "logstore/open_when_free.h"
#include "logstore/tail_repair.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/errors.h"
#include "platform/find_names.h"
#include "platform/fs.h"
#include "platform/path_buffer.h"
#include "platform/text.h"

namespace qorlog::inline logstore {

using platform::File;
using platform::PathBuffer;

namespace {

constexpr unsigned kOpenExisting = File::modeReadWrite | File::shareDenyWrite;
// A new file is created only where none exists: an existing file is never
// truncated or replaced, whatever kept the open from reaching it.
constexpr unsigned kCreateNew = File::modeCreateNew | File::modeReadWrite | File::shareDenyWrite;
constexpr std::u16string_view kDamagedSuffix = u".damaged";
// How many set-aside names are tried before giving up.
constexpr int kDamagedNameAttempts = 1000;

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (; *text != 0; ++text) out.push_back(static_cast<char16_t>(*text));
  return out;
}

// YYYYMMDD; every field is written with at least its width (a year above
// 9999 with all its digits), as "%04d%02d%02d" would.
std::u16string DateString(const SYSTEMTIME& now) {
  std::u16string out;
  auto put = [&out](unsigned value, std::size_t width) {
    char16_t digits[8];
    std::size_t n = 0;
    do {
      digits[n++] = static_cast<char16_t>(u'0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n < width) digits[n++] = u'0';
    while (n > 0) out.push_back(digits[--n]);
  };
  put(now.wYear, 4);
  put(now.wMonth, 2);
  put(now.wDay, 2);
  return out;
}

// Moves a damaged file that holds records out of the way, to the first free
// name of "<path>.damaged", "<path>.1.damaged", ... True when it was moved.
bool SetAside(const PathBuffer& path) {
  for (int i = 0; i < kDamagedNameAttempts; ++i) {
    std::u16string target = path.str();
    if (i > 0) target += u"." + Ascii(std::to_string(i).c_str());
    target += kDamagedSuffix;
    const DWORD err = platform::MoveFileNamed(path.view(), target);
    if (err == 0) return true;
    if (err != platform::kErrorFileExists && err != platform::kErrorAlreadyExists) return false;
  }
  return false;
}

}  // namespace

std::u16string CCurrentLogFile::NextFileName(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0 || dot > 19) return {};
  const std::u16string_view digits = name.substr(0, dot);
  std::uint64_t value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return {};
    value = value * 10 + static_cast<std::uint64_t>(c - u'0');
  }
  const std::uint64_t next = value + 1;
  if (next % kFilesPerDay == 0) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llu.log", static_cast<int>(digits.size()), static_cast<unsigned long long>(next));
  return Ascii(buf);
}

BOOL CCurrentLogFile::FindLatestFile(std::u16string_view date, platform::Folder& folder, File* open_file) {
  std::u16string pattern(date);
  pattern += u"??.log";
  // Paths are built in kMaxPath buffers and cut silently; where the
  // pattern's path would be cut, the search runs on the cut path by name.
  PathBuffer pattern_path(folder.path());
  pattern_path.AppendPart(pattern);
  if (pattern_path.size() < folder.path().size() + 1 + pattern.size()) {
    platform::Folder cut(pattern_path.view().substr(0, pattern_path.view().rfind(platform::kPathSeparator)));
    pattern = pattern_path.view().substr(pattern_path.view().rfind(platform::kPathSeparator) + 1);
    return FindLatestIn(pattern, cut, open_file);
  }
  return FindLatestIn(pattern, folder, open_file);
}

BOOL CCurrentLogFile::FindLatestIn(std::u16string_view pattern, platform::Folder& folder, File* open_file) {
  auto take = [&](const std::u16string& name, std::uint64_t size) {
    name_ = name;
    size_high_ = static_cast<DWORD>(size >> 32);
    size_low_ = static_cast<DWORD>(size);
    return true;
  };
  auto take_if_usable = [&](const std::u16string& name) {
    if (!CLogUtil::IsLogFileName(name)) return false;
    // The append's own open tells the size with no look at the entry. The
    // test through it answers as the read-only test would; a file past the
    // rotation size is closed again once a name is chosen.
    if (open_file != nullptr && open_file->OpenIn(folder, name, File::modeReadWrite | File::shareExclusive)) {
      const std::uint64_t size = open_file->GetLength();
      if (size < kCandidateSizeLimit && CLogUtil::HasValidHeader(*open_file, &kept_count_)) return take(name, size);
      open_file->Close();
      return false;
    }
    // Not opened so (a folder, a link, held, forbidden): the entry decides,
    // then the read-only test.
    platform::FindData entry;
    if (!platform::QueryFileEntry(folder, name, &entry) || entry.is_directory) return false;
    if (entry.size_high != 0 || entry.size_low >= kCandidateSizeLimit) return false;
    if (!CLogUtil::HasValidHeader(folder.path(), name)) return false;
    return take(name, entry.size_low);
  };
  // Greatest name first (ordinal order of the UTF-16 code units). The
  // greatest is usually usable and is found without listing every name.
  std::u16string greatest;
  if (platform::FindGreatestFileName(folder, pattern, &greatest) != 0) return 0;
  if (take_if_usable(greatest)) return 1;
  // Otherwise walk the names below it, each picked out when its turn comes.
  std::vector<std::u16string> names;
  if (platform::FindFileNames(folder, pattern, &names) != 0) return 0;
  std::erase_if(names, [&greatest](const std::u16string& name) { return name >= greatest; });
  while (!names.empty()) {
    const auto next = std::max_element(names.begin(), names.end());
    const std::u16string name = std::move(*next);
    *next = std::move(names.back());
    names.pop_back();
    if (take_if_usable(name)) return 1;
  }
  return 0;
}

BOOL CCurrentLogFile::ChooseFileName(std::u16string_view folder, File* open_file) {
  platform::Folder by_path(folder);
  return ChooseFileName(by_path, open_file);
}

BOOL CCurrentLogFile::ChooseFileName(platform::Folder& folder, File* open_file) {
  const std::u16string date = DateString(clock_());
  if (!FindLatestFile(date, folder, open_file)) {
    name_ = date + u"00.log";
    size_high_ = size_low_ = 0;
    return 1;
  }
  if (size_high_ == 0 && size_low_ < kRotationSize) {
    // The append's own share mode: viewers may read, no one else may write.
    if (open_file != nullptr && open_file->IsOpen() && !open_file->RelaxShare(File::shareDenyWrite)) {
      open_file->Close();
    }
    return 1;
  }
  if (open_file != nullptr) open_file->Close();
  std::u16string next = NextFileName(name_);
  if (next.empty()) return 0;
  name_ = std::move(next);
  size_high_ = size_low_ = 0;
  return 1;
}

void CLogManager::LoadServiceHelper(const PathBuffer& program_files) {
  PathBuffer path(program_files.view());
  path.AppendPart(kUpdateSubfolder);
  path.AppendPart(kServiceHelperSubfolder);
  path.AppendPart(kServiceHelperFileName);
  path.Append(platform::kModuleFileSuffix);
  bridge_.Load(path.c_str(), kLoadWithAlteredSearchPath);
}

DWORD CLogManager::OpenCurrentLogFile(DWORD kind, File& file, std::optional<DWORD>* header_count) {
  // The Program Files path is read once and serves both the category folder
  // and the helper's folder.
  char16_t base[platform::kMaxPath] = {};
  util_.GetProgramFilesPath(base, platform::kMaxPath);  // a failure leaves an empty base
  const PathBuffer program_files(base);
  PathBuffer folder(base);
  folder.AppendPart(kCommonLogSubfolder);
  folder.AppendPart(CLogUtil::GetCategoryName(kind));

  if (!bridge_.IsLoaded()) LoadServiceHelper(program_files);
  bridge_.TouchSubPath(folder.c_str());
  // Nothing is created or written through a link in the log tree. The
  // folders below the Program Files folder are walked (and made where
  // missing) without following a link, and the search and the opens below
  // go through the folder that walk reached, so a link planted or swapped in
  // meanwhile leads nowhere. A folder the walk could not make or open, or
  // one whose file paths would be cut at kMaxPath, is handled by path, after
  // a check of each folder before and after it is made.
  platform::Folder dir(folder.view());
  const bool fits = folder.size() + 1 + kLogFileNameLength < platform::kMaxPath;
  const DWORD walked = fits ? dir.Open(program_files.size()) : platform::kErrorPathNotFound;
  if (walked == platform::kErrorStoppedOnLink) return kStatusLogError;
  if (walked != 0) {
    if (LinkInFolderChain(folder.view(), program_files.size())) return kStatusLogError;
    MakeLogFolder(folder.view());
    if (LinkInFolderChain(folder.view(), program_files.size())) return kStatusLogError;
  }
  folder.AppendSeparatorUnlessPresent();

  // The search leaves the chosen file open when it could test it with the
  // append's own open; that open has passed the header check already.
  CCurrentLogFile current(clock());
  if (!current.ChooseFileName(dir, &file)) return kStatusLogError;
  PathBuffer path(folder.view());
  path.Append(current.name());
  if (file.IsOpen() && file.GetFilePath() != path.view()) file.Close();

  bool create = true;
  DWORD open_error = 0;
  if (file.IsOpen()) {
    create = false;
    // Its header was read and found valid through this very handle, which
    // has denied writing to others since.
    if (header_count != nullptr) *header_count = current.kept_count();
  } else if (!OpenWhenFree(file, dir, current.name(), kOpenExisting, &open_error)) {
    // Only a file that is not there is created. One that is held beyond the
    // wait, forbidden, or a folder in its place is left as it is: the file
    // stays closed and the append fails without touching it.
    if (open_error != platform::kErrorFileNotFound && open_error != platform::kErrorPathNotFound) return 0;
  } else {
    if (ReadLogHeader(&file, nullptr)) {
      create = false;
    } else {
      // Damaged. A file that holds more than a header may hold records: move
      // it aside rather than lose them, and if that fails leave it alone (the
      // append then fails) instead of truncating it. A file of a header's
      // size or less holds no record and is deleted.
      const bool holds_records = file.GetLength() > kHeaderSize;
      file.Close();
      platform::SetAttributesNormal(path.view());
      if (holds_records) {
        if (!SetAside(path)) return 0;
      } else {
        platform::DeleteFileNamed(path.view());
      }
    }
  }
  if (create) {
    bridge_.TouchSubFile(path.c_str());
    // Announce the file before the create, whether or not the create succeeds.
    if (new_file_notice_ != nullptr) new_file_notice_(kind);
    if (file.OpenIn(dir, current.name(), kCreateNew)) WriteLogHeader(&file, 0);
  }
  return 0;
}

void CLogManager::RepairCurrentLogFiles() {
  // One kind per category folder, for its record kind; the "etc" folder is
  // walked as simple records, the kind its writers append.
  constexpr DWORD kKinds[] = {QORLOG_KIND_PCSCAN,       QORLOG_KIND_FIREWALL, QORLOG_KIND_ANTIKEYLOGGER,
                              QORLOG_KIND_SECUREBROWSER, QORLOG_KIND_PELLORA,  QORLOG_KIND_PELLORA + 1};
  const std::u16string date = DateString(clock()());
  char16_t base[platform::kMaxPath] = {};
  util_.GetProgramFilesPath(base, platform::kMaxPath);
  const std::size_t base_size = std::u16string_view(base).size();
  for (const DWORD kind : kKinds) {
    const PathBuffer folder = util_.GetLogFolder(kind);
    if (LinkInFolderChain(folder.view(), base_size)) continue;
    // The current file is the greatest of today's usable files. It is told
    // with a shared read that waits a moment for the killed writer's
    // handles (the search's unshared test would pass over the file while
    // they last, and over any file a viewer holds).
    PathBuffer pattern(folder.view());
    pattern.AppendPart(date + u"??.log");
    std::vector<std::u16string> names;
    if (platform::FindFileNames(pattern.view(), &names) != 0) continue;
    std::sort(names.begin(), names.end(), std::greater<>());
    for (const std::u16string& name : names) {
      if (!CLogUtil::IsLogFileName(name)) continue;
      PathBuffer path(folder.view());
      path.AppendPart(name);
      const LogFileCheck check = CheckLogFile(path.view(), kind);
      if (check.open_error != 0 || !check.header_valid || check.file_size >= kCandidateSizeLimit) continue;
      RepairLogTail(path.view(), kind);
      break;
    }
  }
}

}  // namespace qorlog::logstore
