// CLogUtil: where logs live. Builds the Program Files path from the registry,
// the category folder of a kind, the update component's folder, and joins
// folder and file names. Every path is built in a buffer of kMaxPath code
// units and cut silently when it does not fit.
// Thread rules: the path operations keep no state and may run on any thread.
#pragma once

#include <string>
#include <string_view>

#include "logstore/block_allocator.h"
#include "platform/file.h"
#include "platform/path_buffer.h"
#include "platform/types.h"

namespace qorlog::inline logstore {

// The folder under the Program Files folder that holds every category folder.
inline constexpr std::u16string_view kCommonLogSubfolder = platform::kNativePath<u"Varnok/ZEL/Common/Log">;
// Log files are named YYYYMMDDnn.log; a day has at most this many.
inline constexpr DWORD kFilesPerDay = 100;
// The length of a log file's name, YYYYMMDDnn.log.
inline constexpr std::size_t kLogFileNameLength = 14;
// The current file is reused while smaller than this many bytes.
inline constexpr DWORD kRotationSize = 0x100000;
// Files of this size or larger are never candidates, never counted or pruned.
inline constexpr DWORD kCandidateSizeLimit = 0x200000;

// The update component's folder under the Program Files folder.
inline constexpr std::u16string_view kUpdateSubfolder = platform::kNativePath<u"Varnok/ZEL/Pellora i">;

// The update component's protected settings file (in its folder) and the
// entry whose non-blank value turns the log policy on.
inline constexpr std::u16string_view kLogPolicyFileName = u"zelinfo.ui";
inline constexpr std::u16string_view kLogPolicySection = u"qorcommon";
inline constexpr std::u16string_view kLogPolicyKey = u"url_logpolicy";

class CLogUtil {
 public:
  CLogUtil() = default;
  virtual ~CLogUtil() = default;

  // Writes the registry's "ProgramFilesDir (x86)" into `buffer` (at most
  // `size` code units with the terminator; longer text is cut). 0, or the
  // registry error: 2 missing key, 13 missing or malformed value, 234 too
  // long. Sizes 0 and >= 0x80000000 leave the buffer untouched.
  DWORD GetProgramFilesPath(char16_t* buffer, DWORD size) const;

  // The category folder name of a kind ("pc scan", ..., "etc").
  static std::u16string GetCategoryName(DWORD kind);

  // The category folder of a kind, without a trailing separator. A registry
  // failure leaves an empty base, so the path then begins with a separator.
  platform::PathBuffer GetLogFolder(DWORD kind) const;

  // The update component's folder.
  std::u16string GetUpdateFolder() const;

  // The usable-file test shared by the current-file search and pruning: not
  // a folder, a size below 2 MiB (high half 0, low half below 0x200000), a
  // log file name (IsLogFileName), and a valid header (HasValidHeader).
  // Defined in logstore/usable_log_file.cc.
  static BOOL IsUsableLogFile(std::u16string_view folder, std::u16string_view name, DWORD size_high, DWORD size_low);
  // A base name of one or more digits '0'..'9' and the extension ".log"
  // exactly (lower case).
  static BOOL IsLogFileName(std::u16string_view name);
  // Non-empty and only '0'..'9'.
  static BOOL IsAllDigits(std::u16string_view text);
  // Opens folder/name for reading with no sharing (so a file that anyone else
  // holds open fails), reads the 12-byte header through a load archive and
  // tests it; any error makes the answer false. The file is closed again.
  static BOOL HasValidHeader(std::u16string_view folder, std::u16string_view name);
  // The header test of HasValidHeader on a file the caller has open: reads
  // the 12-byte header from the start through a load archive (the file is
  // left at offset 12) and tests it; any error makes the answer false. When
  // it is valid, its record count goes to *count (when given).
  static BOOL HasValidHeader(platform::File& file, DWORD* count = nullptr);

  // Lists the files of a kind's category folder whose extension (the text
  // after the last '.', or the whole name without one) is exactly "log",
  // folders included, sorted case-insensitively (oldest first for dated
  // names). Stores one zero-filled block of 536-byte entries from `allocate`
  // in *list (a block of length 0 when nothing is found or the folder cannot
  // be searched) and returns the number of entries. When the block cannot be
  // allocated, *list is null and the result 0. Defined in count_log_files.cc.
  DWORD CountLogFiles(DWORD kind, stLOG_FILE_ITEM** list, BlockAllocator allocate) const;

  // The log policy: nonzero when each record written is also to be sent to
  // the viewer, i.e. when the update component's settings file holds a
  // non-blank kLogPolicyKey in kLogPolicySection. Read by the first call on
  // this instance and cached for the process; a failed read is not retried.
  // Called on the library's global instance after every append. Any thread:
  // a call that comes while the first read runs answers 0. Defined in
  // logstore/log_policy.cc; the writers ask it before notifying the viewer.
  DWORD IsLogPolicyOn();

  // Set once the log policy has been read in this process.
  DWORD read_flag_ = 0;
};

// Joins a folder and a file name with exactly one separator: white space and
// then separators are trimmed from the folder's right end and from the name's
// left end.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Creates a folder and any missing parents. True when this call created the
// requested folder; false when it existed already or could not be made.
bool MakeLogFolder(std::u16string_view path);

// True when a component of `folder` after its first `from` code units exists
// as something other than a folder: a symbolic link (to a folder or not) or a
// file. Files are written and deleted only below folders that pass, so that
// a link planted in the log tree cannot lead a writer or the pruning outside.
// Missing components pass (they are created as folders).
bool LinkInFolderChain(std::u16string_view folder, std::size_t from);

}  // namespace qorlog::logstore
