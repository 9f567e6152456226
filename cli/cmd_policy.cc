// qorlog policy: whether this machine's writers send each record to the
// viewer, and why. The answer comes from the update component's protected
// settings file: on when it holds a non-blank url_logpolicy in [qorcommon].
// Exit status 0 when on, 1 when off.
#include <iostream>

#include "cli/commands.h"
#include "cli/settings_loader.h"
#include "logstore/log_util.h"
#include "platform/text.h"
#include "settings/secure_ini_document.h"

namespace qorlog::cli {

namespace {

int RunPolicy() {
  CLogUtil util;
  const std::string path =
      platform::Utf16ToUtf8(JoinPath(util.GetUpdateFolder(), kLogPolicyFileName));
  const std::string where = std::string(" in section [") + platform::Utf16ToUtf8(kLogPolicySection) +
                            "] of " + path;
  const std::string key = platform::Utf16ToUtf8(kLogPolicyKey);

  CSecureIniDocument doc;
  bool on = false;
  std::string why;
  if (std::string error = LoadSettingsFile(path, &doc); !error.empty()) {
    why = path + ": " + error;
  } else {
    const std::u16string missing = u"\x1";
    const std::u16string value = doc.GetString(kLogPolicySection, kLogPolicyKey, missing.c_str());
    if (value == missing) {
      why = "no key " + key + where;
    } else if (value.empty()) {
      why = key + " is empty" + where;
    } else {
      on = true;
      why = key + "=" + platform::Utf16ToUtf8(value) + where;
    }
  }
  // The library's own answer, read the way every writer reads it.
  const bool library_on = util.IsLogPolicyOn() != 0;
  std::cout << (library_on ? "on" : "off") << ": " << why << "\n";
  if (library_on != on) {
    std::cerr << "qorlog: the file changed while it was read; ask again\n";
  }
  return library_on ? 0 : 1;
}

}  // namespace

void AddPolicyCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand(
      "policy", "Say whether records are sent to the viewer on this machine, and why (exit 0 on, 1 off)");
  cmd->callback([&outcome] { outcome.exit_code = RunPolicy(); });
}

QORLOG_CLI_COMMAND(AddPolicyCommand);

}  // namespace qorlog::cli
