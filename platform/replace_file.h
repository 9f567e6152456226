// Replacing a small file's contents so that a reader, or a crash, sees either
// the old contents or the new, never a mix or a truncated file: the bytes go
// to a temporary file beside it, are flushed to the disk, and the temporary
// file is renamed over the old one.
// Thread rules: any thread; two writers of one path must not overlap.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

// Writes `bytes` as the new contents of `path` (created when missing, mode
// 0600). 0, or the system error code of the step that failed (the old
// contents then stay, and no temporary file is left behind).
DWORD ReplaceFileContents(std::u16string_view path, std::string_view bytes);

}  // namespace qorlog::platform
