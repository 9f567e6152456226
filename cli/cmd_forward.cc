// qorlog forward: the same records as export, sent to a syslog collector as
// RFC 5424 messages over TCP with octet counting. The cursor moves past a
// batch only once the collector's system has acknowledged all of it, so a
// collector that was down gets everything once it is back (a batch cut off
// by a broken connection is sent again whole: the collector may see a record
// twice, never lose one; the structured data's id lets it drop repeats).
//
// Reading takes no lock: a writer never waits for the forwarder.
//
// Exit status: 0; 2 for a bad argument or an unusable cursor file; 3 when
// damaged files or records removed before they were read were met; 4 when
// the collector could not be reached (without --follow, after three tries)
// or the cursor file could not be written.
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>

#include "cli/commands.h"
#include "cli/export_options.h"
#include "cli/syslog_format.h"
#include "platform/folder_watch.h"
#include "platform/tcp_client.h"

namespace qorlog::cli {

namespace {

constexpr const char* kCommand = "qorlog: forward";
constexpr DWORD kConnectTimeoutMs = 5'000;
constexpr DWORD kSendTimeoutMs = 30'000;
constexpr DWORD kFirstBackoffMs = 500;
constexpr DWORD kLongestBackoffMs = 30'000;
constexpr int kTriesWithoutFollow = 3;

struct Endpoint {
  std::string host;
  std::uint16_t port = 0;
};

// tcp://HOST:PORT, HOST a name, an IPv4 address or [an IPv6 address].
std::optional<Endpoint> ParseEndpoint(const std::string& url, std::string* why) {
  static const std::regex kForm(R"(([a-z]+)://(\[[0-9A-Fa-f:.]+\]|[^:/\[\]]+):([0-9]{1,5}))");
  std::smatch m;
  if (!std::regex_match(url, m, kForm)) {
    *why = "is not of the form tcp://HOST:PORT";
    return std::nullopt;
  }
  if (m[1] != "tcp") {
    *why = m[1] == "tls" ? "asks for TLS, which this build does not offer yet (use tcp://, e.g. through a local relay)"
                         : "names the scheme '" + m[1].str() + "'; only tcp:// is offered";
    return std::nullopt;
  }
  Endpoint e;
  e.host = m[2].str();
  if (e.host.front() == '[') e.host = e.host.substr(1, e.host.size() - 2);
  const int port = std::stoi(m[3].str());
  if (port < 1 || port > 65535) {
    *why = "has port " + m[3].str() + ", outside 1 to 65535";
    return std::nullopt;
  }
  e.port = static_cast<std::uint16_t>(port);
  return e;
}

class CollectorSink : public RecordSink {
 public:
  CollectorSink(Endpoint endpoint, bool follow, SyslogFormatter formatter)
      : endpoint_(std::move(endpoint)), follow_(follow), formatter_(std::move(formatter)) {}

  Result Deliver(const Batch& batch) override {
    frames_.clear();
    formatter_.Append(batch, &frames_);
    int failures = 0;
    DWORD backoff = kFirstBackoffMs;
    for (;;) {
      if (platform::StopRequested()) return Result::kStopped;
      // A collector that restarted leaves the old connection half-closed; a
      // write into it could vanish, so look before sending.
      DWORD error = 0;
      if (!client_.IsConnected() || client_.PeerClosed()) error = client_.Connect(endpoint_.host, endpoint_.port, kConnectTimeoutMs);
      if (error == 0) error = client_.Send(frames_, kSendTimeoutMs);
      if (error == 0) error = client_.Delivered(kSendTimeoutMs);
      if (error == 0) {
        if (outage_) std::cerr << kCommand << ": " << Where() << " takes records again\n";
        outage_ = false;
        return Result::kTaken;
      }
      client_.Close();
      if (!follow_ && ++failures >= kTriesWithoutFollow) {
        std::cerr << kCommand << ": cannot deliver to " << Where() << " (" << platform::TcpErrorText(error) << "), gave up after "
                  << failures << " tries\n";
        return Result::kFailed;
      }
      if (!outage_) {
        std::cerr << kCommand << ": cannot deliver to " << Where() << " (" << platform::TcpErrorText(error)
                  << "); trying again, less and less often\n";
        outage_ = true;
      }
      if (pause_.Wait(backoff) == platform::FolderWatch::Wake::kStopped) return Result::kStopped;
      backoff = std::min(backoff * 2, kLongestBackoffMs);
    }
  }

 private:
  std::string Where() const {
    const bool v6 = endpoint_.host.find(':') != std::string::npos;
    return (v6 ? "[" + endpoint_.host + "]" : endpoint_.host) + ":" + std::to_string(endpoint_.port);
  }

  Endpoint endpoint_;
  bool follow_;
  SyslogFormatter formatter_;
  platform::TcpClient client_;
  platform::FolderWatch pause_;  // watches nothing: a pause that a stop request ends
  std::string frames_;
  bool outage_ = false;
};

struct ForwardArgs {
  SharedExportArgs shared;
  std::string to;
  unsigned enterprise_number = kDefaultEnterpriseNumber;
  unsigned facility = kDefaultFacility;
};

ExitCode RunForward(const ForwardArgs& args) {
  if (args.shared.show_cursor) return ShowCursor(kCommand, args.shared.cursor_file);
  if (args.to.empty()) {
    std::cerr << kCommand << ": give the collector with --to tcp://HOST:PORT\n";
    return ExitCode::kUsage;
  }
  std::string why;
  const auto endpoint = ParseEndpoint(args.to, &why);
  if (!endpoint) {
    std::cerr << kCommand << ": --to '" << args.to << "' " << why << "\n";
    return ExitCode::kUsage;
  }
  WalkOptions options;
  if (!MakeWalkOptions(kCommand, args.shared, &options)) return ExitCode::kUsage;
  platform::StopOnTerminationSignals();
  CollectorSink sink(*endpoint, options.follow, SyslogFormatter(options.host, args.enterprise_number, args.facility));
  return RunWalk(options, sink);
}

}  // namespace

void AddForwardCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("forward", "Send the records to a syslog collector (RFC 5424 over TCP)");
  auto args = std::make_shared<ForwardArgs>();
  cmd->add_option("--to", args->to, "The collector, tcp://HOST:PORT (needed unless --show-cursor)");
  AddSharedExportOptions(cmd, &args->shared);
  cmd->add_option("--enterprise-number", args->enterprise_number,
                  "The number in the structured data's id qorlog@N (default 32473)")
      ->check(CLI::Range(1u, 0x7FFFFFFFu));
  cmd->add_option("--facility", args->facility, "The syslog facility, 0 to 23 (default 1, user-level)")
      ->check(CLI::Range(0u, 23u));
  cmd->callback([&outcome, args] { outcome.exit_code = RunForward(*args); });
}


}  // namespace qorlog::cli
