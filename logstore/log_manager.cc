#include "logstore/log_manager.h"

#include <exception>
#include <type_traits>

#include "api/status.h"
#include "logstore/archive.h"
#include "logstore/log_format.h"
#include "logstore/log_records.h"
#include "platform/system.h"

namespace qorlog::inline logstore {

namespace {

// The mutex's wait results are returned as they are.
static_assert(platform::NamedMutex::kWaitAbandoned == kStatusMutexAbandoned);
static_assert(platform::NamedMutex::kWaitFailed == kStatusWaitFailed);

// Releases the writers' mutex on every way out of an append.
class MutexOwnership {
 public:
  explicit MutexOwnership(platform::NamedMutex& mutex) : mutex_(mutex) {}
  ~MutexOwnership() { mutex_.Release(); }
  MutexOwnership(const MutexOwnership&) = delete;
  MutexOwnership& operator=(const MutexOwnership&) = delete;

 private:
  platform::NamedMutex& mutex_;
};

// The kind of record an append of `Object` writes, as the file walks name it.
template <typename Object>
constexpr DWORD RecordKindFor() {
  if constexpr (std::is_same_v<Object, CPCScanLogRecord>) return kRecordKindPCScan;
  if constexpr (std::is_same_v<Object, CFWLogRecord>) return kRecordKindFirewall;
  return kRecordKindSimple;
}

}  // namespace

CLogManager::CLogManager(NewFileNotice new_file_notice)
    : new_file_notice_(new_file_notice), mutex_(kWritersMutexName) {}

CLogManager::~CLogManager() {
  mutex_.Close();
  if (bridge_.IsLoaded()) bridge_.Unload();
}

namespace {

// A record handed over by pointer is probed before it is touched.
template <typename Record>
bool Unreadable(const Record* log) {
  return log == nullptr || platform::IsBadReadPtr(log, sizeof(Record));
}

}  // namespace

DWORD CLogManager::AppendPCScanLog(stPC_SCAN_LOG_W* log) {
  return Unreadable(log) ? kStatusBadPointer : AppendPCScanLog(*log);
}

DWORD CLogManager::AppendFWLog(stFW_LOG_W* log) { return Unreadable(log) ? kStatusBadPointer : AppendFWLog(*log); }

DWORD CLogManager::AppendSimpleLog(DWORD kind, stSIMPLE_LOG_W* log) {
  return Unreadable(log) ? kStatusBadPointer : AppendSimpleLog(kind, *log);
}

DWORD CLogManager::AppendPCScanLog(stPC_SCAN_LOG_W& log) {
  return Append<stPC_SCAN_LOG_W, CPCScanLogRecord>(QORLOG_KIND_PCSCAN, log);
}

DWORD CLogManager::AppendFWLog(stFW_LOG_W& log) { return Append<stFW_LOG_W, CFWLogRecord>(QORLOG_KIND_FIREWALL, log); }

DWORD CLogManager::AppendSimpleLog(DWORD kind, stSIMPLE_LOG_W& log) {
  return Append<stSIMPLE_LOG_W, CSimpleLogRecord>(kind, log);
}

// The append, the same for every record kind. Everything between the wait
// and the release runs as one unit for all writers of all processes.
template <typename Record, typename Object>
DWORD CLogManager::Append(DWORD kind, Record& log) {
  const DWORD wait = mutex_.Wait();
  if (wait == platform::NamedMutex::kWaitAbandoned) {
    // We own it now, but the previous owner may have left its file half
    // written: repair that, report it and write nothing. Release before
    // returning.
    try {
      RepairCurrentLogFiles();
    } catch (const std::exception&) {
      // A repair that cannot be made leaves the file as the kill left it.
    }
    mutex_.Release();
    return wait;
  }
  if (wait != platform::NamedMutex::kWaitObject0) return wait;
  MutexOwnership ownership(mutex_);

  platform::File file;
  // The file's length before the record, and whether the record's bytes may
  // have reached the file: a write that fails part-way is cut off again, so
  // no partial record ever stands before a later one.
  std::uint64_t length_before = 0;
  bool writing = false;
  try {
    // A tear this writer could not cut back is mended before anything follows it.
    if (!torn_tail_.Settle()) return kStatusLogError;
    std::optional<DWORD> known_count;
    if (const DWORD status = OpenCurrentLogFile(kind, file, &known_count); status != 0) return status;
    bridge_.TouchSubFile(file.GetFilePath().c_str());
    length_before = file.SeekToEnd();
    log.stTime = clock()();
    Object record(log);
    {
      Archive ar(file, Archive::kStore);
      writing = true;
      record.Serialize(ar);
      ar.Close();  // the record (at most 812 bytes) goes out in one write
    }
    writing = false;
    // The count plus one (wrapping at 2^32, as the check does), or 0 when
    // the header cannot be read back. A header that the search read through
    // this handle is not read again: the handle has denied writing to others
    // since, and the record went after it.
    DWORD count = 0;
    if (known_count.has_value()) {
      count = *known_count + 1;
    } else if (ReadLogHeader(&file, &count)) {
      ++count;
    }
    // A count left behind is put right by this writer's next append.
    if (!WriteLogHeader(&file, count)) torn_tail_.Remember(file.GetFilePath(), RecordKindFor<Object>());
    // A close that fails may have lost what was written (a file system
    // that reports write errors only then).
    if (file.Close() != 0) return kStatusLogError;
  } catch (const std::exception&) {
    // File errors (and, should it happen, exhausted memory) end the append.
    if (writing) {
      try {
        file.SetLength(length_before);
      } catch (const platform::FileException&) {
        torn_tail_.Remember(file.GetFilePath(), RecordKindFor<Object>());
      }
    }
    file.Close();
    return kStatusLogError;
  }
  return 0;
}

BOOL CLogManager::ReadLogHeader(platform::File* file, DWORD* count) {
  return file != nullptr && CLogUtil::HasValidHeader(*file, count);
}

BOOL CLogManager::WriteLogHeader(platform::File* file, DWORD count) {
  if (file == nullptr) return 0;
  try {
    bridge_.TouchSubFile(file->GetFilePath().c_str());
    file->SeekToBegin();
    CLogHeader header;
    header.dwItemCount = count;
    header.dwVersion = kLogVersion;
    header.dwCheck = count + kLogVersion;
    Archive ar(*file, Archive::kStore);
    header.Serialize(ar);
    ar.Close();
    return 1;
  } catch (const platform::FileException&) {
  } catch (const ArchiveException&) {
  }
  return 0;
}

}  // namespace qorlog::logstore
