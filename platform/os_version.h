// The OS version query: which family of system this is. Names of
// machine-wide objects ("Global\...") are used as on the NT family, so the
// answer is always that family. Thread rules: any thread.
#pragma once

#include <cstddef>

#include "platform/types.h"

namespace qorlog::platform {

inline constexpr DWORD kVerPlatformWin32Nt = 2;

// The platform id that GetVersionExW reports (dwPlatformId).
DWORD GetVersionPlatformId();

}  // namespace qorlog::platform
