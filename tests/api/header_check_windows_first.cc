// The public header after <windows.h>, in C++: Windows' types are used, text
// is L"...", and QORLOG_ReadPCScanLog keeps C++ linkage.
#include <windows.h>

#include <type_traits>

#include "api/qorlog.h"

static_assert(std::is_same_v<DWORD, unsigned long>);
static_assert(std::is_same_v<WCHAR, wchar_t>);
static_assert(std::is_same_v<decltype(stPC_SCAN_LOG_W::stTime), SYSTEMTIME>);

DWORD QorlogCheckWindowsFirst(void* log) {
  stPC_SCAN_LOG_W record = {};
  record.szText64[0] = L'x';
  return QORLOG_ReadPCScanLog(log, &record) + QORLOG_OpenLogFile(L"C:\\log.log", &log);
}
