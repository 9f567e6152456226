// The JSON lines of qorlog export: one object per record, in Elastic Common
// Schema (ECS) field names with the raw values under "qorlog", or as an
// OpenTelemetry log record (OTLP JSON, one request object per line).
// Thread rules: a formatter is used by one thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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

// A JSON line cut at its values: literals[0], the value of slots[0],
// literals[1], ..., literals.back(). Made by the JSON library from a document
// whose values are slot marks, so the keys, their order and the punctuation
// are the library's own; only the values are written per record.
struct LineLayout {
  std::vector<std::string> literals;
  std::vector<int> slots;
};

// The value that marks slot `slot` in a document given to LayOut.
nlohmann::json SlotMark(int slot);
// Dumps `doc` and cuts it at the slot marks. Every string value of `doc`
// must be a slot mark.
LineLayout LayOut(const nlohmann::json& doc);

class JsonLineFormatter {
 public:
  JsonLineFormatter(ExportFormat format, std::string host) : format_(format), host_(std::move(host)) {}
  // Appends one line per record of the batch to *out.
  void Append(const Batch& batch, std::string* out);

 private:
  ExportFormat format_;
  std::string host_;
  LocalTimeStamper stamper_;
  // Reused from record to record, so that a line costs no allocation.
  nlohmann::json text_ = std::string();
  nlohmann::json number_ = 0;
  std::string id_;
  StampedTime time_;
  std::string escaped_[3];  // text64, text260, text64b as JSON strings
};

}  // namespace qorlog::cli
