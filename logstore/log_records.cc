#include "logstore/log_records.h"

#include <cstdint>

#include "logstore/archive.h"
#include "logstore/log_format.h"
#include "platform/text.h"

namespace qorlog::inline logstore {

namespace {

template <std::size_t N>
std::u16string FromField(const WCHAR (&field)[N]) {
  return std::u16string(field, platform::WideLength(field, N));
}

template <std::size_t N>
void ToField(WCHAR (&field)[N], const std::u16string& text) {
  platform::CopyTruncated(field, N, text);
}

void SerializeString(Archive& ar, std::u16string& text) {
  if (ar.IsStoring()) {
    ar.WriteString(text);
  } else {
    text = ar.ReadString();
  }
}

void SerializeU32(Archive& ar, DWORD& value) {
  if (ar.IsStoring()) {
    ar.WriteU32(value);
  } else {
    value = ar.ReadU32();
  }
}

}  // namespace

void SerializeTime(Archive& ar, SYSTEMTIME& time) {
  std::uint16_t fields[8] = {time.wYear, time.wMonth,  time.wDayOfWeek, time.wDay,
                             time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
  std::uint8_t bytes[kStoredTimeSize];
  for (int i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(fields[i]);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(fields[i] >> 8);
  }
  if (ar.IsStoring()) {
    ar.Write(bytes, kStoredTimeSize);
    return;
  }
  // A time cut short is the end of the file like any other field: the rest
  // of a record that a writer is still appending must not be read as the
  // fields that follow.
  if (ar.Read(bytes, kStoredTimeSize) != kStoredTimeSize) throw ArchiveException(ArchiveException::endOfFile);
  for (int i = 0; i < 8; ++i) fields[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  time = {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]};
}

// ---- CLogHeader --------------------------------------------------------------

void CLogHeader::CopyFrom(const stLOG_HEADER& header) {
  dwItemCount = header.dwItemCount;
  dwVersion = header.dwVersion;
  dwCheck = header.dwCheck;
}

void CLogHeader::CopyTo(stLOG_HEADER* header) const {
  if (header == nullptr) return;
  header->dwItemCount = dwItemCount;
  header->dwVersion = dwVersion;
  header->dwCheck = dwCheck;
}

void CLogHeader::Serialize(Archive& ar) {
  SerializeU32(ar, dwVersion);
  SerializeU32(ar, dwItemCount);
  SerializeU32(ar, dwCheck);
}

// ---- CPCScanLogRecord --------------------------------------------------------

void CPCScanLogRecord::CopyFrom(const stPC_SCAN_LOG_W& log) {
  stTime = log.stTime;
  dwCode = log.dwCode;
  strText64 = FromField(log.szText64);
  dwSubCode = log.dwSubCode;
  strText260 = FromField(log.szText260);
}

void CPCScanLogRecord::CopyTo(stPC_SCAN_LOG_W* log) const {
  if (log == nullptr) return;
  log->stTime = stTime;
  log->dwCode = dwCode;
  ToField(log->szText64, strText64);
  log->dwSubCode = dwSubCode;
  ToField(log->szText260, strText260);
}

void CPCScanLogRecord::Serialize(Archive& ar) {
  SerializeTime(ar, stTime);
  SerializeU32(ar, dwCode);
  SerializeString(ar, strText64);
  SerializeU32(ar, dwSubCode);
  SerializeString(ar, strText260);
}

// ---- CFWLogRecord ------------------------------------------------------------

void CFWLogRecord::CopyFrom(const stFW_LOG_W& log) {
  stTime = log.stTime;
  dwCode = log.dwCode;
  strText64 = FromField(log.szText64);
  strText260 = FromField(log.szText260);
  strText64b = FromField(log.szText64b);
  dwParam = log.dwParam;
  dwSubCode = log.dwSubCode;
}

void CFWLogRecord::CopyTo(stFW_LOG_W* log) const {
  if (log == nullptr) return;
  log->stTime = stTime;
  log->dwCode = dwCode;
  ToField(log->szText64, strText64);
  ToField(log->szText260, strText260);
  ToField(log->szText64b, strText64b);
  log->dwParam = dwParam;
  log->dwSubCode = dwSubCode;
}

void CFWLogRecord::Serialize(Archive& ar) {
  SerializeTime(ar, stTime);
  SerializeU32(ar, dwCode);
  SerializeString(ar, strText64);
  SerializeString(ar, strText260);
  SerializeString(ar, strText64b);
  SerializeU32(ar, dwParam);
  SerializeU32(ar, dwSubCode);
}

// ---- CSimpleLogRecord --------------------------------------------------------

void CSimpleLogRecord::CopyFrom(const stSIMPLE_LOG_W& log) {
  stTime = log.stTime;
  dwCode = log.dwCode;
  dwSubCode = log.dwSubCode;
  strText260 = FromField(log.szText260);
}

void CSimpleLogRecord::CopyTo(stSIMPLE_LOG_W* log) const {
  if (log == nullptr) return;
  log->stTime = stTime;
  log->dwCode = dwCode;
  log->dwSubCode = dwSubCode;
  ToField(log->szText260, strText260);
}

void CSimpleLogRecord::Serialize(Archive& ar) {
  SerializeTime(ar, stTime);
  SerializeU32(ar, dwCode);
  SerializeU32(ar, dwSubCode);
  SerializeString(ar, strText260);
}

// ---- Loading into boundary records --------------------------------------------

// LoadRecord writes every member; these hold only if there is no padding
// between them that it would leave unwritten.
static_assert(sizeof(stPC_SCAN_LOG_W) == sizeof(SYSTEMTIME) + 2 * sizeof(DWORD) + (64 + 260) * sizeof(WCHAR));
static_assert(sizeof(stFW_LOG_W) == sizeof(SYSTEMTIME) + 3 * sizeof(DWORD) + (64 + 260 + 64) * sizeof(WCHAR));
static_assert(sizeof(stSIMPLE_LOG_W) == sizeof(SYSTEMTIME) + 2 * sizeof(DWORD) + 260 * sizeof(WCHAR));

template <std::size_t N>
static void LoadField(Archive& ar, WCHAR (&field)[N]) {
  ar.ReadStringInto(field, N);
}

void LoadRecord(Archive& ar, stPC_SCAN_LOG_W& log) {
  SerializeTime(ar, log.stTime);
  log.dwCode = ar.ReadU32();
  LoadField(ar, log.szText64);
  log.dwSubCode = ar.ReadU32();
  LoadField(ar, log.szText260);
}

void LoadRecord(Archive& ar, stFW_LOG_W& log) {
  SerializeTime(ar, log.stTime);
  log.dwCode = ar.ReadU32();
  LoadField(ar, log.szText64);
  LoadField(ar, log.szText260);
  LoadField(ar, log.szText64b);
  log.dwParam = ar.ReadU32();
  log.dwSubCode = ar.ReadU32();
}

void LoadRecord(Archive& ar, stSIMPLE_LOG_W& log) {
  SerializeTime(ar, log.stTime);
  log.dwCode = ar.ReadU32();
  log.dwSubCode = ar.ReadU32();
  LoadField(ar, log.szText260);
}

}  // namespace qorlog::logstore
