#include "settings/log_policy_rule.h"

#include <algorithm>
#include <string>
#include <vector>

#include "settings/secure_ini_document.h"

namespace qorlog {

LogPolicyEntry LogPolicyEntryOf(CIniDocument& doc) {
  // GetString answers a missing key and an empty value alike; the key list
  // tells them apart (keys are held folded to lower case).
  std::vector<std::u16string> keys;
  doc.GetKeys(kLogPolicySectionName, &keys);
  if (std::find(keys.begin(), keys.end(), kLogPolicyKeyName) == keys.end()) return LogPolicyEntry::kMissing;
  return doc.GetString(kLogPolicySectionName, kLogPolicyKeyName).empty() ? LogPolicyEntry::kBlank
                                                                          : LogPolicyEntry::kSet;
}

LogPolicyEntry ReadLogPolicy(std::u16string_view path) {
  CSecureIniDocument doc;
  if (doc.LoadFile(path, 0) != 1) return LogPolicyEntry::kUnreadable;
  return LogPolicyEntryOf(doc);
}

}  // namespace qorlog
