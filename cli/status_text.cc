#include "cli/status_text.h"

namespace qorlog::cli {

std::string StatusText(DWORD status) {
  switch (status) {
    case QORLOG_STATUS_OK:
      return "success";
    case QORLOG_STATUS_FILE_NOT_FOUND:
      return "file not found";
    case QORLOG_STATUS_PATH_NOT_FOUND:
      return "folder not found";
    case QORLOG_STATUS_ACCESS_DENIED:
      return "access denied";
    case QORLOG_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case QORLOG_STATUS_SHARING_VIOLATION:
      return "the file is in use";
    case QORLOG_STATUS_BAD_POINTER:
      return "bad pointer";
    case QORLOG_STATUS_NULL_RECORD:
      return "null record";
    case QORLOG_STATUS_MUTEX_ABANDONED:
      return "the writers' lock was abandoned by a process that died holding it; nothing written (try again)";
    case QORLOG_STATUS_WAIT_FAILED:
      return "waiting for the writers' lock failed; nothing written";
    case QORLOG_STATUS_LOG_ERROR:
      return "no log file could be chosen, or a file error occurred";
    default:
      return "system error " + std::to_string(status);
  }
}

}  // namespace qorlog::cli
