// qorlog export: every record of the chosen kinds as JSON lines on standard
// output, oldest first across the files of each kind, in Elastic Common
// Schema fields (or OpenTelemetry log records with --format otel); with
// --follow it keeps going as records arrive, with --cursor-file it goes on
// where the last run stopped.
//
// Exit status: 0; 2 for a bad argument or an unusable cursor file; 3 when
// damaged files or records removed before they were read were met (said on
// stderr); 4 when the output or the cursor file could not be written.
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/export_json.h"
#include "cli/export_options.h"
#include "platform/folder_watch.h"

namespace qorlog::cli {

namespace {

constexpr const char* kCommand = "qorlog: export";

class StdoutSink : public RecordSink {
 public:
  StdoutSink(ExportFormat format, const std::string& host) : formatter_(format, host) {}

  Result Deliver(const Batch& batch) override {
    buffer_.clear();
    formatter_.Append(batch, &buffer_);
    // The batch counts as taken once it has left this process.
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size() || std::fflush(stdout) != 0) {
      std::cerr << kCommand << ": cannot write the output (it was closed, or the disk is full)\n";
      return Result::kFailed;
    }
    return Result::kTaken;
  }

 private:
  JsonLineFormatter formatter_;
  std::string buffer_;
};

struct ExportArgs {
  SharedExportArgs shared;
  std::string format = "ecs";
};

ExitCode RunExport(const ExportArgs& args) {
  if (args.shared.show_cursor) return ShowCursor(kCommand, args.shared.cursor_file);
  WalkOptions options;
  if (!MakeWalkOptions(kCommand, args.shared, &options)) return ExitCode::kUsage;
  platform::StopOnTerminationSignals();
  StdoutSink sink(args.format == "otel" ? ExportFormat::kOtel : ExportFormat::kEcs, options.host);
  return RunWalk(options, sink);
}

}  // namespace

void AddExportCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("export", "Write the records as JSON lines (ECS or OpenTelemetry), oldest first");
  auto args = std::make_shared<ExportArgs>();
  AddSharedExportOptions(cmd, &args->shared);
  cmd->add_option("--format", args->format, "ecs (Elastic Common Schema, the default) or otel (OTLP JSON)")
      ->check(CLI::IsMember({"ecs", "otel"}));
  cmd->callback([&outcome, args] { outcome.exit_code = RunExport(*args); });
}


}  // namespace qorlog::cli
