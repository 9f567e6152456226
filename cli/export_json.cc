#include "cli/export_json.h"

#include "logstore/log_format.h"

namespace qorlog::cli {

namespace {

using Json = nlohmann::json;

void Dump(const Json& j, std::string* out) {
  // Straight into the batch's buffer, without a string per line. Texts come
  // from UTF-16 through a converter that never yields invalid UTF-8; replace
  // rather than throw all the same.
  nlohmann::detail::serializer<Json> s(nlohmann::detail::output_adapter<char>(*out), ' ',
                                       Json::error_handler_t::replace);
  s.dump(j, false, false, 0);
  out->push_back('\n');
}

Json Attr(const char* key, const std::string& value) { return {{"key", key}, {"value", {{"stringValue", value}}}}; }
Json Attr(const char* key, std::int64_t value) {
  // OTLP JSON carries 64-bit integers as strings.
  return {{"key", key}, {"value", {{"intValue", std::to_string(value)}}}};
}

}  // namespace

std::string MessageOf(const RecordView& r) {
  std::string message;
  auto add = [&](const std::string& text) {
    if (text.empty()) return;
    if (!message.empty()) message += " | ";
    message += text;
  };
  if (r.text64) add(*r.text64);
  add(r.text260);
  if (r.text64b) add(*r.text64b);
  return message;
}

std::string EventId(const ExportFile& file, std::uint32_t index) {
  return file.id_prefix + "-" + std::to_string(index);
}

void JsonLineFormatter::Append(const Batch& batch, std::string* out) {
  if (format_ == ExportFormat::kEcs) {
    AppendEcs(batch, out);
  } else {
    AppendOtel(batch, out);
  }
}

void JsonLineFormatter::AppendEcs(const Batch& batch, std::string* out) {
  const ExportFile& f = *batch.file;
  // The fields every record of the file shares are set once; the slots of
  // the others are looked up once and assigned per record.
  doc_ = Json::object();
  doc_["event"] = {{"module", "qorlog"}, {"dataset", "qorlog." + f.dataset}, {"kind", "event"}};
  doc_["log"]["file"]["path"] = f.path;
  doc_["host"]["name"] = host_;
  Json& q = doc_["qorlog"];
  q = {{"kind", f.kind}, {"category", f.category}, {"record_kind", RecordKindOf(f.kind)}, {"file", f.name}};
  Json& timestamp = doc_["@timestamp"];
  Json& code = doc_["event"]["code"];
  Json& sequence = doc_["event"]["sequence"];
  Json& id = doc_["event"]["id"];
  Json& message = doc_["message"];
  Json& index = q["index"];
  Json& local_time = q["time"];
  Json& raw_code = q["code"];
  Json& sub_code = q["sub_code"];
  Json& text260 = q["text260"];
  const RecordView& first = batch.records[batch.indices.front()];
  Json* text64 = first.text64 ? &q["text64"] : nullptr;
  Json* text64b = first.text64b ? &q["text64b"] : nullptr;
  Json* param = first.param ? &q["param"] : nullptr;
  for (std::uint32_t i : batch.indices) {
    const RecordView& r = batch.records[i];
    StampedTime t = stamper_.Stamp(r.time);
    timestamp = std::move(t.rfc3339);
    code = std::to_string(r.code);
    if (f.sequence_base >= 0) {
      sequence = f.sequence_base + i;
    } else {
      sequence = i;
    }
    id = EventId(f, i);
    message = MessageOf(r);
    index = i;
    local_time = std::move(t.local);
    raw_code = r.code;
    sub_code = r.sub_code;
    text260 = r.text260;
    if (text64) *text64 = r.text64.value_or("");
    if (text64b) *text64b = r.text64b.value_or("");
    if (param) *param = r.param.value_or(0);
    Dump(doc_, out);
  }
}

void JsonLineFormatter::AppendOtel(const Batch& batch, std::string* out) {
  const ExportFile& f = *batch.file;
  const Json resource = {{"attributes", Json::array({Attr("host.name", host_), Attr("service.name", "qorlog")})}};
  for (std::uint32_t i : batch.indices) {
    const RecordView& r = batch.records[i];
    const StampedTime t = stamper_.Stamp(r.time);
    Json attributes = Json::array({Attr("event.dataset", "qorlog." + f.dataset), Attr("event.code", std::to_string(r.code)),
                                   Attr("event.id", EventId(f, i)), Attr("log.file.path", f.path),
                                   Attr("qorlog.kind", f.kind), Attr("qorlog.category", f.category),
                                   Attr("qorlog.record_kind", RecordKindOf(f.kind)), Attr("qorlog.code", r.code),
                                   Attr("qorlog.sub_code", r.sub_code), Attr("qorlog.file", f.name),
                                   Attr("qorlog.index", i), Attr("qorlog.time", FormatTime(r.time))});
    if (r.param) attributes.push_back(Attr("qorlog.param", *r.param));
    if (r.text64) attributes.push_back(Attr("qorlog.text64", *r.text64));
    attributes.push_back(Attr("qorlog.text260", r.text260));
    if (r.text64b) attributes.push_back(Attr("qorlog.text64b", *r.text64b));
    Json record = {{"severityNumber", 9},
                   {"severityText", "INFO"},
                   {"body", {{"stringValue", MessageOf(r)}}},
                   {"attributes", std::move(attributes)}};
    // A time the zone cannot place is left out, as OTLP allows ("unknown").
    if (t.valid) record["timeUnixNano"] = std::to_string(t.unix_nanos);
    const Json line = {
        {"resourceLogs",
         Json::array({{{"resource", resource},
                       {"scopeLogs", Json::array({{{"scope", {{"name", "qorlog"}}},
                                                   {"logRecords", Json::array({std::move(record)})}}})}}})}};
    Dump(line, out);
  }
}

}  // namespace qorlog::cli
