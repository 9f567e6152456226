// Every process-wide object of the library, in load order (see the header).
#include "api/library_objects.h"

namespace qorlog {

// 1. The log manager: creates or opens the writers' mutex.
CLogManager g_LogManager;

// 2. The log policy's CLogUtil: nothing read yet.
CLogUtil g_LogUtil;

}  // namespace qorlog
