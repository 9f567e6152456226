#include "logstore/log_reader.h"

#include <new>
#include <vector>

#include "api/status.h"
#include "logstore/archive.h"
#include "logstore/log_format.h"
#include "logstore/log_records.h"
#include "logstore/open_when_free.h"
#include "platform/system.h"

namespace qorlog::inline logstore {

namespace {

// The status of an exception that ended a read: end-of-file is a normal end
// (0), memory exhaustion outside a record's own fields is reported by the
// caller, everything else is 1627.
DWORD StatusOfReadFailure() {
  try {
    throw;
  } catch (const ArchiveException& e) {
    return e.cause() == ArchiveException::endOfFile ? kStatusOk : kStatusLogError;
  } catch (...) {
    return kStatusLogError;
  }
}

}  // namespace

DWORD CLogReader::Open(std::u16string_view path) {
  DWORD error = 0;
  if (OpenWhenFree(file_, path, platform::File::modeRead | platform::File::shareDenyNone, &error)) return kStatusOk;
  return error != 0 ? error : kStatusFileNotFound;
}

DWORD CLogReader::ReadHeader(BlockAllocator allocate, stLOG_HEADER** header) {
  try {
    file_.Seek(0, platform::File::begin);
    Archive ar(file_, Archive::kLoad);
    CLogHeader values;
    DWORD status = kStatusOk;
    try {
      values.Serialize(ar);
    } catch (...) {
      status = StatusOfReadFailure();
    }
    if (status == kStatusOk) {
      auto* block = static_cast<stLOG_HEADER*>(allocate(sizeof(stLOG_HEADER)));
      *header = block;
      if (block == nullptr) {
        status = kStatusOutOfMemory;
      } else {
        values.CopyTo(block);
      }
    }
    ar.Close();  // the file stands just after the bytes consumed
    return status;
  } catch (const std::bad_alloc&) {
    return kStatusOutOfMemory;
  } catch (...) {
    return kStatusLogError;
  }
}

DWORD CLogReader::ReadPCScanLog(stPC_SCAN_LOG_W* log) {
  if (log == nullptr || platform::IsBadReadPtr(log, sizeof *log)) return kStatusBadPointer;
  const std::uint64_t start = file_.GetPosition();
  try {
    Archive ar(file_, Archive::kLoad);
    stPC_SCAN_LOG_W record;  // *log changes only once the whole record is read
    LoadRecord(ar, record);
    ar.Close();
    *log = record;
    return kStatusOk;
  } catch (...) {
    // Stay at the start of the record that could not be read, so that a
    // record a writer is still appending can be read once it is complete.
    try {
      if (file_.IsOpen()) file_.Seek(static_cast<std::int64_t>(start), platform::File::begin);
    } catch (...) {
    }
    return kStatusLogError;
  }
}

// An array read reads the file in larger steps than a single record needs.
constexpr std::size_t kArrayReadBuffer = 64 * 1024;

// Two passes over the records, so that the only memory the read takes is the
// caller's block: the first finds how many whole records in bounds there are,
// the second decodes them straight into the block, newest first.
template <typename Element>
DWORD CLogReader::ReadArray(BlockAllocator allocate, BlockRelease release, DWORD sub_code_limit, Element** array,
                            DWORD* count) {
  std::uint64_t after_last_complete = kHeaderSize;
  DWORD status = kStatusOk;
  try {
    file_.Seek(kHeaderSize, platform::File::begin);  // the header is neither read nor tested
    std::size_t n = 0;
    {
      Archive ar(file_, Archive::kLoad, kArrayReadBuffer);
      Element record;
      for (;;) {
        try {
          LoadRecord(ar, record);
        } catch (...) {
          status = StatusOfReadFailure();  // a cut-off record is discarded
          break;
        }
        after_last_complete = ar.ConsumedPosition();
        if (record.dwCode >= kCodeLimit || record.dwSubCode >= sub_code_limit) {
          status = kStatusLogError;
          break;
        }
        ++n;
      }
    }
    if (status == kStatusOk && n != 0) {
      auto* block = static_cast<Element*>(allocate(n * sizeof(Element)));
      if (block == nullptr) {
        *array = nullptr;
        status = kStatusOutOfMemory;
      } else {
        // Writers only append whole records and cut back torn bytes after
        // them, so the records counted are still there; a file that changed
        // otherwise, or a failed read, ends the read as any other error.
        try {
          file_.Seek(kHeaderSize, platform::File::begin);
          Archive ar(file_, Archive::kLoad, kArrayReadBuffer);
          for (std::size_t i = n; i-- > 0;) LoadRecord(ar, block[i]);
        } catch (...) {
          if (release != nullptr) release(block);
          throw;
        }
        *array = block;
        *count = static_cast<DWORD>(n);
      }
    }
  } catch (const std::bad_alloc&) {
    status = kStatusOutOfMemory;
  } catch (...) {
    status = kStatusLogError;
  }
  try {
    if (file_.IsOpen()) file_.Seek(static_cast<std::int64_t>(after_last_complete), platform::File::begin);
  } catch (...) {
  }
  return status;
}

DWORD CLogReader::ReadPCScanLogArray(BlockAllocator allocate, stPC_SCAN_LOG_W** array, DWORD* count,
                                     BlockRelease release) {
  return ReadArray(allocate, release, kSubCodeLimit, array, count);
}

DWORD CLogReader::ReadFWLogArray(BlockAllocator allocate, stFW_LOG_W** array, DWORD* count, BlockRelease release) {
  return ReadArray(allocate, release, kSubCodeLimit, array, count);
}

DWORD CLogReader::ReadSimpleLogArray(BlockAllocator allocate, stSIMPLE_LOG_W** array, DWORD* count,
                                     BlockRelease release) {
  return ReadArray(allocate, release, kSimpleSubCodeLimit, array, count);
}

}  // namespace qorlog::logstore
