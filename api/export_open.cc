// The exports that list log files, open them into log handles and close the
// handles.
#include <memory>
#include <new>

#include "api/guard.h"
#include "api/handed_out.h"
#include "api/qorlog.h"
#include "logstore/log_reader.h"
#include "logstore/log_util.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/types.h"

namespace {

using qorlog::CLogReader;
using qorlog::kStatusBadPointer;
using qorlog::kStatusOk;
using qorlog::kStatusOutOfMemory;
using qorlog::api::Guarded;

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
  DWORD count = 0;
  const DWORD status = Guarded([&] {
    qorlog::CLogUtil util;
    count = util.CountLogFiles(dwKind, ppFiles, &qorlog::api::AllocateHandedOut);
    return kStatusOk;
  });
  // The result is a count: a failure lists nothing.
  if (status != kStatusOk) {
    *ppFiles = nullptr;
    return 0;
  }
  return count;
}

extern "C" QORLOG_API DWORD QORLOG_OpenLogFile(LPCWSTR pszPath, void** phLog) {
  return Guarded([&] {
    if (phLog == nullptr) return kStatusBadPointer;
    CLogReader* reader = NewHandle(phLog);
    if (reader == nullptr) return kStatusOutOfMemory;
    if (pszPath == nullptr) return kStatusBadPointer;
    return reader->Open(pszPath);
  });
}

extern "C" QORLOG_API DWORD QORLOG_OpenLogFiles(int nIndex, stLOG_FILE_ITEM** ppFiles, void** phLog) {
  return Guarded([&] {
    if (phLog == nullptr) return kStatusBadPointer;
    CLogReader* reader = NewHandle(phLog);
    if (reader == nullptr) return kStatusOutOfMemory;
    if (ppFiles == nullptr || *ppFiles == nullptr) return kStatusBadPointer;

    const stLOG_FILE_ITEM* list = *ppFiles;
    // A list the library handed out knows its length: refuse an index outside
    // it. Any other array can only be checked for readability at the entry.
    if (auto size = qorlog::api::HandedOutSize(list)) {
      const std::size_t entries = *size / sizeof(stLOG_FILE_ITEM);
      if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= entries) return kStatusBadPointer;
    } else if (qorlog::platform::IsBadReadPtr(list + nIndex, sizeof(stLOG_FILE_ITEM))) {
      return kStatusBadPointer;
    }
    const stLOG_FILE_ITEM& entry = list[nIndex];
    const std::size_t length = qorlog::platform::WideLength(entry.szPath, qorlog::platform::kMaxPath - 1);
    return reader->Open(std::u16string_view(entry.szPath, length));
  });
}

extern "C" QORLOG_API void QORLOG_CloseLog(void* hLog) {
  Guarded([hLog] {
    qorlog::api::DestroyReader(hLog);
    return kStatusOk;
  });
}
