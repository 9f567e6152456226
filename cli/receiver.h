// The receiving side of the qorlog program's live commands (watch, tray): a
// hidden top-level window published under a mapping name, a loop that runs
// until SIGINT, SIGTERM or a WM_CLOSE, and the decoding of record payloads.
// Thread rules: one receiver per process, run on the main thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/exit_codes.h"
#include "cli/record_format.h"
#include "platform/window.h"

namespace qorlog::cli {

struct ReceiverSetup {
  std::string command;              // "watch", for messages
  std::u16string mapping_name;      // where the window handle is published
  std::u16string event_name;        // a presence event to hold, when not empty
  bool any_user = false;            // accept messages from other users
  std::string intro;                // said on a terminal before the loop runs
};

// Publishes a window with `proc`, sends the readiness notice and handles
// messages until SIGINT, SIGTERM or a WM_CLOSE (or until `proc` calls
// StopReceiver()).
// The publication is removed on the way out. kFailed when another live
// receiver already holds the name or publishing failed.
ExitCode RunReceiver(const ReceiverSetup& setup, platform::WindowProc proc);

// Ends RunReceiver's loop (e.g. when standard output is gone).
void StopReceiver();

// Decodes a record payload: (202|115) 548 bytes simple with its kind, (204|117)
// 804 bytes firewall, (206|119) 672 bytes PC scan. Nothing for other sizes.
std::optional<RecordView> DecodeRecord(std::uint64_t id, const platform::CopyDataStruct& cds);

// A text payload (UTF-16, 2 x characters + 1 bytes) as UTF-8.
std::string DecodeText(const platform::CopyDataStruct& cds);

}  // namespace qorlog::cli
