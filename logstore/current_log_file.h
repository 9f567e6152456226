// CCurrentLogFile: the choice of the file that receives the next record of a
// category. Files are named by local date and a sequence number of the day,
// YYYYMMDDnn.log (nn 00 to 99, so names sort in the order they were started):
//
//   no usable file of today         -> YYYYMMDD00.log, created
//   newest usable file of today     -> reused while below 1 MiB
//     at 1 MiB or more              -> its number + 1 (2026010103 -> 2026010104)
//     when that number would be nn = 100: none (the day is used up)
//
// "Usable" is CLogUtil::IsUsableLogFile: a ten-digit-style name ending in
// ".log", below 2 MiB, not held open by anyone, with a valid header. Files of
// earlier days are never chosen.
// Thread rules: one object per append, made and used under the writers' mutex.
#pragma once

#include <string>
#include <string_view>

#include "logstore/log_manager.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/types.h"

namespace qorlog::inline logstore {

class CCurrentLogFile {
 public:
  explicit CCurrentLogFile(LocalClock clock = &platform::GetLocalTime) : clock_(clock) {}
  virtual ~CCurrentLogFile() = default;

  // Chooses the name in `folder` for today (trailing separators are ignored):
  // fills name and size. False only when the day's 100 names are used up.
  //
  // With `open_file` (closed on entry), the search tests each candidate below
  // the rotation size by opening it for reading and writing with no sharing
  // instead of for reading only; when the chosen name is that existing file, it stays open in
  // *open_file with write access denied to others (the append's own open),
  // positioned after its header. Otherwise *open_file is left closed. The
  // choice is the same either way: a candidate the read-write open refuses
  // (a read-only file, say) gets the plain test.
  BOOL ChooseFileName(std::u16string_view folder, platform::File* open_file = nullptr);
  // The same in a folder the caller has opened (or knows by path): the search
  // and the opens go through it.
  BOOL ChooseFileName(platform::Folder& folder, platform::File* open_file);

  // Finds the usable file folder/date??.log with the greatest name and keeps
  // its name and size; false when there is none (or the folder cannot be
  // searched). Candidates are examined from the greatest name down and the
  // first usable one is taken, which gives the answer examining them all
  // would, with one header check in the common case.
  // With `open_file`, candidates are tested as ChooseFileName describes, and
  // the usable file found stays open there (unshared) when that open passed.
  BOOL FindLatestFile(std::u16string_view date, platform::Folder& folder, platform::File* open_file = nullptr);

  const std::u16string& name() const { return name_; }
  // The record count in the header of the file left open by the search.
  DWORD kept_count() const { return kept_count_; }
  DWORD size_high() const { return size_high_; }
  DWORD size_low() const { return size_low_; }

  // The name after `name` (digits, then ".log"): the number plus one, with as
  // many digits, computed in 64 bits. Empty when the sequence would reach 100
  // or the name is not of that form.
  static std::u16string NextFileName(std::u16string_view name);

 private:
  // FindLatestFile over the names of `folder` that match `pattern`.
  BOOL FindLatestIn(std::u16string_view pattern, platform::Folder& folder, platform::File* open_file);

  std::u16string name_;
  DWORD size_high_ = 0;
  DWORD size_low_ = 0;
  DWORD kept_count_ = 0;
  LocalClock clock_;
};

}  // namespace qorlog::logstore
