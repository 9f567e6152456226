#include "settings/ini_document.h"

#include <string>

#include "platform/ini_line.h"
#include "settings/ini_text.h"

namespace qorlog {

using settings::FoldLower;

void CIniDocument::ParseLines(const std::vector<std::u16string>& lines) {
  for (const std::u16string& raw : lines) {
    platform::IniLine line = platform::ParseIniLine(raw);
    if (line.kind == platform::IniLine::kSection) {
      current_section_ = std::move(line.name);
      sections_.try_emplace(current_section_);
    } else if (line.kind == platform::IniLine::kPair) {
      auto section = sections_.find(current_section_);
      // Before the first section header the cursor names no existing
      // section, so the pair is dropped.
      if (section == sections_.end()) continue;
      section->second.insert_or_assign(std::move(line.name), std::move(line.value));
    }
  }
}

void CIniDocument::EnsureParsed() {
  if (parsed_ != 0) return;
  ParseLines(settings::SplitSettingsLines(text_));
  parsed_ = 1;
}

void CIniDocument::SetText(std::u16string_view text) {
  parsed_ = 0;
  text_.assign(text);
  EnsureParsed();
}

const std::u16string* CIniDocument::Find(std::u16string_view section, std::u16string_view key) {
  EnsureParsed();
  auto s = sections_.find(FoldLower(section));
  if (s == sections_.end()) return nullptr;
  auto k = s->second.find(FoldLower(key));
  if (k == s->second.end()) return nullptr;
  return &k->second;
}

std::u16string CIniDocument::GetString(std::u16string_view section, std::u16string_view key,
                                       const char16_t* default_value) {
  std::u16string fallback = default_value != nullptr ? default_value : u"";
  if (text_.empty()) return fallback;
  const std::u16string* value = Find(section, key);
  return value != nullptr ? *value : fallback;
}

int32_t CIniDocument::GetInt(std::u16string_view section, std::u16string_view key,
                             int32_t default_value) {
  if (text_.empty()) return default_value;
  const std::u16string* value = Find(section, key);
  return value != nullptr ? settings::DecimalToInt(*value) : default_value;
}

BOOL CIniDocument::GetKeys(std::u16string_view section, std::vector<std::u16string>* keys) {
  if (text_.empty() || keys == nullptr) return 0;
  EnsureParsed();
  auto s = sections_.find(FoldLower(section));
  if (s == sections_.end()) return 0;
  for (const auto& [key, value] : s->second) keys->push_back(key);
  return 1;
}

BOOL CIniDocument::SetString(const char16_t* section, const char16_t* key, const char16_t* value) {
  if (section == nullptr || key == nullptr || value == nullptr) return 0;
  std::u16string folded_section = FoldLower(section);
  std::u16string folded_key = FoldLower(key);
  EnsureParsed();
  sections_[std::move(folded_section)].insert_or_assign(std::move(folded_key), std::u16string(value));
  text_ = BuildText();
  return 1;
}

BOOL CIniDocument::SetInt(const char16_t* section, const char16_t* key, int32_t value) {
  const std::string digits = std::to_string(value);
  return SetString(section, key, std::u16string(digits.begin(), digits.end()).c_str());
}

std::u16string CIniDocument::BuildText() const {
  std::u16string out;
  for (const auto& [name, keys] : sections_) {
    out += u'[';
    out += name;
    out += u"]\r\n";
    for (const auto& [key, value] : keys) {
      out += key;
      out += u'=';
      out += value;
      out += u"\r\n";
    }
  }
  return out;
}

}  // namespace qorlog
