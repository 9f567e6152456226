#include "cli/status_text.h"

#include <cstdlib>

#include "logstore/log_util.h"
#include "platform/text.h"

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
      return "no log file could be chosen (the day's 100 files are used up), or a file error occurred";
    default:
      return "system error " + std::to_string(status);
  }
}

bool ParseKind(const std::string& text, DWORD* kind) {
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (*end == 0 && value <= 0xFFFFFFFFul) {
    *kind = static_cast<DWORD>(value);
    return true;
  }
  for (DWORD k : {QORLOG_KIND_PCSCAN, QORLOG_KIND_FIREWALL, QORLOG_KIND_ANTIKEYLOGGER, QORLOG_KIND_SECUREBROWSER,
                  QORLOG_KIND_PELLORA, 0u}) {
    if (platform::Utf16ToUtf8(CLogUtil::GetCategoryName(k)) == text) {
      *kind = k;
      return true;
    }
  }
  return false;
}

}  // namespace qorlog::cli
