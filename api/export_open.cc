// The exports that list log files, open them into log handles and close the
// handles.
#include <memory>
#include <new>

#include "api/handed_out.h"
#include "api/qorlog.h"
#include "logstore/log_reader.h"
#include "logstore/log_util.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/types.h"

namespace {

using qorlog::CLogReader;

// Creates a reader, records it and stores its handle in *phLog before
// anything else, so the caller can close it even when the open then fails.
CLogReader* NewHandle(void** phLog) {
  auto reader = std::unique_ptr<CLogReader>(new (std::nothrow) CLogReader());
  CLogReader* raw = reader.get();
  void* handle = qorlog::api::AdoptReader(std::move(reader));
  *phLog = handle;
  return handle == nullptr ? nullptr : raw;
}

}  // namespace

extern "C" QORLOG_API DWORD QORLOG_GetLogFileCnt(DWORD dwKind, stLOG_FILE_ITEM** ppFiles) {
  if (ppFiles == nullptr) return 0;
  try {
    qorlog::CLogUtil util;
    return util.CountLogFiles(dwKind, ppFiles, &qorlog::api::AllocateHandedOut);
  } catch (...) {
    // Only memory exhaustion while collecting names gets here.
    *ppFiles = nullptr;
    return 0;
  }
}

extern "C" QORLOG_API DWORD QORLOG_OpenLogFile(LPCWSTR pszPath, void** phLog) {
  if (phLog == nullptr) return QORLOG_STATUS_BAD_POINTER;
  CLogReader* reader = NewHandle(phLog);
  if (reader == nullptr) return QORLOG_STATUS_OUT_OF_MEMORY;
  if (pszPath == nullptr) return QORLOG_STATUS_BAD_POINTER;
  try {
    return reader->Open(pszPath);
  } catch (...) {
    return QORLOG_STATUS_OUT_OF_MEMORY;
  }
}

extern "C" QORLOG_API DWORD QORLOG_OpenLogFiles(int nIndex, stLOG_FILE_ITEM** ppFiles, void** phLog) {
  if (phLog == nullptr) return QORLOG_STATUS_BAD_POINTER;
  CLogReader* reader = NewHandle(phLog);
  if (reader == nullptr) return QORLOG_STATUS_OUT_OF_MEMORY;
  if (ppFiles == nullptr || *ppFiles == nullptr) return QORLOG_STATUS_BAD_POINTER;

  const stLOG_FILE_ITEM* list = *ppFiles;
  // A list the library handed out knows its length: refuse an index outside
  // it. Any other array can only be checked for readability at the entry.
  if (auto size = qorlog::api::HandedOutSize(list)) {
    const std::size_t entries = *size / sizeof(stLOG_FILE_ITEM);
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= entries) return QORLOG_STATUS_BAD_POINTER;
  } else if (qorlog::platform::IsBadReadPtr(list + nIndex, sizeof(stLOG_FILE_ITEM))) {
    return QORLOG_STATUS_BAD_POINTER;
  }
  const stLOG_FILE_ITEM& entry = list[nIndex];
  const std::size_t length = qorlog::platform::WideLength(entry.szPath, qorlog::platform::kMaxPath - 1);
  try {
    return reader->Open(std::u16string_view(entry.szPath, length));
  } catch (...) {
    return QORLOG_STATUS_OUT_OF_MEMORY;
  }
}

extern "C" QORLOG_API void QORLOG_CloseLog(void* hLog) { qorlog::api::DestroyReader(hLog); }
