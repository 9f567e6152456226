// What a process holds, for tests that check that an operation leaves nothing
// behind: its open descriptors (handles on Windows) and its children.
#pragma once

namespace qorlog::testing {

// The number of open descriptors (Windows: handles) of this process.
int OpenHandleCount();

// True when this process has no child at all, running or unreaped. Windows
// keeps no such relation after a start: always true there.
bool HasNoChildren();

}  // namespace qorlog::testing
