// RepairLogTail: puts right what a writer killed inside its append may have
// left at the end of a log file: a record cut off part-way (the kill came
// during the record's write) and a header that does not count the last
// record (the kill came between the record and the header). A killed writer
// cannot clean up after itself, so the next writer to take the abandoned
// writers' mutex does it before anyone appends after the cut-off bytes.
// Thread rules: call only while holding the writers' mutex.
#pragma once

#include <string_view>

#include "api/qorlog.h"

namespace qorlog::inline logstore {

// Cuts the file at `path` back to its last complete record and makes its
// header count the complete records. Records are walked as `kind`'s. A file
// whose complete records are fewer than its header counts is not this kind's
// or is damaged in some other way and is left as it is. True when the file
// was changed.
bool RepairLogTail(std::u16string_view path, DWORD kind);

}  // namespace qorlog::logstore
