// Opening a log file that another handle holds for a moment.
//
// Several parties open the same log files with share modes that exclude each
// other for short moments: the current-file search and the pruning test a
// header with the file unshared, and a writer that was killed keeps its
// handles until the system has reaped it. An open that meets such a holder
// fails with a sharing violation (32). Such a file is busy, not missing and
// not broken, so the open is tried again for a short bounded time before the
// sharing violation counts.
//
// Thread rules: any thread; `file` belongs to the caller.
#pragma once

#include <string_view>

#include "api/qorlog.h"
#include "platform/file.h"
#include "platform/folder.h"

namespace qorlog::inline logstore {

// The longest an open waits for a busy file. A header test holds a file for
// microseconds and a killed writer's handles go within milliseconds; a file
// still held after this is held on purpose, and the open fails with 32.
inline constexpr DWORD kBusyFileWaitMs = 1000;

// platform::File::Open, tried again while it fails with a sharing violation,
// for at most `max_wait_ms` in all. The same result and *error as the last
// open.
bool OpenWhenFree(platform::File& file, std::u16string_view path, unsigned flags, DWORD* error = nullptr,
                  DWORD max_wait_ms = kBusyFileWaitMs);
// The same for the file `name` inside `folder` (platform::File::OpenIn).
bool OpenWhenFree(platform::File& file, const platform::Folder& folder, std::u16string_view name, unsigned flags,
                  DWORD* error = nullptr, DWORD max_wait_ms = kBusyFileWaitMs);

}  // namespace qorlog::logstore
