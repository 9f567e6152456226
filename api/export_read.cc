// The exports that read a log file through a log handle.
#include "api/guard.h"
#include "api/handed_out.h"
#include "api/qorlog.h"
#include "logstore/log_reader.h"

namespace {

using qorlog::kStatusBadPointer;
using qorlog::api::AllocateHandedOut;
using qorlog::api::FindReader;
using qorlog::api::Guarded;

// Takes back a block that a failed array read had already obtained.
void ReleaseUnused(void* block) { qorlog::api::TakeBackBlock(block); }

}  // namespace

extern "C" QORLOG_API DWORD QORLOG_GetLogItemCnt(void* hLog, stLOG_HEADER** ppHeader) {
  return Guarded([&] {
    qorlog::CLogReader* reader = FindReader(hLog);
    if (reader == nullptr || ppHeader == nullptr) return kStatusBadPointer;
    return reader->ReadHeader(&AllocateHandedOut, ppHeader);
  });
}

// C++ linkage: exported under its decorated name.
QORLOG_API DWORD QORLOG_ReadPCScanLog(void* hLog, stPC_SCAN_LOG_W* pLog) {
  return Guarded([&] {
    qorlog::CLogReader* reader = FindReader(hLog);
    if (reader == nullptr) return kStatusBadPointer;
    return reader->ReadPCScanLog(pLog);
  });
}

extern "C" QORLOG_API DWORD QORLOG_ReadPCScanLogArray(void* hLog, stPC_SCAN_LOG_W** ppArray, DWORD* pdwCount) {
  return Guarded([&] {
    qorlog::CLogReader* reader = FindReader(hLog);
    if (reader == nullptr || ppArray == nullptr || pdwCount == nullptr) return kStatusBadPointer;
    return reader->ReadPCScanLogArray(&AllocateHandedOut, ppArray, pdwCount, &ReleaseUnused);
  });
}

extern "C" QORLOG_API DWORD QORLOG_ReadFWLogArray(void* hLog, stFW_LOG_W** ppArray, DWORD* pdwCount) {
  return Guarded([&] {
    qorlog::CLogReader* reader = FindReader(hLog);
    if (reader == nullptr || ppArray == nullptr || pdwCount == nullptr) return kStatusBadPointer;
    return reader->ReadFWLogArray(&AllocateHandedOut, ppArray, pdwCount, &ReleaseUnused);
  });
}

extern "C" QORLOG_API DWORD QORLOG_ReadSimpleLogArray(void* hLog, stSIMPLE_LOG_W** ppArray, DWORD* pdwCount) {
  return Guarded([&] {
    qorlog::CLogReader* reader = FindReader(hLog);
    if (reader == nullptr || ppArray == nullptr || pdwCount == nullptr) return kStatusBadPointer;
    return reader->ReadSimpleLogArray(&AllocateHandedOut, ppArray, pdwCount, &ReleaseUnused);
  });
}
