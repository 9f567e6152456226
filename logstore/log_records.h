// The record objects: the one path between the boundary records of the
// public header and the bytes of a log file. Each holds its fields in storage
// order, texts as wide strings of any length:
//   CLogHeader        dwVersion, dwItemCount, dwCheck
//   CPCScanLogRecord  time, dwCode, text64, dwSubCode, text260
//   CFWLogRecord      time, dwCode, text64, text260, text64b, dwParam, dwSubCode
//   CSimpleLogRecord  time, dwCode, dwSubCode, text260
// CopyFrom takes each text up to its NUL (never past its field); CopyTo cuts
// texts to 63 or 259 characters plus a NUL and ignores a null target.
// Serialize stores or loads the members in storage order; archive and file
// errors pass to the caller.
// Thread rules: plain values; one thread per object.
#pragma once

#include <string>

#include "api/qorlog.h"

namespace qorlog::inline logstore {

class Archive;

class CLogHeader {
 public:
  CLogHeader() = default;
  explicit CLogHeader(const stLOG_HEADER& header) { CopyFrom(header); }
  virtual ~CLogHeader() = default;

  // stLOG_HEADER holds dwItemCount, dwVersion, dwCheck in that order.
  void CopyFrom(const stLOG_HEADER& header);
  void CopyTo(stLOG_HEADER* header) const;
  void Serialize(Archive& ar);
  // dwCheck equals dwVersion + dwItemCount (32-bit, wrapping). The version
  // value itself is not tested.
  bool IsValid() const { return dwCheck == static_cast<DWORD>(dwVersion + dwItemCount); }

  DWORD dwVersion = 0;
  DWORD dwItemCount = 0;
  DWORD dwCheck = 0;
};

class CPCScanLogRecord {
 public:
  CPCScanLogRecord() = default;
  explicit CPCScanLogRecord(const stPC_SCAN_LOG_W& log) { CopyFrom(log); }
  virtual ~CPCScanLogRecord() = default;

  void CopyFrom(const stPC_SCAN_LOG_W& log);
  void CopyTo(stPC_SCAN_LOG_W* log) const;
  void Serialize(Archive& ar);

  SYSTEMTIME stTime = {};
  DWORD dwCode = 0;
  std::u16string strText64;
  DWORD dwSubCode = 0;
  std::u16string strText260;
};

class CFWLogRecord {
 public:
  CFWLogRecord() = default;
  explicit CFWLogRecord(const stFW_LOG_W& log) { CopyFrom(log); }
  virtual ~CFWLogRecord() = default;

  void CopyFrom(const stFW_LOG_W& log);
  void CopyTo(stFW_LOG_W* log) const;
  void Serialize(Archive& ar);

  SYSTEMTIME stTime = {};
  DWORD dwCode = 0;
  std::u16string strText64;
  std::u16string strText260;
  std::u16string strText64b;
  DWORD dwParam = 0;
  DWORD dwSubCode = 0;
};

class CSimpleLogRecord {
 public:
  CSimpleLogRecord() = default;
  explicit CSimpleLogRecord(const stSIMPLE_LOG_W& log) { CopyFrom(log); }
  virtual ~CSimpleLogRecord() = default;

  void CopyFrom(const stSIMPLE_LOG_W& log);
  void CopyTo(stSIMPLE_LOG_W* log) const;
  void Serialize(Archive& ar);

  SYSTEMTIME stTime = {};
  DWORD dwCode = 0;
  DWORD dwSubCode = 0;
  std::u16string strText260;
};

// Loads one stored record straight into a boundary record, in the storage
// order of Serialize, with no record object between: texts cut as CopyTo
// cuts them, and every byte of the target written (the rest of each text
// field cleared). Archive and file errors pass to the caller; the target may
// then hold part of the record.
void LoadRecord(Archive& ar, stPC_SCAN_LOG_W& log);
void LoadRecord(Archive& ar, stFW_LOG_W& log);
void LoadRecord(Archive& ar, stSIMPLE_LOG_W& log);

// A stored time: 16 raw bytes, eight little-endian u16. Loading is one raw
// read whose count is not checked: bytes the file does not have leave the
// time's old values.
void SerializeTime(Archive& ar, SYSTEMTIME& time);

}  // namespace qorlog::logstore
