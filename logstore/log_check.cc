#include "logstore/log_check.h"

#include <algorithm>

#include "api/status.h"
#include "logstore/archive.h"
#include "logstore/log_format.h"
#include "logstore/log_records.h"
#include "logstore/open_when_free.h"
#include "platform/file.h"

namespace qorlog::inline logstore {

namespace {

template <typename Record>
void WalkRecords(platform::File& file, DWORD sub_code_limit, LogFileCheck* check) {
  file.Seek(kHeaderSize, platform::File::begin);
  Archive ar(file, Archive::kLoad);
  check->end_of_records = std::min<std::uint64_t>(kHeaderSize, check->file_size);
  for (;;) {
    Record record;
    try {
      record.Serialize(ar);
    } catch (const ArchiveException& e) {
      check->stop = e.cause() == ArchiveException::endOfFile ? LogFileCheck::Stop::kEndOfFile
                                                             : LogFileCheck::Stop::kUnreadable;
      return;
    }
    check->end_of_records = ar.ConsumedPosition();
    if (record.dwCode >= kCodeLimit || record.dwSubCode >= sub_code_limit) {
      check->stop = LogFileCheck::Stop::kOutOfBounds;
      check->bad_code = record.dwCode;
      check->bad_sub_code = record.dwSubCode;
      return;
    }
    ++check->records;
  }
}

}  // namespace

LogFileCheck CheckLogFile(std::u16string_view path, DWORD kind) {
  LogFileCheck check;
  platform::File file;
  if (!OpenWhenFree(file, path, platform::File::modeRead | platform::File::shareDenyNone, &check.open_error)) {
    if (check.open_error == 0) check.open_error = kStatusFileNotFound;
    return check;
  }
  try {
    check.file_size = file.GetLength();
    {
      Archive ar(file, Archive::kLoad);
      CLogHeader header;
      try {
        header.Serialize(ar);
        check.header_complete = true;
      } catch (const ArchiveException&) {
      }
      check.header_version = header.dwVersion;
      check.header_count = header.dwItemCount;
      check.header_valid = check.header_complete && header.IsValid();
    }
    switch (RecordKindOf(kind)) {
      case kRecordKindPCScan:
        WalkRecords<CPCScanLogRecord>(file, kSubCodeLimit, &check);
        break;
      case kRecordKindFirewall:
        WalkRecords<CFWLogRecord>(file, kSubCodeLimit, &check);
        break;
      default:
        WalkRecords<CSimpleLogRecord>(file, kSimpleSubCodeLimit, &check);
        break;
    }
  } catch (...) {
    check.stop = LogFileCheck::Stop::kUnreadable;
  }
  return check;
}

}  // namespace qorlog::logstore
