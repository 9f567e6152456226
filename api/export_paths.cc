// The export that hands out the Program Files folder.
#include "api/guard.h"
#include "api/qorlog.h"
#include "logstore/log_util.h"

extern "C" QORLOG_API DWORD QORLOG_GetProgramFilesPath(LPWSTR pszBuffer, DWORD cchBuffer) {
  return qorlog::api::Guarded([&] {
    qorlog::CLogUtil util;
    return util.GetProgramFilesPath(pszBuffer, cchBuffer);
  });
}
