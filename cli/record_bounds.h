// The values the library's array reads accept, per record kind (the bounds
// live in logstore/log_format.h beside the readers that enforce them). A
// record outside them makes every record of its file unreadable, so the
// program refuses to write one and names the bounds when it finds one.
#pragma once

#include <string>

#include "api/qorlog.h"
#include "logstore/log_format.h"

namespace qorlog::cli {

// Exclusive upper bound of dwSubCode for records of `kind`'s record kind.
constexpr DWORD SubCodeLimit(DWORD kind) {
  return RecordKindOf(kind) == kRecordKindSimple ? kSimpleSubCodeLimit : kSubCodeLimit;
}

// "codes 0 to 602, sub codes 0 to 205" for `kind`'s record kind.
inline std::string AcceptedValuesText(DWORD kind) {
  return "codes 0 to " + std::to_string(kCodeLimit - 1) + ", sub codes 0 to " + std::to_string(SubCodeLimit(kind) - 1);
}

}  // namespace qorlog::cli
