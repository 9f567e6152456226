// The log policy: whether every record written is also sent to the viewer.
//
// The answer is read once per process from the update component's protected
// settings file and cached; the rule itself (settings/log_policy_rule.h) is
// shared with the qorlog program, so both always agree. No lock is taken: the
// read flag is claimed with one atomic exchange before the file is read, so
// exactly one caller reads it, a failed read is not retried, and a caller
// that comes while the read is still running gets the answer of that moment
// (off).
#include <atomic>

#include "logstore/log_util.h"
#include "settings/log_policy_rule.h"

namespace qorlog {

namespace {

// The cached answer: 0 at load, set to 1 at most once, never reset.
std::atomic<DWORD> g_log_policy_on{0};

}  // namespace

DWORD CLogUtil::IsLogPolicyOn() {
  if (std::atomic_ref<DWORD>(read_flag_).exchange(1) != 0) return g_log_policy_on.load();

  if (ReadLogPolicy(JoinPath(GetUpdateFolder(), kLogPolicyFile)) == LogPolicyEntry::kSet) {
    g_log_policy_on.store(1);
  }
  return g_log_policy_on.load();
}

}  // namespace qorlog
