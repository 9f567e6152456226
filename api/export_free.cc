// The four free functions. Each takes back any block the library handed out
// (so each also frees a file list, which has no free function of its own)
// and refuses every other pointer with 87, freeing nothing.
#include "api/guard.h"
#include "api/handed_out.h"
#include "api/qorlog.h"

namespace {

using qorlog::api::Guarded;

DWORD Free(const void* block) {
  return Guarded([block] { return qorlog::api::TakeBackBlock(block) ? qorlog::kStatusOk : qorlog::kStatusBadPointer; });
}

}  // namespace

extern "C" QORLOG_API DWORD QORLOG_FreePCScanLogArray(stPC_SCAN_LOG_W* pArray) { return Free(pArray); }
extern "C" QORLOG_API DWORD QORLOG_FreeFWLogArray(stFW_LOG_W* pArray) { return Free(pArray); }
extern "C" QORLOG_API DWORD QORLOG_FreeSimpleLogArray(stSIMPLE_LOG_W* pArray) { return Free(pArray); }
extern "C" QORLOG_API DWORD QORLOG_FreeLogHeader(stLOG_HEADER* pHeader) { return Free(pHeader); }
