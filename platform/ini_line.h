// The line rules of the INI-style text that the settings files and the
// registry stand-in share: one line in, what it says out. Both readers keep
// their own state (the open section, what a pair before any section means);
// only the reading of a line lives here.
//
//   leading and trailing blanks (space, tab, CR, LF, VT, FF) are ignored
//   ";..."          a comment
//   "[name]..."     a section; leading '[' and outer blanks, then outer
//                   '"' are removed from the name, which is folded to lower
//                   case (ASCII); text after ']' is ignored
//   "key=value"     a pair at the first '='; the key is trimmed and folded,
//                   the value trimmed and stripped of outer '"'; a "[..."
//                   line without ']' is read this way too
//   anything else   nothing
//
// Pure functions, safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace qorlog::platform {

struct IniLine {
  enum Kind { kNothing, kSection, kPair };
  Kind kind = kNothing;
  std::u16string name;   // the section name, or the pair's key (folded)
  std::u16string value;  // the pair's value
};

IniLine ParseIniLine(std::u16string_view line);

// Folds ASCII 'A'-'Z' to 'a'-'z'; every other code unit stays.
std::u16string FoldAsciiLower(std::u16string_view text);

}  // namespace qorlog::platform
