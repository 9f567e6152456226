// The exports that read a log file through a log handle.
#include "api/handed_out.h"
#include "api/qorlog.h"
#include "logstore/log_reader.h"

using qorlog::api::AllocateHandedOut;
using qorlog::api::FindReader;

extern "C" QORLOG_API DWORD QORLOG_GetLogItemCnt(void* hLog, stLOG_HEADER** ppHeader) {
  qorlog::CLogReader* reader = FindReader(hLog);
  if (reader == nullptr || ppHeader == nullptr) return QORLOG_STATUS_BAD_POINTER;
  return reader->ReadHeader(&AllocateHandedOut, ppHeader);
}

// C++ linkage: exported under its decorated name.
QORLOG_API DWORD QORLOG_ReadPCScanLog(void* hLog, stPC_SCAN_LOG_W* pLog) {
  qorlog::CLogReader* reader = FindReader(hLog);
  if (reader == nullptr) return QORLOG_STATUS_BAD_POINTER;
  return reader->ReadPCScanLog(pLog);
}

extern "C" QORLOG_API DWORD QORLOG_ReadPCScanLogArray(void* hLog, stPC_SCAN_LOG_W** ppArray, DWORD* pdwCount) {
  qorlog::CLogReader* reader = FindReader(hLog);
  if (reader == nullptr || ppArray == nullptr || pdwCount == nullptr) return QORLOG_STATUS_BAD_POINTER;
  return reader->ReadPCScanLogArray(&AllocateHandedOut, ppArray, pdwCount);
}

extern "C" QORLOG_API DWORD QORLOG_ReadFWLogArray(void* hLog, stFW_LOG_W** ppArray, DWORD* pdwCount) {
  qorlog::CLogReader* reader = FindReader(hLog);
  if (reader == nullptr || ppArray == nullptr || pdwCount == nullptr) return QORLOG_STATUS_BAD_POINTER;
  return reader->ReadFWLogArray(&AllocateHandedOut, ppArray, pdwCount);
}

extern "C" QORLOG_API DWORD QORLOG_ReadSimpleLogArray(void* hLog, stSIMPLE_LOG_W** ppArray, DWORD* pdwCount) {
  qorlog::CLogReader* reader = FindReader(hLog);
  if (reader == nullptr || ppArray == nullptr || pdwCount == nullptr) return QORLOG_STATUS_BAD_POINTER;
  return reader->ReadSimpleLogArray(&AllocateHandedOut, ppArray, pdwCount);
}
