// The pruning export.
#include "api/guard.h"
#include "api/qorlog.h"
#include "logstore/log_reducer.h"
#include "logstore/log_util.h"

extern "C" QORLOG_API DWORD QORLOG_ReduceLog(DWORD dwKind) {
  return qorlog::api::Guarded([&] {
    qorlog::CLogUtil util;
    const qorlog::platform::PathBuffer folder = util.GetLogFolder(dwKind);
    qorlog::CLogReducer reducer;
    return reducer.Reduce(folder.view());
  });
}
