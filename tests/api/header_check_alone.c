/* The public header alone, as a C caller on Windows includes it: the basic
 * types are Windows' own and the record layout checks inside hold. */
#include "api/qorlog.h"

_Static_assert(_Generic((DWORD)0, unsigned long: 1, default: 0), "DWORD is unsigned long");
_Static_assert(_Generic((WCHAR)0, wchar_t: 1, default: 0), "WCHAR is wchar_t");

DWORD (*const qorlog_check_writer)(DWORD, const stSIMPLE_LOG_W*) = QORLOG_WriteSimpleLogW;
