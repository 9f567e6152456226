#include "tests/support/window_receiver.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/named_object.h"
#include "platform/text.h"
#include "platform/window_publication.h"

namespace qorlog::testing {

namespace {

// Each recorded message is one line of the receiver's log, written whole:
// "msg wparam lparam id hex-bytes".
std::string LineOf(const ReceivedMessage& m) {
  char head[96];
  std::snprintf(head, sizeof head, "%" PRIu32 " %" PRIu64 " %" PRId64 " %" PRIu64 " ", m.msg, m.wparam, m.lparam,
                m.id);
  std::string line = head;
  for (unsigned char c : m.bytes) {
    std::snprintf(head, sizeof head, "%02x", c);
    line += head;
  }
  return line + "\n";
}

std::optional<ReceivedMessage> ParseLine(const std::string& line) {
  ReceivedMessage m;
  int used = 0;
  if (std::sscanf(line.c_str(), "%" SCNu32 " %" SCNu64 " %" SCNd64 " %" SCNu64 " %n", &m.msg, &m.wparam, &m.lparam,
                  &m.id, &used) != 4) {
    return std::nullopt;
  }
  for (std::size_t i = static_cast<std::size_t>(used); i + 1 < line.size(); i += 2) {
    m.bytes.push_back(static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16)));
  }
  return m;
}

// args: the name to publish under (none when empty), "run" or "hung", a
// handle to publish instead of the window's (0 for none), an event to hold
// (none when empty), "record" or "hash" for WM_COPYDATA, the log file.
QORLOG_CHILD_ROLE("receiver", [](const std::vector<std::string>& args, const ChildChannel& channel) {
  using namespace platform;
  const TestMessages m{};
  const bool record_copy_data = args.at(4) == "record";
  const std::string log = args.at(5);
  auto record = [&log](const ReceivedMessage& received) {
    std::ofstream(log, std::ios::binary | std::ios::app) << LineOf(received);
  };
  MessageWindow window;
  LRESULT posted = 0;
  const DWORD created = window.Create([&](UINT msg, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (msg == m.add) return static_cast<LRESULT>(wparam) + lparam;
    if (msg == m.post) return posted += static_cast<LRESULT>(wparam) + lparam;
    if (msg == m.count) return posted;
    if (msg == m.crash) std::_Exit(7);
    if (msg == kWmCopyData) {
      const CopyDataStruct* cds = CopyDataOf(lparam);
      if (!record_copy_data) return CopyDataHash(cds->dwData, cds->lpData, cds->cbData);
      record({msg, wparam, 0, cds->dwData, std::string(static_cast<const char*>(cds->lpData), cds->cbData)});
      return 1;
    }
    record({msg, wparam, lparam, 0, {}});
    return 1;
  });
  if (created != 0) return 2;
  const HWND published = std::stoull(args.at(2));
  WindowPublication publication;
  if (!args.at(0).empty() &&
      publication.Publish(Utf8ToUtf16(args.at(0)), published != 0 ? published : window.handle()) != 0) {
    return 3;
  }
  NamedEvent event;
  if (!args.at(3).empty() && event.Create(Utf8ToUtf16(args.at(3))) != 0) return 4;
  channel.Ready(0);
  if (args.at(1) == "hung") {
    channel.WaitForRelease();
    return 0;
  }
  while (!channel.Released()) window.RunFor(20);
  return 0;
});

}  // namespace

Receiver::Receiver(std::u16string_view name, const Options& options)
    : child_("receiver", {platform::Utf16ToUtf8(name), options.hung ? "hung" : "run",
                          std::to_string(options.published), platform::Utf16ToUtf8(options.event),
                          options.record_copy_data ? "record" : "hash", (log_.path() / "messages").string()}) {
  if (child_.WaitReady() == 0 && !name.empty()) window_ = platform::FindPublishedWindow(name);
}

std::optional<ReceivedMessage> Receiver::Next(int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const std::string text = ReadFile(log_.path() / "messages");
    if (const std::size_t end = text.find('\n', consumed_); end != std::string::npos) {
      const std::string line = text.substr(consumed_, end + 1 - consumed_);
      consumed_ = end + 1;
      return ParseLine(line);
    }
    if (std::chrono::steady_clock::now() >= until) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace qorlog::testing
