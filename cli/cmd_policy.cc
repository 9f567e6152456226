// qorlog policy: whether this machine's writers send each record to the
// viewer, and why. The answer comes from the same rule and the same load of
// the update component's protected settings file that the library uses
// (settings/log_policy_rule.h), so the two cannot disagree. Exit status 0
// when on, 1 when off.
#include <iostream>

#include "cli/commands.h"
#include "cli/log_locations.h"
#include "cli/settings_loader.h"
#include "platform/text.h"
#include "settings/log_policy_rule.h"

namespace qorlog::cli {

namespace {

using platform::Utf16ToUtf8;

ExitCode RunPolicy() {
  const LogLocations where = FindLogLocationsOrReport();
  if (where.status != 0) return ExitCode::kFailed;
  const std::string path = where.UpdateFolder() + "/" + Utf16ToUtf8(kLogPolicyFile);
  const std::string key = Utf16ToUtf8(kLogPolicyKeyName);
  const std::string place = " in section [" + Utf16ToUtf8(kLogPolicySectionName) + "] of " + path;

  std::string why;
  const LogPolicyEntry entry = ReadLogPolicy(platform::Utf8ToUtf16(path));
  switch (entry) {
    case LogPolicyEntry::kUnreadable: {
      CSecureIniDocument doc;
      why = path + ": " + LoadSettingsFile(path, &doc).why;
      break;
    }
    case LogPolicyEntry::kMissing:
      why = "no key " + key + place;
      break;
    case LogPolicyEntry::kBlank:
      why = key + " is empty" + place;
      break;
    case LogPolicyEntry::kSet: {
      CSecureIniDocument doc;
      LoadSettingsFile(path, &doc);
      why = key + "=" + Utf16ToUtf8(doc.GetString(kLogPolicySectionName, kLogPolicyKeyName)) + place;
      break;
    }
  }
  const bool on = entry == LogPolicyEntry::kSet;
  std::cout << (on ? "on: " : "off: ") << why << "\n";
  return on ? ExitCode::kSuccess : ExitCode::kNegative;
}

}  // namespace

void AddPolicyCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand(
      "policy", "Say whether records are sent to the viewer on this machine, and why (exit 0 on, 1 off)");
  cmd->callback([&outcome] { outcome.exit_code = RunPolicy(); });
}

}  // namespace qorlog::cli
