#include "cli/export_cursor.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "cli/log_kind.h"
#include "platform/replace_file.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

constexpr const char* kFormatName = "qorlog-cursor";
constexpr int kFormatVersion = 1;

}  // namespace

CursorLoad LoadCursor(const std::string& path, Cursor* cursor, std::string* why) {
  *cursor = {};
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return CursorLoad::kMissing;
  if (status.type() != std::filesystem::file_type::regular) {
    *why = ec ? ec.message() : "not a regular file";
    return CursorLoad::kUnreadable;
  }
  std::ifstream in(path, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) {
    *why = "cannot be read";
    return CursorLoad::kUnreadable;
  }
  try {
    const auto j = nlohmann::json::parse(text);
    if (j.at("format") != kFormatName || j.at("version") != kFormatVersion) {
      *why = "not a qorlog cursor of version 1";
      return CursorLoad::kMalformed;
    }
    for (const auto& k : j.at("kinds")) {
      auto& marks = cursor->kinds[k.at("kind").get<DWORD>()];
      for (const auto& f : k.at("files")) {
        FileMark m;
        m.name = f.at("name").get<std::string>();
        m.digest = f.at("digest").get<std::string>();
        m.next = f.at("next").get<std::uint32_t>();
        m.seen = f.value("seen", m.next);
        m.last_time = f.value("last_time", std::string());
        if (m.name.empty() || m.name.find('/') != std::string::npos || m.next > m.seen) {
          *why = "a file entry is not valid";
          return CursorLoad::kMalformed;
        }
        marks.push_back(std::move(m));
      }
      std::sort(marks.begin(), marks.end(), [](const FileMark& a, const FileMark& b) { return a.name < b.name; });
    }
  } catch (const nlohmann::json::exception& e) {
    *why = e.what();
    return CursorLoad::kMalformed;
  }
  return CursorLoad::kLoaded;
}

DWORD SaveCursor(const std::string& path, const Cursor& cursor) {
  nlohmann::ordered_json j;
  j["format"] = kFormatName;
  j["version"] = kFormatVersion;
  j["kinds"] = nlohmann::ordered_json::array();
  for (const auto& [kind, marks] : cursor.kinds) {
    nlohmann::ordered_json k;
    k["kind"] = kind;
    k["files"] = nlohmann::ordered_json::array();
    for (const FileMark& m : marks) {
      k["files"].push_back(
          {{"name", m.name}, {"digest", m.digest}, {"next", m.next}, {"seen", m.seen}, {"last_time", m.last_time}});
    }
    j["kinds"].push_back(std::move(k));
  }
  return platform::ReplaceFileContents(platform::Utf8ToUtf16(path), j.dump(1) + "\n");
}

std::string DescribeCursor(const Cursor& cursor) {
  std::string out;
  for (const auto& [kind, marks] : cursor.kinds) {
    if (marks.empty()) continue;
    out += std::string(CategoryName(kind)) + " (" + std::to_string(kind) + "):";
    for (const FileMark& m : marks) {
      out += " " + m.name + " after record " + std::to_string(m.next) + " of " + std::to_string(m.seen);
      if (!m.last_time.empty()) out += " (" + m.last_time + ")";
      out += ";";
    }
    out.back() = '\n';
  }
  if (out.empty()) out = "(nothing taken yet)\n";
  return out;
}

}  // namespace qorlog::cli
