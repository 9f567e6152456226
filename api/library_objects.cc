// Every process-wide object of the library, in load order (see the header).
#include "api/library_objects.h"

namespace qorlog {

// 1. The log manager: creates or opens the writers' mutex.
CLogManager g_LogManager;

}  // namespace qorlog
