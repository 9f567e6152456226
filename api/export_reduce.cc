// The pruning export.
#include <new>

#include "api/qorlog.h"
#include "logstore/log_reducer.h"
#include "logstore/log_util.h"

extern "C" QORLOG_API DWORD QORLOG_ReduceLog(DWORD dwKind) {
  try {
    qorlog::CLogUtil util;
    const qorlog::platform::PathBuffer folder = util.GetLogFolder(dwKind);
    qorlog::CLogReducer reducer;
    return reducer.Reduce(folder.view());
  } catch (const std::bad_alloc&) {
    return QORLOG_STATUS_OUT_OF_MEMORY;
  }
}
