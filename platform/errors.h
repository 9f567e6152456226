// System error codes as the rest of the library speaks them (the Windows
// numbering), the thread's last error, and the mapping from errno.
// Thread rules: the last error is per thread; everything else is pure.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace qorlog::platform {

inline constexpr DWORD kErrorSuccess = 0;
inline constexpr DWORD kErrorFileNotFound = 2;
inline constexpr DWORD kErrorPathNotFound = 3;
inline constexpr DWORD kErrorTooManyOpenFiles = 4;
inline constexpr DWORD kErrorAccessDenied = 5;
inline constexpr DWORD kErrorInvalidHandle = 6;
inline constexpr DWORD kErrorNotEnoughMemory = 8;
inline constexpr DWORD kErrorInvalidData = 13;
inline constexpr DWORD kErrorNoMoreFiles = 18;
inline constexpr DWORD kErrorSharingViolation = 32;
inline constexpr DWORD kErrorLockViolation = 33;
inline constexpr DWORD kErrorHandleEof = 38;
inline constexpr DWORD kErrorFileExists = 80;
inline constexpr DWORD kErrorInvalidParameter = 87;
inline constexpr DWORD kErrorBrokenPipe = 109;
inline constexpr DWORD kErrorDiskFull = 112;
inline constexpr DWORD kErrorInvalidName = 123;
inline constexpr DWORD kErrorDirNotEmpty = 145;
inline constexpr DWORD kErrorAlreadyExists = 183;
inline constexpr DWORD kErrorFilenameTooLong = 206;
inline constexpr DWORD kErrorMoreData = 234;
inline constexpr DWORD kErrorTimeout = 1460;
inline constexpr DWORD kErrorGenFailure = 31;

// The calling thread's last error, as set by the failing platform call.
DWORD GetLastError();
void SetLastError(DWORD error);

// What an operation that created an object should report when errno is
// EEXIST: a folder reports 183, a file 80.
enum class ObjectKind { kFile, kFolder };

// Maps errno to the Windows code. ENOENT becomes 3 (path not found) when the
// parent folder of `path` is missing, else 2; with no path it is 2.
DWORD ErrorFromErrno(int err, std::string_view path = {}, ObjectKind kind = ObjectKind::kFile);

}  // namespace qorlog::platform
