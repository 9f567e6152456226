// Folder and file-name operations: folder creation, attributes, deletion and
// renaming that respect open handles, and the directory search.
// Thread rules: none; every call is self-contained.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qorlog::platform {

// Creates one folder. 0, or a system error code: 183 when it exists, 3 when
// its parent is missing.
DWORD CreateFolder(std::u16string_view path);

// Creates a folder and its missing parents. Returns what creating the folder
// itself gave: 0 when it was made, 183 when it existed already, or the error
// that stopped it. A parent that another process makes meanwhile counts as
// made. The path is cut to kMaxPath - 1 code units when parents are needed.
DWORD CreateFolderTree(std::u16string_view path);

// Sets the "normal" attributes: clears the read-only state.
bool SetAttributesNormal(std::u16string_view path);

// Deletes a file. Fails with 32 and leaves the file while any handle holds it
// open, in this or another process; 5 for a folder; 2 or 3 when missing.
DWORD DeleteFileNamed(std::u16string_view path);

// Renames a file within its file system. Fails with 32 while any handle holds
// the source open, with 80 when the target exists.
DWORD MoveFileNamed(std::u16string_view from, std::u16string_view to);

// Replaces the file `to` with the file `from` in one step (renaming `from`);
// `to` need not exist. Fails with 32 and leaves both while any handle holds
// `to` open. For writing a file whole: write a new file beside it, then
// replace, so that a failed write never leaves a damaged `to`.
DWORD ReplaceFileNamed(std::u16string_view from, std::u16string_view to);

// True when the path names an existing file or folder.
bool PathExists(std::u16string_view path);
// True when the path names an existing folder (a link to one counts).
bool IsFolder(std::u16string_view path);

// One entry found by a directory search.
struct FindData {
  std::u16string name;  // name only, no folder
  bool is_directory = false;
  DWORD size_high = 0;  // the 64-bit size in two halves
  DWORD size_low = 0;
};

// Whether `name` matches a pattern of '*' (any run) and '?' (one character),
// ignoring ASCII case. "*.*" matches every name, as "*" does.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name);

// Searches the folder of `pattern_path` (its last component is the pattern)
// and fills `out` with the matching entries, "." and ".." included when they
// match. Returns 0; 2 when nothing matches; 3 when the folder is missing; or
// the system error code of a search that could not start.
DWORD FindFiles(std::u16string_view pattern_path, std::vector<FindData>* out);

}  // namespace qorlog::platform
