// The six writers, one path for all: each builds a private, zero-filled wide
// record from the caller's record (narrow text converted from the ANSI code
// page, every text cut to its field with a NUL), hands it to the log
// manager's append, sends the record to the viewer when the log policy is
// on, and returns the append's status. The caller's record is only read.
#include <cstring>
#include <string_view>

#include "api/guard.h"
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
void CopyText(WCHAR (&dest)[N], const CHAR (&src)[N]) {
  const std::size_t length = qorlog::platform::NarrowLength(src, N);
  qorlog::platform::CopyTruncated(dest, N, qorlog::platform::AnsiToUtf16(std::string_view(src, length)));
}

// Copies a wide text field, reading at most the field's own capacity.
template <std::size_t N>
void CopyText(WCHAR (&dest)[N], const WCHAR (&src)[N]) {
  qorlog::platform::CopyTruncated(dest, N, std::u16string_view(src, qorlog::platform::WideLength(src, N)));
}

// The wide record that a writer's record becomes; a wide record is its own.
template <typename Source>
struct WideOf {
  using type = Source;
};
template <>
struct WideOf<stPC_SCAN_LOG_A> {
  using type = stPC_SCAN_LOG_W;
};
template <>
struct WideOf<stFW_LOG_A> {
  using type = stFW_LOG_W;
};
template <>
struct WideOf<stSIMPLE_LOG_A> {
  using type = stSIMPLE_LOG_W;
};

// Field-by-field copies from a narrow or a wide record of the same kind.
template <typename Source>
void Fill(stPC_SCAN_LOG_W& out, const Source& in) {
  out.stTime = in.stTime;
  out.dwCode = in.dwCode;
  CopyText(out.szText64, in.szText64);
  out.dwSubCode = in.dwSubCode;
  CopyText(out.szText260, in.szText260);
}

template <typename Source>
void Fill(stFW_LOG_W& out, const Source& in) {
  out.stTime = in.stTime;
  out.dwCode = in.dwCode;
  CopyText(out.szText64, in.szText64);
  CopyText(out.szText260, in.szText260);
  CopyText(out.szText64b, in.szText64b);
  out.dwParam = in.dwParam;
  out.dwSubCode = in.dwSubCode;
}

template <typename Source>
void Fill(stSIMPLE_LOG_W& out, const Source& in) {
  out.stTime = in.stTime;
  out.dwCode = in.dwCode;
  out.dwSubCode = in.dwSubCode;
  CopyText(out.szText260, in.szText260);
}

// The append of each record kind. PC-scan and firewall records go to their
// own kind; a simple record to the kind the caller named.
// The record is the writer's own copy, readable by construction: the appends
// that take it by reference do not probe it again.
DWORD Append(DWORD, stPC_SCAN_LOG_W& record) { return g_LogManager.AppendPCScanLog(record); }
DWORD Append(DWORD, stFW_LOG_W& record) { return g_LogManager.AppendFWLog(record); }
DWORD Append(DWORD kind, stSIMPLE_LOG_W& record) { return g_LogManager.AppendSimpleLog(kind, record); }

// The viewer's notification of each record kind; a simple record travels
// with its kind.
void Notify(qorlog::CLogViewerNotifier& notifier, DWORD, const stPC_SCAN_LOG_W& record) {
  notifier.NotifyPCScanLog(&record);
}
void Notify(qorlog::CLogViewerNotifier& notifier, DWORD, const stFW_LOG_W& record) { notifier.NotifyFWLog(&record); }
void Notify(qorlog::CLogViewerNotifier& notifier, DWORD kind, const stSIMPLE_LOG_W& record) {
  stSIMPLE_LOG_NOTIFY_W block;
  std::memset(&block, 0, sizeof block);
  block.stLog = record;
  block.dwKind = kind;
  notifier.NotifySimpleLog(&block);
}

// The one writer: 100 for a null record, 87 for one that cannot be read
// (rather than a crash while copying it), else the append's status. After
// every append, whatever its status, the record goes to the viewer when the
// log policy is on; the append has stamped it with its time, or left the
// caller's time when it stopped before stamping. The notifier's own result
// is of no interest: a missing viewer is not the writer's failure.
template <typename Source>
DWORD Write(DWORD kind, const Source* log) {
  if (log == nullptr) return qorlog::kStatusNullRecord;
  if (qorlog::platform::IsBadReadPtr(log, sizeof(Source))) return qorlog::kStatusBadPointer;
  typename WideOf<Source>::type record;
  std::memset(&record, 0, sizeof record);
  Fill(record, *log);
  const DWORD status = Append(kind, record);
  if (g_LogUtil.IsLogPolicyOn()) {
    qorlog::CLogViewerNotifier notifier;
    Notify(notifier, kind, record);
  }
  return status;
}

template <typename Source>
DWORD GuardedWrite(DWORD kind, const Source* log) {
  return qorlog::api::Guarded([&] { return Write(kind, log); });
}

}  // namespace

extern "C" QORLOG_API DWORD QORLOG_WritePCScanLogA(const stPC_SCAN_LOG_A* pLog) {
  return GuardedWrite(QORLOG_KIND_PCSCAN, pLog);
}
extern "C" QORLOG_API DWORD QORLOG_WritePCScanLogW(const stPC_SCAN_LOG_W* pLog) {
  return GuardedWrite(QORLOG_KIND_PCSCAN, pLog);
}
extern "C" QORLOG_API DWORD QORLOG_WriteFWLogA(const stFW_LOG_A* pLog) {
  return GuardedWrite(QORLOG_KIND_FIREWALL, pLog);
}
extern "C" QORLOG_API DWORD QORLOG_WriteFWLogW(const stFW_LOG_W* pLog) {
  return GuardedWrite(QORLOG_KIND_FIREWALL, pLog);
}
extern "C" QORLOG_API DWORD QORLOG_WriteSimpleLogA(DWORD dwKind, const stSIMPLE_LOG_A* pLog) {
  return GuardedWrite(dwKind, pLog);
}
extern "C" QORLOG_API DWORD QORLOG_WriteSimpleLogW(DWORD dwKind, const stSIMPLE_LOG_W* pLog) {
  return GuardedWrite(dwKind, pLog);
}
