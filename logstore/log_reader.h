// CLogReader: one log file open for reading (the object behind a log handle)
// and the read operations on it: the header, PC-scan records one by one, and
// the three array reads.
//
// The file is opened for reading with full sharing (writers keep appending,
// other readers keep reading); no lock is taken. Every read attaches a fresh
// archive at the file position it needs and leaves the file just
// after what it consumed, so the position is the reader's only state:
//   ReadHeader      sets it to 0 and leaves it after the header (12);
//   ReadPCScanLog   advances it by one record (unchanged when it fails);
//   Read*LogArray   sets it to 12 and leaves it after the last complete record.
// End-of-file is the normal end of an array read, including a record cut off
// by the end of the file (a writer may be in the middle of appending it).
//
// Statuses: 0; 8 when memory cannot be had; 87 for a bad record pointer;
// 1627 for a file error, an archive error other than end-of-file, or a value
// out of bounds in an array read. No exception leaves these functions.
//
// Thread rules: one thread at a time per object.
#pragma once

#include <string_view>

#include "api/qorlog.h"
#include "logstore/block_allocator.h"
#include "platform/file.h"

namespace qorlog::inline logstore {

class CLogReader {
 public:
  CLogReader() = default;
  virtual ~CLogReader() = default;
  CLogReader(const CLogReader&) = delete;
  CLogReader& operator=(const CLogReader&) = delete;

  // Opens `path` with modeRead | shareDenyNone. 0, or the system error code.
  DWORD Open(std::u16string_view path);
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  std::uint64_t GetPosition() const { return file_.GetPosition(); }

  // Reads the header from offset 0 into a block from `allocate` stored in
  // *header (null with status 8 when that fails). A file shorter than the
  // header ends the read quietly: values not read stay 0. Validity is not
  // tested; the caller gets the three values as stored.
  DWORD ReadHeader(BlockAllocator allocate, stLOG_HEADER** header);

  // Reads the next PC-scan record at the current position into *log. 87 for
  // a null or unreadable record; 1627 at the end of the file or on any
  // error, with *log and the file position unchanged. No value bounds.
  DWORD ReadPCScanLog(stPC_SCAN_LOG_W* log);

  // Read every record from offset 12 into one block from `allocate`, newest
  // first. Out-parameters are written only when the status is 0 and at
  // least one record was read (on a failed block allocation *array is set to
  // null and 8 returned). A block that a failed read had already taken goes
  // back through `release`; without one it stays with the allocator.
  DWORD ReadPCScanLogArray(BlockAllocator allocate, stPC_SCAN_LOG_W** array, DWORD* count,
                           BlockRelease release = nullptr);
  DWORD ReadFWLogArray(BlockAllocator allocate, stFW_LOG_W** array, DWORD* count, BlockRelease release = nullptr);
  DWORD ReadSimpleLogArray(BlockAllocator allocate, stSIMPLE_LOG_W** array, DWORD* count,
                           BlockRelease release = nullptr);

 private:
  template <typename Element>
  DWORD ReadArray(BlockAllocator allocate, BlockRelease release, DWORD sub_code_limit, Element** array, DWORD* count);

  platform::File file_;
};

}  // namespace qorlog::logstore
