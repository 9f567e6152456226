// The JSON lines of qorlog export: one object per record, in Elastic Common
// Schema (ECS) field names with the raw values under "qorlog", or as an
// OpenTelemetry log record (OTLP JSON, one request object per line).
// Thread rules: a formatter is used by one thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "cli/export_time.h"
#include "cli/export_walk.h"

namespace qorlog::cli {

enum class ExportFormat { kEcs, kOtel };

// The texts of a record joined into one message: text64, text260, text64b as
// the record kind has them, the empty ones left out, separated by " | ".
std::string MessageOf(const RecordView& r);

// The event id of record `index` of a file: "<file id prefix>-<index>". The
// same record gets the same id in every run, so a collector can drop
// duplicates.
std::string EventId(const ExportFile& file, std::uint32_t index);

class JsonLineFormatter {
 public:
  JsonLineFormatter(ExportFormat format, std::string host) : format_(format), host_(std::move(host)) {}
  // Appends one line per record of the batch to *out.
  void Append(const Batch& batch, std::string* out);

 private:
  void AppendEcs(const Batch& batch, std::string* out);
  void AppendOtel(const Batch& batch, std::string* out);

  ExportFormat format_;
  std::string host_;
  LocalTimeStamper stamper_;
  nlohmann::json doc_;  // reused: the keys stay, the values change
};

}  // namespace qorlog::cli
