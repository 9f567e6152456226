// System error codes as the rest of the library speaks them (the Windows
// numbering) and the thread's last error. Each backend maps its own errors
// to these codes in one table of its own.
// Thread rules: the last error is per thread.
#pragma once

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

}  // namespace qorlog::platform
