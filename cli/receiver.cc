#include "cli/receiver.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <iostream>

#include "notify/notify_names.h"
#include "platform/errors.h"
#include "platform/named_object.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/window_publication.h"

namespace qorlog::cli {

namespace {

platform::MessageWindow* g_window = nullptr;

void OnStopSignal(int) {
  if (g_window != nullptr) g_window->Stop();
}

template <typename Record>
bool Copy(const platform::CopyDataStruct& cds, Record* out) {
  if (cds.cbData != sizeof(Record) || cds.lpData == nullptr) return false;
  std::memcpy(out, cds.lpData, sizeof(Record));
  return true;
}

}  // namespace

void StopReceiver() { OnStopSignal(0); }

ExitCode RunReceiver(const ReceiverSetup& setup, platform::WindowProc proc) {
  platform::MessageWindow window;
  if (DWORD rc = window.Create(std::move(proc), setup.any_user); rc != 0) {
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

  g_window = &window;
#ifdef _WIN32
  // The C runtime's SIGINT (Ctrl+C) and SIGBREAK (Ctrl+Break) are called on
  // the console's control thread; Stop() may be called from any thread.
  // There is no sigaction and no SIGPIPE.
  const auto old_int = std::signal(SIGINT, OnStopSignal);
  const auto old_break = std::signal(SIGBREAK, OnStopSignal);
#else
  struct sigaction sa = {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  struct sigaction old_int, old_term;
  sigaction(SIGINT, &sa, &old_int);
  sigaction(SIGTERM, &sa, &old_term);
  signal(SIGPIPE, SIG_IGN);  // a closed output ends the loop through the stream state
#endif

  platform::SignalReady();
  if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO) && !setup.intro.empty()) std::cerr << setup.intro << std::flush;
  const DWORD rc = window.Run();

#ifdef _WIN32
  std::signal(SIGINT, old_int);
  std::signal(SIGBREAK, old_break);
#else
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
#endif
  g_window = nullptr;
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
