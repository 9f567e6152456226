// The six writers. Each builds a private, zero-filled wide record from the
// caller's record (narrow text converted from UTF-8, every text cut to its
// field with a NUL), hands it to the log manager's append, sends the record
// to the viewer when the log policy is on, and returns the append's status.
// The caller's record is only read.
#include <cstring>
#include <new>
#include <string_view>

#include "api/library_objects.h"
#include "api/qorlog.h"
#include "notify/log_viewer_notifier.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

using qorlog::g_LogManager;
using qorlog::g_LogUtil;

// Converts a narrow text field of N bytes into a wide field of N characters.
// The text ends at its NUL, or at the end of its field when it has none; what
// is stored is cut to N-1 characters and a NUL.
template <std::size_t N>
void ConvertText(WCHAR (&dest)[N], const CHAR (&src)[N]) {
  const std::size_t length = qorlog::platform::NarrowLength(src, N);
  qorlog::platform::CopyTruncated(dest, N, qorlog::platform::Utf8ToUtf16(std::string_view(src, length)));
}

// Copies a wide text field, reading at most the field's own capacity.
template <std::size_t N>
void CopyText(WCHAR (&dest)[N], const WCHAR (&src)[N]) {
  qorlog::platform::CopyTruncated(dest, N, std::u16string_view(src, qorlog::platform::WideLength(src, N)));
}

// The common checks of a writer: 100 for a null record; 87 for a record that
// cannot be read (rather than a crash while copying it).
template <typename Record>
bool Rejects(const Record* record, DWORD* status) {
  if (record == nullptr) {
    *status = QORLOG_STATUS_NULL_RECORD;
    return true;
  }
  if (qorlog::platform::IsBadReadPtr(record, sizeof(Record))) {
    *status = QORLOG_STATUS_BAD_POINTER;
    return true;
  }
  return false;
}

// The append of each record kind, shared by the narrow and the wide writer.
// After every append, whatever its status, the record goes to the viewer when
// the log policy is on. The append has stamped the record with its time, or
// left the caller's time when it stopped before stamping. The notifier's own
// result is of no interest: a missing viewer is not the writer's failure.
DWORD WritePCScan(stPC_SCAN_LOG_W& record) {
  const DWORD status = g_LogManager.AppendPCScanLog(&record);
  if (g_LogUtil.IsLogPolicyOn()) {
    qorlog::CLogViewerNotifier notifier;
    notifier.NotifyPCScanLog(&record);
  }
  return status;
}

DWORD WriteFW(stFW_LOG_W& record) {
  const DWORD status = g_LogManager.AppendFWLog(&record);
  if (g_LogUtil.IsLogPolicyOn()) {
    qorlog::CLogViewerNotifier notifier;
    notifier.NotifyFWLog(&record);
  }
  return status;
}

DWORD WriteSimple(DWORD kind, stSIMPLE_LOG_W& record) {
  const DWORD status = g_LogManager.AppendSimpleLog(kind, &record);
  if (g_LogUtil.IsLogPolicyOn()) {
    stSIMPLE_LOG_NOTIFY_W block;
    std::memset(&block, 0, sizeof block);
    block.stLog = record;
    block.dwKind = kind;
    qorlog::CLogViewerNotifier notifier;
    notifier.NotifySimpleLog(&block);
  }
  return status;
}

}  // namespace

extern "C" QORLOG_API DWORD QORLOG_WritePCScanLogA(const stPC_SCAN_LOG_A* pLog) {
  DWORD status;
  if (Rejects(pLog, &status)) return status;
  try {
    stPC_SCAN_LOG_W record;
    std::memset(&record, 0, sizeof record);
    record.stTime = pLog->stTime;
    record.dwCode = pLog->dwCode;
    ConvertText(record.szText64, pLog->szText64);
    record.dwSubCode = pLog->dwSubCode;
    ConvertText(record.szText260, pLog->szText260);
    return WritePCScan(record);
  } catch (const std::bad_alloc&) {
    return QORLOG_STATUS_OUT_OF_MEMORY;
  }
}

extern "C" QORLOG_API DWORD QORLOG_WritePCScanLogW(const stPC_SCAN_LOG_W* pLog) {
  DWORD status;
  if (Rejects(pLog, &status)) return status;
  stPC_SCAN_LOG_W record;
  std::memset(&record, 0, sizeof record);
  record.stTime = pLog->stTime;
  record.dwCode = pLog->dwCode;
  CopyText(record.szText64, pLog->szText64);
  record.dwSubCode = pLog->dwSubCode;
  CopyText(record.szText260, pLog->szText260);
  return WritePCScan(record);
}

extern "C" QORLOG_API DWORD QORLOG_WriteFWLogA(const stFW_LOG_A* pLog) {
  DWORD status;
  if (Rejects(pLog, &status)) return status;
  try {
    stFW_LOG_W record;
    std::memset(&record, 0, sizeof record);
    record.stTime = pLog->stTime;
    record.dwCode = pLog->dwCode;
    ConvertText(record.szText64, pLog->szText64);
    ConvertText(record.szText260, pLog->szText260);
    ConvertText(record.szText64b, pLog->szText64b);
    record.dwParam = pLog->dwParam;
    record.dwSubCode = pLog->dwSubCode;
    return WriteFW(record);
  } catch (const std::bad_alloc&) {
    return QORLOG_STATUS_OUT_OF_MEMORY;
  }
}

extern "C" QORLOG_API DWORD QORLOG_WriteFWLogW(const stFW_LOG_W* pLog) {
  DWORD status;
  if (Rejects(pLog, &status)) return status;
  stFW_LOG_W record;
  std::memset(&record, 0, sizeof record);
  record.stTime = pLog->stTime;
  record.dwCode = pLog->dwCode;
  CopyText(record.szText64, pLog->szText64);
  CopyText(record.szText260, pLog->szText260);
  CopyText(record.szText64b, pLog->szText64b);
  record.dwParam = pLog->dwParam;
  record.dwSubCode = pLog->dwSubCode;
  return WriteFW(record);
}

extern "C" QORLOG_API DWORD QORLOG_WriteSimpleLogA(DWORD dwKind, const stSIMPLE_LOG_A* pLog) {
  DWORD status;
  if (Rejects(pLog, &status)) return status;
  try {
    stSIMPLE_LOG_W record;
    std::memset(&record, 0, sizeof record);
    record.stTime = pLog->stTime;
    record.dwCode = pLog->dwCode;
    record.dwSubCode = pLog->dwSubCode;
    ConvertText(record.szText260, pLog->szText260);
    return WriteSimple(dwKind, record);
  } catch (const std::bad_alloc&) {
    return QORLOG_STATUS_OUT_OF_MEMORY;
  }
}

extern "C" QORLOG_API DWORD QORLOG_WriteSimpleLogW(DWORD dwKind, const stSIMPLE_LOG_W* pLog) {
  DWORD status;
  if (Rejects(pLog, &status)) return status;
  stSIMPLE_LOG_W record;
  std::memset(&record, 0, sizeof record);
  record.stTime = pLog->stTime;
  record.dwCode = pLog->dwCode;
  record.dwSubCode = pLog->dwSubCode;
  CopyText(record.szText260, pLog->szText260);
  return WriteSimple(dwKind, record);
}
