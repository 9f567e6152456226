// The statuses the library returns, named once for every floor. The public
// header fixes their values as QORLOG_STATUS_* macros for C callers; the code
// inside uses these names, and the asserts below keep the two in step. Most
// are the system error codes of the same meaning (2, 3, 5, 8, ...), so an
// error from an open or a registry read passes through unchanged.
//
// Part of the ground floor: it holds only the boundary's values, includes
// nothing but the public header, and moves with that header.
#pragma once

#include "api/qorlog.h"

namespace qorlog {

inline constexpr DWORD kStatusOk = 0;
inline constexpr DWORD kStatusFileNotFound = 2;
inline constexpr DWORD kStatusPathNotFound = 3;
inline constexpr DWORD kStatusAccessDenied = 5;
// Memory ran out; also what any export gives for std::bad_alloc.
inline constexpr DWORD kStatusOutOfMemory = 8;
inline constexpr DWORD kStatusInvalidData = 13;
inline constexpr DWORD kStatusSharingViolation = 32;
// A null or unreadable pointer, an unknown handle or block.
inline constexpr DWORD kStatusBadPointer = 87;
// A writer was given no record.
inline constexpr DWORD kStatusNullRecord = 100;
// The writers' mutex was abandoned by a holder that died.
inline constexpr DWORD kStatusMutexAbandoned = 128;
inline constexpr DWORD kStatusMoreData = 234;
// A log file could not be chosen, written or read; also what any export gives
// for an exception other than std::bad_alloc.
inline constexpr DWORD kStatusLogError = 1627;
// The wait for the writers' mutex failed.
inline constexpr DWORD kStatusWaitFailed = 0xFFFFFFFF;

static_assert(kStatusOk == QORLOG_STATUS_OK);
static_assert(kStatusFileNotFound == QORLOG_STATUS_FILE_NOT_FOUND);
static_assert(kStatusPathNotFound == QORLOG_STATUS_PATH_NOT_FOUND);
static_assert(kStatusAccessDenied == QORLOG_STATUS_ACCESS_DENIED);
static_assert(kStatusOutOfMemory == QORLOG_STATUS_OUT_OF_MEMORY);
static_assert(kStatusInvalidData == QORLOG_STATUS_INVALID_DATA);
static_assert(kStatusSharingViolation == QORLOG_STATUS_SHARING_VIOLATION);
static_assert(kStatusBadPointer == QORLOG_STATUS_BAD_POINTER);
static_assert(kStatusNullRecord == QORLOG_STATUS_NULL_RECORD);
static_assert(kStatusMutexAbandoned == QORLOG_STATUS_MUTEX_ABANDONED);
static_assert(kStatusMoreData == QORLOG_STATUS_MORE_DATA);
static_assert(kStatusLogError == QORLOG_STATUS_LOG_ERROR);
static_assert(kStatusWaitFailed == QORLOG_STATUS_WAIT_FAILED);

}  // namespace qorlog
