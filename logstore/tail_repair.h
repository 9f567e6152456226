// RepairLogTail: puts right what a writer killed inside its append may have
// left at the end of a log file: a record cut off part-way (the kill came
// during the record's write) and a header that does not count the last
// record (the kill came between the record and the header). A killed writer
// cannot clean up after itself, so the next writer to take the abandoned
// writers' mutex does it before anyone appends after the cut-off bytes.
// Thread rules: call only while holding the writers' mutex.
#pragma once

#include <string>
#include <string_view>

#include "api/qorlog.h"

namespace qorlog::inline logstore {

// Cuts the file at `path` back to its last complete record and makes its
// header count the complete records. Records are walked as `kind`'s. A file
// whose complete records are fewer than its header counts is not this kind's
// or is damaged in some other way and is left as it is. True when the file
// was changed.
bool RepairLogTail(std::u16string_view path, DWORD kind);

// A file whose record write failed part-way and whose cut-back failed too, in
// a writer that lives on: the torn bytes stay at the end, and the next record
// would follow them. No other writer can tell (the header counts the records
// before the tear, and finding where they end means reading the whole file),
// so the writer that saw it keeps it here and its next append, under the
// writers' mutex, repairs the tail before writing anything. Until the repair
// succeeds, its appends fail instead of writing after the tear. A header
// that could not be rewritten after a whole record is kept here the same
// way, so that its count is put right. The normal append pays one test of an
// empty string: no system call.
// Thread rules: used only while holding the writers' mutex.
class PendingTailRepair {
 public:
  // `record_kind` is the kind of record the file holds (kRecordKind*).
  void Remember(std::u16string path, DWORD record_kind);
  // True when nothing is pending or the pending repair is made now; false
  // when the tail is still torn.
  bool Settle() {
    if (path_.empty()) [[likely]] return true;
    return SettleNow();
  }

 private:
  bool SettleNow();
  std::u16string path_;
  DWORD record_kind_ = 0;
};

}  // namespace qorlog::logstore
