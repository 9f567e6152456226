#include "logstore/tail_repair.h"

#include "logstore/archive.h"
#include "logstore/log_check.h"
#include "logstore/log_format.h"
#include "logstore/log_records.h"
#include "logstore/open_when_free.h"
#include "platform/file.h"

namespace qorlog::inline logstore {

bool RepairLogTail(std::u16string_view path, DWORD kind) {
  const LogFileCheck check = CheckLogFile(path, kind);
  if (check.open_error != 0 || !check.header_valid || check.stop != LogFileCheck::Stop::kEndOfFile) return false;
  // Everything the header vouches for must lie before the tear; otherwise
  // the walk did not read what the writers wrote and cutting would lose data.
  if (check.records < check.header_count) return false;
  if (!check.CutOff() && check.records == check.header_count) return false;
  platform::File file;
  // The killed writer's handles may outlive its hold of the mutex for a
  // moment (the system reaps it after waking the mutex's waiters).
  if (!OpenWhenFree(file, path, platform::File::modeReadWrite | platform::File::shareDenyWrite)) return false;
  try {
    if (check.CutOff()) file.SetLength(check.end_of_records);
    file.SeekToBegin();
    CLogHeader header;
    header.dwVersion = kLogVersion;
    header.dwItemCount = check.records;
    header.dwCheck = check.records + kLogVersion;
    Archive ar(file, Archive::kStore);
    header.Serialize(ar);
    ar.Close();
  } catch (const platform::FileException&) {
    return false;
  } catch (const ArchiveException&) {
    return false;
  }
  return file.Close() == 0;
}

void PendingTailRepair::Remember(std::u16string path, DWORD record_kind) {
  path_ = std::move(path);
  record_kind_ = record_kind;
}

bool PendingTailRepair::SettleNow() {
  RepairLogTail(path_, record_kind_);
  const LogFileCheck check = CheckLogFile(path_, record_kind_);
  // Still torn the way this writer left it: the file system still fails.
  // Anything else (repaired, gone, set aside, damaged in another way) is no
  // longer this writer's to mend; the append's own checks take over.
  if (check.open_error == 0 && check.header_valid && check.CutOff() && check.records >= check.header_count) {
    return false;
  }
  path_.clear();
  return true;
}

}  // namespace qorlog::logstore
