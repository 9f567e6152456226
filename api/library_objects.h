// The library's process-wide objects. They are all defined in
// library_objects.cc, in the order in which the library constructs them at
// load; C++ constructs the objects of one file in the order of their
// definitions and destroys them in the reverse order at unload, which is the
// order the library needs:
//   1. g_LogManager: the log manager, its writers' mutex and the service
//      helper bridge (not loaded until an append needs it), with the tray's
//      new-file notice installed; this file is the one place that joins the
//      log store to the notifiers;
//   2. then the log policy's CLogUtil and the registered window messages.
// A further process-wide object is defined in that file, at its place in this
// list, never in another file (the order between files is unspecified).
// Thread rules: the objects exist from load to unload; see each class.
#pragma once

#include "logstore/log_manager.h"
#include "logstore/log_util.h"

namespace qorlog {

extern CLogManager g_LogManager;
// 2. The CLogUtil that carries the log policy's read flag; the writers ask
// its IsLogPolicyOn after every append.
extern CLogUtil g_LogUtil;

}  // namespace qorlog
