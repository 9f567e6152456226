// qorlog tray: a stand-in for the suite's tray process. Publishes the tray's
// window and presence event machine-wide and prints every TRAY, FLICKER and
// WM_COPYDATA message it receives.
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/receiver.h"
#include "notify/notify_names.h"

namespace qorlog::cli {

namespace {

std::string Describe(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam) {
  if (msg == TrayMessage()) {
    const std::string head = "TRAY " + std::to_string(wparam) + ": ";
    if (wparam == kTrayNewLogFile) return head + "new log file for kind " + std::to_string(lparam);
    return head + std::to_string(static_cast<std::int32_t>(lparam));
  }
  if (msg == TrayFlickerMessage()) {
    return "FLICKER " + std::to_string(wparam) + ": " + std::to_string(static_cast<std::int32_t>(lparam));
  }
  if (msg == platform::kWmCopyData) {
    const platform::CopyDataStruct& cds = *platform::CopyDataOf(lparam);
    const std::string head = "COPYDATA " + std::to_string(cds.dwData) + " (" + std::to_string(cds.cbData) + " bytes): ";
    if (auto record = DecodeRecord(cds.dwData, cds); record) return head + ToLine(*record);
    return head + DecodeText(cds);
  }
  return {};
}

ExitCode RunTray() {
  ReceiverSetup setup;
  setup.command = "tray";
  setup.mapping_name = TrayObjectName(kTrayMappingName).str();
  setup.event_name = TrayObjectName(kTrayEventName).str();
  setup.any_user = true;
  setup.intro = "qorlog tray: standing in for the tray; printing the messages it receives. Press Ctrl+C to stop.\n";
  return RunReceiver(setup, [](platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam) -> platform::LRESULT {
    const std::string line = Describe(msg, wparam, lparam);
    if (line.empty()) return 0;
    std::cout << line << std::endl;
    if (!std::cout) StopReceiver();
    return 1;
  });
}

}  // namespace

void AddTrayCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("tray", "Stand in for the tray: print the tray messages that arrive");
  cmd->callback([&outcome] { outcome.exit_code = RunTray(); });
}

}  // namespace qorlog::cli
