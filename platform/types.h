// The vocabulary types of the platform layer: the basic Windows-style types of
// the public header (DWORD, WCHAR, SYSTEMTIME) and the path limit.
#pragma once

#include <cstddef>

#include "api/qorlog.h"

namespace qorlog::platform {

// Paths are built in buffers of this many UTF-16 code units, terminator
// included; longer paths are cut silently.
inline constexpr std::size_t kMaxPath = 260;

// The separator put between path parts.
inline constexpr char16_t kPathSeparator = u'/';

}  // namespace qorlog::platform
