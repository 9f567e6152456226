// The POSIX backend's one mapping between errno and the system error codes
// of the interface (the Windows numbering). Internal to the backend.
// Thread rules: pure functions (ENOENT asks the file system, see below).
#pragma once

#include <string_view>

#include "platform/types.h"

namespace qorlog::platform::posix {

// What an operation that created an object reports for EEXIST: a folder 183,
// a file 80.
enum class ObjectKind { kFile, kFolder };

// Maps errno to the code. ENOENT becomes 3 (path not found) when the parent
// folder of `path` is missing, else 2; with no path it is 2. A share
// conflict (EAGAIN from a lock that another handle holds) is 32.
DWORD ErrorFromErrno(int err, std::string_view path = {}, ObjectKind kind = ObjectKind::kFile);

// The errno that ErrorFromErrno maps to `code`, so that a fault injected
// with a code takes the path a real failure takes. EIO (31) for a code that
// no errno gives.
int ErrnoForError(DWORD code);

}  // namespace qorlog::platform::posix
