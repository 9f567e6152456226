// qorlog watch: the live viewer. Publishes the viewer's window, so that the
// library sends it every record written while the log policy is on, and
// prints each record as it arrives. `qorlog` without a command runs this.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/receiver.h"
#include "notify/notify_names.h"

namespace qorlog::cli {

namespace {

ExitCode RunWatch(bool json) {
  ReceiverSetup setup;
  setup.command = "watch";
  setup.mapping_name = std::u16string(kViewerMappingName);
  setup.intro =
      "qorlog watch: showing log records as they are written (the library sends them here while the log "
      "policy is on).\nPress Ctrl+C to stop; 'qorlog --help' lists the other commands.\n";
  return RunReceiver(setup, [json](platform::UINT msg, platform::WPARAM, platform::LPARAM lparam) -> platform::LRESULT {
    if (msg != platform::kWmCopyData) return 0;
    const platform::CopyDataStruct& cds = *platform::CopyDataOf(lparam);
    if (auto record = DecodeRecord(cds.dwData, cds); record) {
      if (json) {
        PrintJsonLine(std::cout, *record);
      } else {
        std::cout << ToLine(*record) << "\n";
      }
    } else if (cds.dwData == kViewerText) {
      if (json) {
        std::cout << nlohmann::json{{"message", DecodeText(cds)}}.dump() << "\n";
      } else {
        std::cout << "message: " << DecodeText(cds) << "\n";
      }
    } else if (cds.dwData != kViewerActivate) {
      return 0;
    }
    std::cout.flush();
    if (!std::cout) StopReceiver();  // nobody reads the output any more
    return 1;
  });
}

}  // namespace

void AddWatchCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("watch", "Show log records as they are written (the live viewer; the default)");
  auto json = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json, "Print one JSON object per record (the keys of 'show --json')");
  cmd->callback([&outcome, json] { outcome.exit_code = RunWatch(*json); });
}

}  // namespace qorlog::cli
