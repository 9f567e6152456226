// qorlog forward: the same records as export, sent to a syslog collector as
// RFC 5424 messages over TCP or TLS with octet counting. The cursor moves
// past a batch only once the collector's system has acknowledged all of it, so a
// collector that was down gets everything once it is back (a batch cut off
// by a broken connection is sent again whole: the collector may see a record
// twice, never lose one; the structured data's id lets it drop repeats).
//
// Reading takes no lock: a writer never waits for the forwarder.
//
// Exit status: 0; 2 for a bad argument, an unusable CA file or cursor file;
// 3 when damaged files or records removed before they were read were met; 4 when
// the collector could not be reached or its certificate was refused
// (without --follow, after three tries) or the cursor file could not be
// written.
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>

#include "cli/commands.h"
#include "cli/export_options.h"
#include "cli/status_text.h"
#include "cli/syslog_format.h"
#include "platform/folder_watch.h"
#include "platform/tls_client.h"

namespace qorlog::cli {

namespace {

constexpr const char* kCommand = "qorlog: forward";
constexpr DWORD kConnectTimeoutMs = 5'000;
constexpr DWORD kSendTimeoutMs = 30'000;
constexpr DWORD kFirstBackoffMs = 500;
constexpr DWORD kLongestBackoffMs = 30'000;
constexpr int kTriesWithoutFollow = 3;

struct Endpoint {
  bool tls = false;
  std::string host;
  std::uint16_t port = 0;
};

// tcp://HOST:PORT or tls://HOST:PORT, HOST a name, an IPv4 address or [an
// IPv6 address].
std::optional<Endpoint> ParseEndpoint(const std::string& url, std::string* why) {
  static const std::regex kForm(R"(([a-z]+)://(\[[0-9A-Fa-f:.]+\]|[^:/\[\]]+):([0-9]{1,5}))");
  std::smatch m;
  if (!std::regex_match(url, m, kForm)) {
    *why = "is not of the form tcp://HOST:PORT or tls://HOST:PORT";
    return std::nullopt;
  }
  if (m[1] != "tcp" && m[1] != "tls") {
    *why = "names the scheme '" + m[1].str() + "'; only tcp:// and tls:// are offered";
    return std::nullopt;
  }
  Endpoint e;
  e.tls = m[1] == "tls";
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
  CollectorSink(Endpoint endpoint, std::unique_ptr<platform::TcpClient> client, bool follow, SyslogFormatter formatter)
      : endpoint_(std::move(endpoint)), client_(std::move(client)), follow_(follow), formatter_(std::move(formatter)) {}

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
      if (!client_->IsConnected() || client_->PeerClosed())
        error = client_->Connect(endpoint_.host, endpoint_.port, kConnectTimeoutMs);
      if (error == 0) error = client_->Send(frames_, kSendTimeoutMs);
      if (error == 0) error = client_->Delivered(kSendTimeoutMs);
      if (error == 0) {
        if (outage_) std::cerr << kCommand << ": " << Where() << " takes records again\n";
        outage_ = false;
        return Result::kTaken;
      }
      client_->Close();
      if (!follow_ && ++failures >= kTriesWithoutFollow) {
        std::cerr << kCommand << ": cannot deliver to " << Where() << " (" << client_->ErrorText(error)
                  << "), gave up after " << failures << " tries\n";
        return Result::kFailed;
      }
      if (!outage_) {
        std::cerr << kCommand << ": cannot deliver to " << Where() << " (" << client_->ErrorText(error)
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
  std::unique_ptr<platform::TcpClient> client_;  // a TlsClient for tls://
  bool follow_;
  SyslogFormatter formatter_;
  platform::FolderWatch pause_;  // watches nothing: a pause that a stop request ends
  std::string frames_;
  bool outage_ = false;
};

struct ForwardArgs {
  SharedExportArgs shared;
  std::string to;
  std::string ca_file;
  unsigned enterprise_number = kDefaultEnterpriseNumber;
  unsigned facility = kDefaultFacility;
};

ExitCode RunForward(const ForwardArgs& args) {
  if (args.shared.show_cursor) return ShowCursor(kCommand, args.shared.cursor_file);
  if (args.to.empty()) {
    std::cerr << kCommand << ": give the collector with --to tcp://HOST:PORT or tls://HOST:PORT\n";
    return ExitCode::kUsage;
  }
  std::string why;
  const auto endpoint = ParseEndpoint(args.to, &why);
  if (!endpoint) {
    std::cerr << kCommand << ": --to '" << args.to << "' " << why << "\n";
    return ExitCode::kUsage;
  }
  std::unique_ptr<platform::TcpClient> client;
  if (!endpoint->tls) {
    if (!args.ca_file.empty()) {
      std::cerr << kCommand << ": --ca-file is for tls:// collectors; --to '" << args.to << "' is plain TCP\n";
      return ExitCode::kUsage;
    }
    client = std::make_unique<platform::TcpClient>();
  } else {
    if (args.ca_file.empty()) {
      std::cerr << kCommand << ": tls:// needs --ca-file F, the CA certificates (PEM) to check the collector's against\n";
      return ExitCode::kUsage;
    }
    auto tls = std::make_unique<platform::TlsClient>();
    if (const DWORD error = tls->LoadCaFile(args.ca_file); error != 0) {
      std::cerr << kCommand << ": cannot use the CA file " << args.ca_file << ": "
                << (error == platform::kErrorInvalidData ? std::string("it holds no PEM certificate") : StatusText(error))
                << "\n";
      return ExitCode::kUsage;
    }
    client = std::move(tls);
  }
  WalkOptions options;
  if (!MakeWalkOptions(kCommand, args.shared, &options)) return ExitCode::kUsage;
  platform::StopOnTerminationSignals();
  CollectorSink sink(*endpoint, std::move(client), options.follow,
                     SyslogFormatter(options.host, args.enterprise_number, args.facility));
  return RunWalk(options, sink);
}

}  // namespace

void AddForwardCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("forward", "Send the records to a syslog collector (RFC 5424 over TCP or TLS)");
  auto args = std::make_shared<ForwardArgs>();
  cmd->add_option("--to", args->to, "The collector, tcp://HOST:PORT or tls://HOST:PORT (needed unless --show-cursor)");
  cmd->add_option("--ca-file", args->ca_file,
                  "tls://: the CA certificates (PEM) that the collector's certificate must chain to");
  AddSharedExportOptions(cmd, &args->shared);
  cmd->add_option("--enterprise-number", args->enterprise_number,
                  "The number in the structured data's id qorlog@N (default 32473)")
      ->check(CLI::Range(1u, 0x7FFFFFFFu));
  cmd->add_option("--facility", args->facility, "The syslog facility, 0 to 23 (default 1, user-level)")
      ->check(CLI::Range(0u, 23u));
  cmd->callback([&outcome, args] { outcome.exit_code = RunForward(*args); });
}


}  // namespace qorlog::cli
