// The public header before <windows.h>: the header brings the same types, so
// the later <windows.h> does not conflict with it.
#include "api/qorlog.h"

#include <windows.h>

#include <type_traits>

static_assert(std::is_same_v<DWORD, unsigned long>);
static_assert(std::is_same_v<LPCWSTR, const wchar_t*>);

BOOL QorlogCheckWindowsAfter(SYSTEMTIME* time) {
  ::GetLocalTime(time);
  return QORLOG_GetProgramFilesPath(nullptr, 0) == QORLOG_STATUS_OK;
}
