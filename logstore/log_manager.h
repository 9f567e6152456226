// CLogManager: the one process-wide object through which every record is
// appended. It owns what all appends share: the path helper, the writers'
// named mutex that serialises appends across every process of the session,
// and the bridge to the suite's service helper library. It caches no file
// between appends: each append selects, opens and closes its file afresh.
//
// An append (AppendPCScanLog, AppendFWLog, AppendSimpleLog) runs as one unit
// under the writers' mutex: select the current file of the kind, touch it
// through the helper, stamp the record with the local time, write it at the
// end of the file, raise the header's count, close. The statuses:
//   0           written
//   87          null or unreadable record
//   128         the previous owner of the mutex died holding it (nothing written)
//   0xFFFFFFFF  the wait for the mutex failed, e.g. a null mutex handle
//   1627        no file could be chosen (the day's 100 files are used up), or a
//               file error; a record write that failed part-way is cut off again
//
// Thread rules: any thread may call the appends at any time; they serialise on
// the writers' mutex. Construction and destruction run at library load and
// unload, when no append runs.
#pragma once

#include <atomic>
#include <optional>
#include <string_view>

#include "logstore/log_util.h"
#include "logstore/tail_repair.h"
#include "platform/file.h"
#include "platform/named_mutex.h"
#include "platform/system.h"
#include "platform/types.h"
#include "svchelper/service_helper_bridge.h"

namespace qorlog::inline logstore {

// The name every process that loads the library uses for the writers' mutex.
inline constexpr std::u16string_view kWritersMutexName = u"QorLog-4B60CD43-7103-4475-B2A4-FC24CFEB5BD3";

// The local time that appends use for file names and record stamps.
using LocalClock = SYSTEMTIME (*)();

// Told of each new log file just before an append creates it, with the kind
// of the record, whether or not the create then succeeds. It runs under the
// writers' mutex, so it must be brief (the library's tray notice is a message
// with a 2000 ms limit). The log store knows no notifier: the layer that
// assembles the library installs one here.
using NewFileNotice = void (*)(DWORD kind);

class CLogManager {
 public:
  // Creates or opens the writers' mutex (a null handle when that fails); the
  // bridge starts unloaded. `new_file_notice` (may be null) hears of every
  // file that an append of this manager is about to create.
  explicit CLogManager(NewFileNotice new_file_notice = nullptr);
  // Closes the mutex handle and frees the service helper library if an
  // append loaded it.
  virtual ~CLogManager();
  CLogManager(const CLogManager&) = delete;
  CLogManager& operator=(const CLogManager&) = delete;

  // Appends one record; its stTime is overwritten with the time of the append.
  DWORD AppendPCScanLog(stPC_SCAN_LOG_W* log);
  DWORD AppendFWLog(stFW_LOG_W* log);
  DWORD AppendSimpleLog(DWORD kind, stSIMPLE_LOG_W* log);
  // The same for a record that the caller holds itself (the writers' own
  // copy on their stack), so it needs no readability probe.
  DWORD AppendPCScanLog(stPC_SCAN_LOG_W& log);
  DWORD AppendFWLog(stFW_LOG_W& log);
  DWORD AppendSimpleLog(DWORD kind, stSIMPLE_LOG_W& log);

  // Chooses today's current file of `kind`, creating the folder and the file
  // as needed, and opens it into `file` for reading and writing with write
  // access denied to others. 0 when a name was chosen (the file may still
  // have failed to open: it is then left closed); 1627 when none could be.
  // The caller holds the writers' mutex. Defined in current_log_file.cc.
  // When the file's header was read through `file` on the way (its count
  // cannot have changed since), *header_count gets its record count.
  DWORD OpenCurrentLogFile(DWORD kind, platform::File& file, std::optional<DWORD>* header_count = nullptr);

  // Reads the header of an open file from its start; true when it is valid,
  // with its record count stored in *count when count is not null. Any error
  // gives false and leaves *count alone.
  BOOL ReadLogHeader(platform::File* file, DWORD* count);
  // Rewrites the header with `count` records, touching the file through the
  // helper first. False when it could not be written (errors are not thrown).
  BOOL WriteLogHeader(platform::File* file, DWORD count);

  // Creates a folder and its missing parents; true when this call made it.
  BOOL MakeLogFolder(std::u16string_view path) { return qorlog::MakeLogFolder(path) ? 1 : 0; }

  // The clock of the appends: the platform's local time unless a test set
  // another. Set it only while no append runs.
  void SetClock(LocalClock clock) { clock_.store(clock != nullptr ? clock : &platform::GetLocalTime); }
  LocalClock clock() const { return clock_.load(); }

  bool HasMutex() const { return !mutex_.IsNull(); }
  CServiceHelperBridge& bridge() { return bridge_; }

 private:
  template <typename Record, typename Object>
  DWORD Append(DWORD kind, Record& log);
  // Repairs the tail of today's current file of every category, which a
  // writer killed while holding the mutex may have left cut off or miscounted.
  // The caller holds the mutex. Defined in current_log_file.cc.
  void RepairCurrentLogFiles();
  // Loads the helper if it is not loaded; a failure is retried next time.
  void LoadServiceHelper(const platform::PathBuffer& program_files);

  CLogUtil util_;
  const NewFileNotice new_file_notice_;
  platform::NamedMutex mutex_;
  PendingTailRepair torn_tail_;  // guarded by mutex_
  CServiceHelperBridge bridge_;
  std::atomic<LocalClock> clock_{&platform::GetLocalTime};
};

}  // namespace qorlog::logstore
