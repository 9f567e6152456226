/*
 * qorlog.h - the public interface of libqorlog, the suite's logging library.
 *
 * Components append records with the six writers; the log viewer lists,
 * opens and reads log files, frees what the library handed out, and prunes.
 *
 * Conventions:
 *  - Every function returns a 32-bit status (see QORLOG_STATUS_*) unless its
 *    block says otherwise. 0 is success; other values reuse system error codes.
 *  - Text is UTF-16 (WCHAR) in the _W records; in the _A records it is UTF-8
 *    on Linux and the ANSI code page on Windows. A field of N characters
 *    holds at most N-1 characters and a NUL.
 *  - Records are plain structures with fixed sizes and offsets; they cross
 *    process boundaries in binary and are checked at compile time below.
 *  - Arrays, headers and file lists handed out belong to the caller until given
 *    back to a QORLOG_Free* function. Log handles are opaque, created by
 *    QORLOG_OpenLogFile(s) and destroyed only by QORLOG_CloseLog.
 *  - Any thread may call any function; one log handle must not be used by two
 *    threads at once.
 *
 * Valid C (C11) and C++. On Windows the header includes <windows.h>, so
 * DWORD, BOOL, CHAR, WCHAR (wchar_t: pass L"..." text) and SYSTEMTIME are
 * Windows' own, whether <windows.h> comes before or after this header.
 */
#ifndef QORLOG_QORLOG_H_
#define QORLOG_QORLOG_H_

#include <stddef.h>
#include <stdint.h>

#define QORLOG_VERSION_MAJOR 1
#define QORLOG_VERSION_MINOR 0

/* QORLOG_CHAR16_WCHAR is defined by the library's own build on Windows: its
 * code keeps WCHAR as char16_t, as on Linux (the same 16-bit code unit as
 * wchar_t there, so records and calls have the same layout), and does not
 * get <windows.h> from here. Callers never define it. */
#if defined(_WIN32) && !defined(QORLOG_CHAR16_WCHAR)
#include <windows.h>
#endif

#if defined(_WIN32)
/* The library's exports are exactly those of qorlog.def: a dllexport would
 * add the GCC name of QORLOG_ReadPCScanLog as a 22nd export. */
#if defined(QORLOG_BUILDING_LIBRARY)
#define QORLOG_API
#else
#define QORLOG_API __declspec(dllimport)
#endif
#elif defined(QORLOG_BUILDING_LIBRARY)
#define QORLOG_API __attribute__((visibility("default")))
#else
#define QORLOG_API
#endif

/* Basic types, as the Windows headers define them (skipped where those
 * headers came first). DWORD is unsigned long on Windows, as there. */
#ifndef _WINDEF_
#ifdef _WIN32
typedef unsigned long DWORD;
typedef int BOOL;
#else
typedef uint32_t DWORD;
typedef int32_t BOOL;
#endif
typedef char CHAR;
#ifdef __cplusplus
typedef char16_t WCHAR;
#else
typedef uint16_t WCHAR;
#endif
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

/* Local time: eight little-endian 16-bit fields. */
typedef struct _SYSTEMTIME {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
} SYSTEMTIME;
#endif /* _WINDEF_ */

/* Log kinds: each selects a category folder and a record kind. Readers take
 * a kind below 1001 as PC-scan records, 1001 as firewall records and any
 * kind above 1001 as simple records. Kinds not listed go to "etc". */
#define QORLOG_KIND_PCSCAN 1000u          /* "pc scan" */
#define QORLOG_KIND_FIREWALL 1001u        /* "firewall" */
#define QORLOG_KIND_ANTIKEYLOGGER 1002u   /* "anti keylogger" */
#define QORLOG_KIND_SECUREBROWSER 1003u   /* "secure browser" */
#define QORLOG_KIND_PELLORA 1004u         /* "pellora i" */

/* Statuses. System error codes from an open, a registry read or a directory
 * search are returned as they are (2 file not found, 3 path not found, ...). */
#define QORLOG_STATUS_OK 0u
#define QORLOG_STATUS_FILE_NOT_FOUND 2u
#define QORLOG_STATUS_PATH_NOT_FOUND 3u
#define QORLOG_STATUS_ACCESS_DENIED 5u
#define QORLOG_STATUS_OUT_OF_MEMORY 8u
#define QORLOG_STATUS_INVALID_DATA 13u
#define QORLOG_STATUS_SHARING_VIOLATION 32u
#define QORLOG_STATUS_BAD_POINTER 87u
#define QORLOG_STATUS_NULL_RECORD 100u
#define QORLOG_STATUS_MUTEX_ABANDONED 128u
#define QORLOG_STATUS_MORE_DATA 234u
#define QORLOG_STATUS_LOG_ERROR 1627u
#define QORLOG_STATUS_WAIT_FAILED 0xFFFFFFFFu

#pragma pack(push, 4)

/* PC-scan record, 672 bytes (wide) and 348 bytes (narrow). Readers accept
 * dwCode 0..602 and dwSubCode 0..205. */
typedef struct stPC_SCAN_LOG_W {
  SYSTEMTIME stTime; /* overwritten with the local time of the append */
  DWORD dwCode;
  WCHAR szText64[64];
  DWORD dwSubCode;
  WCHAR szText260[260];
} stPC_SCAN_LOG_W;

typedef struct stPC_SCAN_LOG_A {
  SYSTEMTIME stTime;
  DWORD dwCode;
  CHAR szText64[64];
  DWORD dwSubCode;
  CHAR szText260[260];
} stPC_SCAN_LOG_A;

/* Firewall record, 804 bytes (wide) and 416 bytes (narrow). Readers accept
 * dwCode 0..602 and dwSubCode 0..205; dwParam has no bound. */
typedef struct stFW_LOG_W {
  SYSTEMTIME stTime;
  DWORD dwCode;
  WCHAR szText64[64];
  WCHAR szText260[260];
  WCHAR szText64b[64];
  DWORD dwParam;
  DWORD dwSubCode;
} stFW_LOG_W;

typedef struct stFW_LOG_A {
  SYSTEMTIME stTime;
  DWORD dwCode;
  CHAR szText64[64];
  CHAR szText260[260];
  CHAR szText64b[64];
  DWORD dwParam;
  DWORD dwSubCode;
} stFW_LOG_A;

/* Simple record, 544 bytes (wide) and 284 bytes (narrow). Readers accept
 * dwCode 0..602 and dwSubCode 0..405. */
typedef struct stSIMPLE_LOG_W {
  SYSTEMTIME stTime;
  DWORD dwCode;
  DWORD dwSubCode;
  WCHAR szText260[260];
} stSIMPLE_LOG_W;

typedef struct stSIMPLE_LOG_A {
  SYSTEMTIME stTime;
  DWORD dwCode;
  DWORD dwSubCode;
  CHAR szText260[260];
} stSIMPLE_LOG_A;

/* The header of a log file as handed to callers (12 bytes). */
typedef struct stLOG_HEADER {
  DWORD dwItemCount; /* records in the file */
  DWORD dwVersion;   /* always 1 */
  DWORD dwCheck;     /* dwItemCount + dwVersion */
} stLOG_HEADER;

/* A simple record as sent to the viewer: the stamped record and its kind
 * (548 bytes). */
typedef struct stSIMPLE_LOG_NOTIFY_W {
  stSIMPLE_LOG_W stLog;
  DWORD dwKind;
} stSIMPLE_LOG_NOTIFY_W;

/* One entry of the file list of QORLOG_GetLogFileCnt (536 bytes). */
typedef struct stLOG_FILE_ITEM {
  DWORD dwRecordKind; /* 1000 PC scan, 1001 firewall, 1002 simple */
  DWORD dwKind;       /* the kind the caller passed */
  DWORD dwReserved;   /* 0 */
  WCHAR szPath[260];  /* full path, NUL-terminated */
  DWORD dwReserved2;  /* 0 */
} stLOG_FILE_ITEM;

#pragma pack(pop)

#ifdef __cplusplus
#define QORLOG_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define QORLOG_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#define QORLOG_CHECK_FIELD(type, field, offset) \
  QORLOG_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " offset")
#define QORLOG_CHECK_SIZE(type, size) QORLOG_STATIC_ASSERT(sizeof(type) == (size), #type " size")

QORLOG_CHECK_SIZE(SYSTEMTIME, 16);
QORLOG_CHECK_FIELD(SYSTEMTIME, wMilliseconds, 14);
QORLOG_CHECK_SIZE(stPC_SCAN_LOG_W, 672);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_W, dwCode, 16);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_W, szText64, 20);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_W, dwSubCode, 148);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_W, szText260, 152);
QORLOG_CHECK_SIZE(stPC_SCAN_LOG_A, 348);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_A, dwCode, 16);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_A, szText64, 20);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_A, dwSubCode, 84);
QORLOG_CHECK_FIELD(stPC_SCAN_LOG_A, szText260, 88);
QORLOG_CHECK_SIZE(stFW_LOG_W, 804);
QORLOG_CHECK_FIELD(stFW_LOG_W, dwCode, 16);
QORLOG_CHECK_FIELD(stFW_LOG_W, szText64, 20);
QORLOG_CHECK_FIELD(stFW_LOG_W, szText260, 148);
QORLOG_CHECK_FIELD(stFW_LOG_W, szText64b, 668);
QORLOG_CHECK_FIELD(stFW_LOG_W, dwParam, 796);
QORLOG_CHECK_FIELD(stFW_LOG_W, dwSubCode, 800);
QORLOG_CHECK_SIZE(stFW_LOG_A, 416);
QORLOG_CHECK_FIELD(stFW_LOG_A, dwCode, 16);
QORLOG_CHECK_FIELD(stFW_LOG_A, szText64, 20);
QORLOG_CHECK_FIELD(stFW_LOG_A, szText260, 84);
QORLOG_CHECK_FIELD(stFW_LOG_A, szText64b, 344);
QORLOG_CHECK_FIELD(stFW_LOG_A, dwParam, 408);
QORLOG_CHECK_FIELD(stFW_LOG_A, dwSubCode, 412);
QORLOG_CHECK_SIZE(stSIMPLE_LOG_W, 544);
QORLOG_CHECK_FIELD(stSIMPLE_LOG_W, dwCode, 16);
QORLOG_CHECK_FIELD(stSIMPLE_LOG_W, dwSubCode, 20);
QORLOG_CHECK_FIELD(stSIMPLE_LOG_W, szText260, 24);
QORLOG_CHECK_SIZE(stSIMPLE_LOG_A, 284);
QORLOG_CHECK_FIELD(stSIMPLE_LOG_A, dwCode, 16);
QORLOG_CHECK_FIELD(stSIMPLE_LOG_A, dwSubCode, 20);
QORLOG_CHECK_FIELD(stSIMPLE_LOG_A, szText260, 24);
QORLOG_CHECK_SIZE(stLOG_HEADER, 12);
QORLOG_CHECK_FIELD(stLOG_HEADER, dwVersion, 4);
QORLOG_CHECK_FIELD(stLOG_HEADER, dwCheck, 8);
QORLOG_CHECK_SIZE(stSIMPLE_LOG_NOTIFY_W, 548);
QORLOG_CHECK_FIELD(stSIMPLE_LOG_NOTIFY_W, dwKind, 544);
QORLOG_CHECK_SIZE(stLOG_FILE_ITEM, 536);
QORLOG_CHECK_FIELD(stLOG_FILE_ITEM, dwKind, 4);
QORLOG_CHECK_FIELD(stLOG_FILE_ITEM, dwReserved, 8);
QORLOG_CHECK_FIELD(stLOG_FILE_ITEM, szPath, 12);
QORLOG_CHECK_FIELD(stLOG_FILE_ITEM, dwReserved2, 532);

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Writers -------------------------------------------------------------
 * Each appends one record to the current file of its kind (PC scan 1000,
 * firewall 1001, simple: the given kind) and stamps it with the local time.
 * @return 0; 100 for a null record (nothing happens); 128 when the writers'
 *         lock was abandoned by a dead holder, 0xFFFFFFFF when waiting for it
 *         failed (nothing written); 1627 when no file could be selected or a
 *         file error occurred. Longer texts are cut silently. */
QORLOG_API DWORD QORLOG_WritePCScanLogA(const stPC_SCAN_LOG_A* pLog);
QORLOG_API DWORD QORLOG_WritePCScanLogW(const stPC_SCAN_LOG_W* pLog);
QORLOG_API DWORD QORLOG_WriteFWLogA(const stFW_LOG_A* pLog);
QORLOG_API DWORD QORLOG_WriteFWLogW(const stFW_LOG_W* pLog);
QORLOG_API DWORD QORLOG_WriteSimpleLogA(DWORD dwKind, const stSIMPLE_LOG_A* pLog);
QORLOG_API DWORD QORLOG_WriteSimpleLogW(DWORD dwKind, const stSIMPLE_LOG_W* pLog);

/* ---- Listing and opening -------------------------------------------------
 * QORLOG_GetLogFileCnt lists the ".log" files of a kind's folder, oldest
 * first, into a new array stored in *ppFiles (give it back to any free
 * function). @return the number of entries (0 for a missing folder). */
QORLOG_API DWORD QORLOG_GetLogFileCnt(DWORD dwKind, stLOG_FILE_ITEM** ppFiles);

/* Creates a log handle in *phLog and opens the file for reading; the handle
 * exists even when the open failed and must be closed with QORLOG_CloseLog.
 * @return 0 or the system error code of the open. */
QORLOG_API DWORD QORLOG_OpenLogFile(LPCWSTR pszPath, void** phLog);
/* As QORLOG_OpenLogFile with the path of entry nIndex of *ppFiles.
 * @return 87 for an index outside a list the library handed out. */
QORLOG_API DWORD QORLOG_OpenLogFiles(int nIndex, stLOG_FILE_ITEM** ppFiles, void** phLog);

/* ---- Reading -------------------------------------------------------------
 * QORLOG_GetLogItemCnt reads the file header into a new block (*ppHeader)
 * and leaves the handle just after it. @return 0, 8 (no memory), 1627. */
QORLOG_API DWORD QORLOG_GetLogItemCnt(void* hLog, stLOG_HEADER** ppHeader);

/* Array reads: every record of the file, newest first, in one new block.
 * A cut-off last record ends the read normally. When the file holds no
 * record, 0 is returned and neither output is written.
 * @return 0, 8, 87 (bad handle), 1627 (a value out of bounds or a file error;
 *         nothing handed out). */
QORLOG_API DWORD QORLOG_ReadPCScanLogArray(void* hLog, stPC_SCAN_LOG_W** ppArray, DWORD* pdwCount);
QORLOG_API DWORD QORLOG_ReadFWLogArray(void* hLog, stFW_LOG_W** ppArray, DWORD* pdwCount);
QORLOG_API DWORD QORLOG_ReadSimpleLogArray(void* hLog, stSIMPLE_LOG_W** ppArray, DWORD* pdwCount);

/* ---- Freeing and closing -------------------------------------------------
 * Each free function accepts only a block the library handed out and has not
 * taken back; any of them also frees a file list. @return 0, or 87 for a null
 * or unknown pointer (nothing is freed). */
QORLOG_API DWORD QORLOG_FreePCScanLogArray(stPC_SCAN_LOG_W* pArray);
QORLOG_API DWORD QORLOG_FreeFWLogArray(stFW_LOG_W* pArray);
QORLOG_API DWORD QORLOG_FreeSimpleLogArray(stSIMPLE_LOG_W* pArray);
QORLOG_API DWORD QORLOG_FreeLogHeader(stLOG_HEADER* pHeader);
/* Closes the file and destroys the handle; ignores null and unknown handles. */
QORLOG_API void QORLOG_CloseLog(void* hLog);

/* ---- Locations and pruning -----------------------------------------------
 * Writes the Program Files folder into the buffer, cut to cchBuffer
 * characters including the NUL (0 or >= 0x80000000 leave it untouched).
 * @return 0; 2 (no key), 13 (value missing or malformed), 234 (too long). */
QORLOG_API DWORD QORLOG_GetProgramFilesPath(LPWSTR pszBuffer, DWORD cchBuffer);

/* Deletes the oldest usable log files of a kind until at most 90 files and
 * 9 MiB remain (once 100 files or 10 MiB are reached).
 * @return 0, or the system error of a folder search that could not start
 *         (3 for a missing folder). */
QORLOG_API DWORD QORLOG_ReduceLog(DWORD dwKind);

#ifdef __cplusplus
} /* extern "C" */

/* Reads the next PC-scan record at the handle's position into *pLog.
 * C++ linkage (decorated symbol). @return 0, 87 (null or unreadable record,
 * bad handle), 1627 (end of file or error; *pLog unchanged). */
QORLOG_API DWORD QORLOG_ReadPCScanLog(void* hLog, stPC_SCAN_LOG_W* pLog);
#endif

#endif /* QORLOG_QORLOG_H_ */
