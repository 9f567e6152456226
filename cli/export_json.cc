#include "cli/export_json.h"

#include <array>
#include <charconv>
#include <optional>

#include "logstore/log_format.h"

namespace qorlog::cli {

namespace {

using Json = nlohmann::json;

// The values of a line. The first ones are the same for every record of a
// file and are put into the layout once per batch.
enum Slot : int {
  kDataset,
  kPath,
  kHost,
  kCategory,
  kFile,
  kKind,
  kRecordKind,
  kKindText,
  kRecordKindText,
  kFixedSlots,  // the ones below change from record to record
  kTimestamp = kFixedSlots,
  kLocalTime,      // the stamper's local time: four digits of year, two of each other field
  kFormattedTime,  // FormatTime's, which widens a field beyond its digits (a year after 9999)
  kUnixNanosText,
  kCode,
  kCodeText,
  kSubCode,
  kSubCodeText,
  kSequence,
  kId,
  kIndex,
  kIndexText,
  kMessage,
  kText64,
  kText260,
  kText64b,
  kParam,
  kParamText,
};

// Marks start with a control character, which the library writes as \u0001:
// no key of ours and no other value of a layout document holds one.
constexpr char kMarkStart = '\x01';
constexpr std::string_view kDumpedMarkStart = "\"\\u0001";

std::string Dumped(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The layout with the values of the fixed slots put into its literals.
LineLayout Bind(const LineLayout& layout, const std::array<std::string, kFixedSlots>& fixed) {
  LineLayout out;
  out.literals.push_back(layout.literals.front());
  for (std::size_t k = 0; k < layout.slots.size(); ++k) {
    const int slot = layout.slots[k];
    if (slot < kFixedSlots) {
      out.literals.back() += fixed[slot];
      out.literals.back() += layout.literals[k + 1];
    } else {
      out.slots.push_back(slot);
      out.literals.push_back(layout.literals[k + 1]);
    }
  }
  return out;
}

std::array<std::string, kFixedSlots> FixedValues(const ExportFile& f, const std::string& host) {
  std::array<std::string, kFixedSlots> v;
  v[kDataset] = Dumped("qorlog." + f.dataset);
  v[kPath] = Dumped(f.path);
  v[kHost] = Dumped(host);
  v[kCategory] = Dumped(f.category);
  v[kFile] = Dumped(f.name);
  v[kKind] = Dumped(f.kind);
  v[kRecordKind] = Dumped(RecordKindOf(f.kind));
  // OTLP JSON carries 64-bit integers as strings.
  v[kKindText] = Dumped(std::to_string(f.kind));
  v[kRecordKindText] = Dumped(std::to_string(RecordKindOf(f.kind)));
  return v;
}

// The texts a record kind has: the same for every record of a file.
struct Shape {
  bool text64 = false;
  bool text64b = false;
  bool param = false;
};

LineLayout EcsLayout(const Shape& shape) {
  Json doc;
  doc["@timestamp"] = SlotMark(kTimestamp);
  doc["event"] = {{"module", "qorlog"}, {"dataset", SlotMark(kDataset)}, {"kind", "event"}, {"code", SlotMark(kCodeText)},
                  {"sequence", SlotMark(kSequence)}, {"id", SlotMark(kId)}};
  doc["log"]["file"]["path"] = SlotMark(kPath);
  doc["host"]["name"] = SlotMark(kHost);
  doc["message"] = SlotMark(kMessage);
  Json& q = doc["qorlog"];
  q = {{"kind", SlotMark(kKind)},         {"category", SlotMark(kCategory)}, {"record_kind", SlotMark(kRecordKind)},
       {"file", SlotMark(kFile)},         {"index", SlotMark(kIndex)},       {"time", SlotMark(kLocalTime)},
       {"code", SlotMark(kCode)},         {"sub_code", SlotMark(kSubCode)},  {"text260", SlotMark(kText260)}};
  if (shape.text64) q["text64"] = SlotMark(kText64);
  if (shape.text64b) q["text64b"] = SlotMark(kText64b);
  if (shape.param) q["param"] = SlotMark(kParam);
  return LayOut(doc);
}

Json Attr(const char* key, Json value) { return {{"key", key}, {"value", {{"stringValue", std::move(value)}}}}; }
Json IntAttr(const char* key, Json value) { return {{"key", key}, {"value", {{"intValue", std::move(value)}}}}; }

LineLayout OtelLayout(const Shape& shape, bool with_time) {
  Json attributes = Json::array({Attr("event.dataset", SlotMark(kDataset)), Attr("event.code", SlotMark(kCodeText)),
                                 Attr("event.id", SlotMark(kId)), Attr("log.file.path", SlotMark(kPath)),
                                 IntAttr("qorlog.kind", SlotMark(kKindText)), Attr("qorlog.category", SlotMark(kCategory)),
                                 IntAttr("qorlog.record_kind", SlotMark(kRecordKindText)),
                                 IntAttr("qorlog.code", SlotMark(kCodeText)), IntAttr("qorlog.sub_code", SlotMark(kSubCodeText)),
                                 Attr("qorlog.file", SlotMark(kFile)), IntAttr("qorlog.index", SlotMark(kIndexText)),
                                 Attr("qorlog.time", SlotMark(kFormattedTime))});
  if (shape.param) attributes.push_back(IntAttr("qorlog.param", SlotMark(kParamText)));
  if (shape.text64) attributes.push_back(Attr("qorlog.text64", SlotMark(kText64)));
  attributes.push_back(Attr("qorlog.text260", SlotMark(kText260)));
  if (shape.text64b) attributes.push_back(Attr("qorlog.text64b", SlotMark(kText64b)));
  Json record = {{"severityNumber", 9},
                 {"severityText", "INFO"},
                 {"body", {{"stringValue", SlotMark(kMessage)}}},
                 {"attributes", std::move(attributes)}};
  // A time the zone cannot place is left out, as OTLP allows ("unknown").
  if (with_time) record["timeUnixNano"] = SlotMark(kUnixNanosText);
  const Json resource = {{"attributes", Json::array({Attr("host.name", SlotMark(kHost)), Attr("service.name", "qorlog")})}};
  const Json line = {
      {"resourceLogs",
       Json::array({{{"resource", resource},
                     {"scopeLogs", Json::array({{{"scope", {{"name", "qorlog"}}},
                                                 {"logRecords", Json::array({std::move(record)})}}})}}})}};
  return LayOut(line);
}

}  // namespace

Json SlotMark(int slot) { return kMarkStart + std::to_string(slot); }

LineLayout LayOut(const Json& doc) {
  const std::string text = Dumped(doc);
  LineLayout layout;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(kDumpedMarkStart, from)) != std::string::npos;) {
    layout.literals.push_back(text.substr(from, at - from));
    const std::size_t digits = at + kDumpedMarkStart.size();
    const std::size_t end = text.find('"', digits);
    layout.slots.push_back(std::stoi(text.substr(digits, end - digits)));
    from = end + 1;
  }
  layout.literals.push_back(text.substr(from));
  return layout;
}

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
  const ExportFile& f = *batch.file;
  const RecordView& first = batch.records[batch.indices.front()];
  const Shape shape{first.text64.has_value(), first.text64b.has_value(), first.param.has_value()};
  const auto fixed = FixedValues(f, host_);
  // OTLP lines leave timeUnixNano out for a time the zone cannot place: the
  // layout without it is made when such a record comes.
  std::optional<LineLayout> layouts[2];
  if (format_ == ExportFormat::kEcs) layouts[1] = Bind(EcsLayout(shape), fixed);

  // Every value goes through the library's serializer, straight into the
  // batch's buffer. Texts come from UTF-16 through a converter that never
  // yields invalid UTF-8; replace rather than throw all the same.
  using Serializer = nlohmann::detail::serializer<Json>;
  Serializer serializer(nlohmann::detail::output_adapter<char>(*out), ' ', Json::error_handler_t::replace);
  std::string& text = text_.get_ref<std::string&>();
  auto string_value = [&](std::string_view value) {
    text.assign(value);
    serializer.dump(text_, false, false, 0);
  };
  // The texts are escaped once each: the message is the escaped texts
  // joined, since the library escapes code point by code point and " | "
  // needs no escape.
  Serializer text_serializers[3] = {
      {nlohmann::detail::output_adapter<char>(escaped_[0]), ' ', Json::error_handler_t::replace},
      {nlohmann::detail::output_adapter<char>(escaped_[1]), ' ', Json::error_handler_t::replace},
      {nlohmann::detail::output_adapter<char>(escaped_[2]), ' ', Json::error_handler_t::replace}};
  auto escape = [&](int k, const std::string* value) {
    escaped_[k].clear();
    if (value == nullptr) return;
    text.assign(*value);
    text_serializers[k].dump(text_, false, false, 0);
  };
  auto number_value = [&](auto value) {
    number_ = value;
    serializer.dump(number_, false, false, 0);
  };
  char digits[24];
  auto decimal = [&](auto value) {
    return std::string_view(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
  };

  for (std::uint32_t i : batch.indices) {
    const RecordView& r = batch.records[i];
    stamper_.Stamp(r.time, &time_);
    const StampedTime& t = time_;
    escape(0, r.text64 ? &*r.text64 : nullptr);
    escape(1, &r.text260);
    escape(2, r.text64b ? &*r.text64b : nullptr);
    std::optional<LineLayout>& layout = layouts[format_ == ExportFormat::kEcs || t.valid ? 1 : 0];
    if (!layout) layout = Bind(OtelLayout(shape, t.valid), fixed);
    out->append(layout->literals.front());
    for (std::size_t k = 0; k < layout->slots.size(); ++k) {
      switch (layout->slots[k]) {
        case kTimestamp:
          string_value(t.rfc3339);
          break;
        case kLocalTime:
          string_value(t.local);
          break;
        case kFormattedTime:
          string_value(FormatTime(r.time));
          break;
        case kUnixNanosText:
          string_value(decimal(t.unix_nanos));
          break;
        case kCode:
          number_value(r.code);
          break;
        case kCodeText:
          string_value(decimal(r.code));
          break;
        case kSubCode:
          number_value(r.sub_code);
          break;
        case kSubCodeText:
          string_value(decimal(r.sub_code));
          break;
        case kSequence:
          number_value(f.sequence_base >= 0 ? f.sequence_base + i : std::int64_t{i});
          break;
        case kId:
          id_.assign(f.id_prefix);
          id_ += '-';
          id_ += decimal(i);
          string_value(id_);
          break;
        case kIndex:
          number_value(i);
          break;
        case kIndexText:
          string_value(decimal(i));
          break;
        case kMessage: {
          out->push_back('"');
          const std::size_t start = out->size();
          for (const std::string& e : escaped_) {
            if (e.size() <= 2) continue;  // no text, or an empty one: ""
            if (out->size() != start) out->append(" | ");
            out->append(e, 1, e.size() - 2);
          }
          out->push_back('"');
          break;
        }
        case kText64:
          out->append(escaped_[0]);
          break;
        case kText260:
          out->append(escaped_[1]);
          break;
        case kText64b:
          out->append(escaped_[2]);
          break;
        case kParam:
          number_value(r.param.value_or(0));
          break;
        case kParamText:
          string_value(decimal(r.param.value_or(0)));
          break;
      }
      out->append(layout->literals[k + 1]);
    }
    out->push_back('\n');
  }
}

}  // namespace qorlog::cli
