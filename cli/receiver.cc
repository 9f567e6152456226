#include "cli/receiver.h"

#include <cstring>
#include <iostream>

#include "notify/notify_names.h"
#include "platform/errors.h"
#include "platform/folder_watch.h"
#include "platform/named_object.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window_publication.h"

namespace qorlog::cli {

namespace {

// How long the loop handles messages before it looks at the stop request.
constexpr int kStopCheckMs = 100;

template <typename Record>
bool Copy(const platform::CopyDataStruct& cds, Record* out) {
  if (cds.cbData != sizeof(Record) || cds.lpData == nullptr) return false;
  std::memcpy(out, cds.lpData, sizeof(Record));
  return true;
}

}  // namespace

void StopReceiver() { platform::RequestStop(); }

ExitCode RunReceiver(const ReceiverSetup& setup, platform::WindowProc proc) {
  platform::MessageWindow window;
  // A WM_CLOSE asks the receiver to end, as a window's owner is asked to
  // close it.
  auto handler = [proc = std::move(proc)](platform::UINT msg, platform::WPARAM wparam,
                                          platform::LPARAM lparam) -> platform::LRESULT {
    if (msg != platform::kWmClose) return proc(msg, wparam, lparam);
    platform::RequestStop();
    return 0;
  };
  if (DWORD rc = window.Create(handler, setup.any_user, platform::MessageWindow::Kind::kHiddenTopLevel); rc != 0) {
    return Fail(ExitCode::kFailed, setup.command + ": cannot create its window (error " + std::to_string(rc) + ")");
  }
  platform::WindowPublication publication;
  if (DWORD rc = publication.Publish(setup.mapping_name, window.handle()); rc == platform::kErrorAlreadyExists) {
    return Fail(ExitCode::kFailed, setup.command + ": another one is already running; stop it first");
  } else if (rc != 0) {
    return Fail(ExitCode::kFailed, setup.command + ": cannot publish its window (error " + std::to_string(rc) + ")");
  }
  platform::NamedEvent event;
  if (!setup.event_name.empty() && event.Create(setup.event_name) != 0) {
    return Fail(ExitCode::kFailed, setup.command + ": cannot create its presence event");
  }

  // SIGINT and SIGTERM (Ctrl+C and Ctrl+Break on Windows) become a stop
  // request, which the loop sees between its turns; a closed output ends it
  // through the stream state instead of SIGPIPE.
  platform::StopOnTerminationSignals();
  platform::SignalReady();
  if (platform::IsTerminal(platform::StandardStream::kInput) && platform::IsTerminal(platform::StandardStream::kError) &&
      !setup.intro.empty()) {
    std::cerr << setup.intro << std::flush;
  }
  DWORD rc = 0;
  while (rc == 0 && !platform::StopRequested()) rc = window.RunFor(kStopCheckMs);
  return rc == 0 ? ExitCode::kSuccess : ExitCode::kFailed;
}

std::optional<RecordView> DecodeRecord(std::uint64_t id, const platform::CopyDataStruct& cds) {
  if (id == kViewerSimpleLog || id == kTraySimpleLog) {
    stSIMPLE_LOG_NOTIFY_W rec;
    if (Copy(cds, &rec)) return ViewOf(rec.dwKind, rec.stLog);
  } else if (id == kViewerFWLog || id == kTrayFWLog) {
    stFW_LOG_W rec;
    if (Copy(cds, &rec)) return ViewOf(rec);
  } else if (id == kViewerPCScanLog || id == kTrayPCScanLog) {
    stPC_SCAN_LOG_W rec;
    if (Copy(cds, &rec)) return ViewOf(rec);
  }
  return std::nullopt;
}

std::string DecodeText(const platform::CopyDataStruct& cds) {
  std::u16string text(cds.cbData / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), cds.lpData, text.size() * 2);
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return platform::Utf16ToUtf8(text);
}

}  // namespace qorlog::cli
