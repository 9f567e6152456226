// The log policy rule: the update component turns the viewer notifications
// on by giving a non-blank value to one key of its protected settings file.
// The library asks the rule once per process (notify/log_policy.cc caches the
// answer); the qorlog program asks it afresh to say whether, and why.
// Thread rules: none; each call loads its own document.
#pragma once

#include <string_view>

#include "settings/ini_document.h"

namespace qorlog {

// The protected settings file in the update component's folder, and the entry
// whose non-blank value turns the policy on.
inline constexpr std::u16string_view kLogPolicyFile = u"zelinfo.ui";
inline constexpr std::u16string_view kLogPolicySectionName = u"qorcommon";
inline constexpr std::u16string_view kLogPolicyKeyName = u"url_logpolicy";

enum class LogPolicyEntry {
  kUnreadable,  // the file is missing, unreadable, not protected or damaged
  kMissing,     // no such key in the section (or no such section)
  kBlank,       // the key is there with an empty or all-blank value
  kSet,         // a non-blank value: the policy is on
};

// What the loaded document says about the policy key (values are trimmed by
// the parser, so blanks alone read as empty).
LogPolicyEntry LogPolicyEntryOf(CIniDocument& doc);

// Loads the protected settings file at `path` (without deleting it) and
// applies the rule. Only kSet means on.
LogPolicyEntry ReadLogPolicy(std::u16string_view path);

}  // namespace qorlog
