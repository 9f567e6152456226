// CIniDocument: a settings text of the INI kind held in memory, parsed into
// sections of key/value pairs, queried case-insensitively and rebuilt.
//
// Text rules (docs/settings.md has the full description): lines end at LF
// (a CR before it belongs to the line ending); leading blanks are ignored;
// ";" at the start makes a comment; "[name]" opens a section; "key=value"
// adds a pair to the open section; pairs before the first section are
// dropped. Section names and keys are folded to lower case (ASCII), values
// keep their case. Malformed lines are never errors.
//
// Thread rules: a document is not synchronised; use one from one thread at a
// time. Reading operations may parse on first use, so they are not const.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qorlog {

class CIniDocument {
 public:
  using KeyMap = std::map<std::u16string, std::u16string, std::less<>>;
  using SectionMap = std::map<std::u16string, KeyMap, std::less<>>;

  CIniDocument() = default;
  virtual ~CIniDocument() = default;
  CIniDocument(const CIniDocument&) = delete;
  CIniDocument& operator=(const CIniDocument&) = delete;

  // Applies the line rules to each line in order, adding to the sections
  // already held. The open section carries over between calls.
  virtual void ParseLines(const std::vector<std::u16string>& lines);
  // Splits and parses the held text unless that has been done already.
  virtual void EnsureParsed();

  // Replaces the held text and parses it. Sections parsed from an earlier
  // text stay: parsing only adds.
  void SetText(std::u16string_view text);
  const std::u16string& GetText() const { return text_; }

  // The value of `key` in `section`. With an empty held text the default is
  // returned without parsing. A missing section or key gives the default,
  // or the empty string when `default_value` is null.
  std::u16string GetString(std::u16string_view section, std::u16string_view key,
                           const char16_t* default_value = nullptr);
  // The found value read as a decimal (leading blanks, sign, digits up to the
  // first other character; none give 0), else `default_value`.
  int32_t GetInt(std::u16string_view section, std::u16string_view key, int32_t default_value);
  // Appends every key of `section` to `keys`. 0 when the held text is empty
  // or the section does not exist.
  BOOL GetKeys(std::u16string_view section, std::vector<std::u16string>* keys);

  // Sets a value (creating the section when missing) and rebuilds the held
  // text at once. 0 only when an argument is null.
  BOOL SetString(const char16_t* section, const char16_t* key, const char16_t* value);
  BOOL SetInt(const char16_t* section, const char16_t* key, int32_t value);

  // "[section]\r\n" for every section, each followed by "key=value\r\n" for
  // its pairs. Values are written as held, without quotes; the order is the
  // maps' order and carries no meaning.
  std::u16string BuildText() const;

  const SectionMap& sections() const { return sections_; }

 protected:
  DWORD parsed_ = 0;
  std::u16string text_;
  // The (folded) section that the next key/value line belongs to.
  std::u16string current_section_;
  SectionMap sections_;

 private:
  const std::u16string* Find(std::u16string_view section, std::u16string_view key);
};

}  // namespace qorlog
