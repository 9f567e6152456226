// A directory search that reports names only, and the look-up of one entry's
// kind and size. Together they do what FindFiles does, but let a caller that
// needs only some of the matching entries (say, the greatest usable name)
// pay for the size query of just those.
// Thread rules: none; every call is self-contained.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"
#include "platform/types.h"

namespace qorlog::platform {

// Fills `names` with the names in the folder of `pattern_path` that match its
// last component (MatchesPattern rules). 0; 2 when nothing matches; 3 when
// the folder is missing; or the system error of a search that could not
// start. The last error is set as FindFiles sets it.
DWORD FindFileNames(std::u16string_view pattern_path, std::vector<std::u16string>* names);

// The greatest name (ordinal order of the UTF-16 code units) that
// FindFileNames would return, found in one pass that converts only the names
// that could still win. Returns what FindFileNames returns.
DWORD FindGreatestFileName(std::u16string_view pattern_path, std::u16string* greatest);

// Describes `folder`/`name` as FindFiles would (folder or not, size halves;
// a symbolic link is a file of size 0). False when the entry is gone.
bool QueryFileEntry(std::u16string_view folder, std::u16string_view name, FindData* out);

}  // namespace qorlog::platform
