// The vocabulary types of the platform layer: the basic Windows-style types of
// the public header (DWORD, WCHAR, SYSTEMTIME), the path limit and the separator.
#pragma once

#include <cstddef>
#include <string_view>

#include "api/qorlog.h"

namespace qorlog::platform {

// Paths are built in buffers of this many UTF-16 code units, terminator
// included; longer paths are cut silently.
inline constexpr std::size_t kMaxPath = 260;

// The separator put between path parts.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// A relative path written with '/' between its parts, with the platform's
// separator instead, made at compile time: kNativePath<u"a/b"> is "a\\b" on
// Windows. Fixed subfolder names are written once for both systems this way.
template <std::size_t N>
struct PathLiteral {
  consteval PathLiteral(const char16_t (&text)[N]) {  // NOLINT: implicit on purpose
    for (std::size_t i = 0; i < N; ++i) chars[i] = text[i] == u'/' ? kPathSeparator : text[i];
  }
  char16_t chars[N] = {};
};
template <PathLiteral P>
inline constexpr std::u16string_view kNativePath{P.chars, sizeof P.chars / sizeof P.chars[0] - 1};

}  // namespace qorlog::platform
