// The settings text format and CIniDocument's lookups, setters and builder.
#include "settings/ini_document.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/text.h"

namespace qorlog {
namespace {

// Records what the parser is handed, to see the line splitting and to tell
// parsing apart from lookups.
class CountingDocument : public CIniDocument {
 public:
  void ParseLines(const std::vector<std::u16string>& lines) override {
    ++parse_calls;
    seen.insert(seen.end(), lines.begin(), lines.end());
    CIniDocument::ParseLines(lines);
  }
  int parse_calls = 0;
  std::vector<std::u16string> seen;
};

std::u16string Get(CIniDocument& doc, std::u16string_view section, std::u16string_view key) {
  return doc.GetString(section, key, u"<missing>");
}

// What a text parses to: each row is a text, a lookup in it and the answer
// ("<missing>" when the key is not there).
TEST(IniTextFormat, ParsesTheTextFormat) {
  struct Case {
    const char16_t* text;
    const char16_t* section;
    const char16_t* key;
    const char16_t* value;
  };
  const Case cases[] = {
      // Lines end at a line feed; trailing carriage returns go, inner ones stay.
      {u"[s]\r\r\na=1\r\nb=x\ry\n", u"s", u"a", u"1"},
      {u"[s]\r\r\na=1\r\nb=x\ry\n", u"s", u"b", u"x\ry"},
      {u"[s]\n\n\r\nc=3", u"s", u"c", u"3"},  // no line feed after the last line
      // Comments only at the start of a line.
      {u"[s]\n   ; a=1\n", u"s", u"a", u"<missing>"},
      {u"[s]\n\t;b=2\n", u"s", u"b", u"<missing>"},
      {u"[s]\nk=a;b\n", u"s", u"k", u"a;b"},
      // Section names: trimmed, unquoted, folded; text after ']' ignored.
      {u"[ \"My Sec\" ] tail=ignored\nk=1\n", u"my sec", u"k", u"1"},
      {u"[ \"My Sec\" ] tail=ignored\nk=1\n", u"my sec", u"tail", u"<missing>"},
      {u"[[x]\nk=2\n", u"x", u"k", u"2"},
      {u"[x]\n[y\nk3=3\n", u"x", u"k3", u"3"},  // no ']' and no '=': ignored
      {u"  [ UPPER ]\nk=5\n", u"upper", u"k", u"5"},
      {u"[s]\n[x=1\n", u"s", u"[x", u"1"},  // no ']' but '=': a pair
      // Keys and values: trimmed, outer quotes removed, first '=' splits.
      {u"[s]\n  Key = \"  v \"  \n", u"s", u"key", u"  v "},
      {u"[s]\nempty=\"\"\n", u"s", u"empty", u""},
      {u"[s]\neq==x\n", u"s", u"eq", u"=x"},
      {u"[s]\ninner=a\"b\"c\n", u"s", u"inner", u"a\"b\"c"},
      {u"[s]\nquotes=\"\"\"q\"\"\n", u"s", u"quotes", u"q"},
      {u"[s]\n=nokey\n", u"s", u"", u"nokey"},
      {u"[s]\nCase=MixedValue\n", u"s", u"case", u"MixedValue"},
      // Pairs before the first section are dropped, even when "[]" follows.
      {u"a=0\n[]\nb=1\n", u"", u"a", u"<missing>"},
      {u"a=0\n[]\nb=1\n", u"", u"b", u"1"},
      {u"[s]\na=1\na=2\n", u"s", u"a", u"2"},       // the last one wins
      {u"[s]\na=1\n[S]\nc=3\n", u"s", u"c", u"3"},  // same section once folded
      // Only ASCII letters fold.
      {u"[\u00C4RGER]\n\u00DCBER=1\n", u"\u00C4rger", u"\u00DCber", u"1"},
      {u"[\u00C4RGER]\n\u00DCBER=1\n", u"\u00E4rger", u"\u00FCber", u"<missing>"},
  };
  for (const Case& c : cases) {
    CIniDocument doc;
    doc.SetText(c.text);
    EXPECT_EQ(Get(doc, c.section, c.key), c.value)
        << platform::Utf16ToUtf8(c.text) << " [" << platform::Utf16ToUtf8(c.section) << "] "
        << platform::Utf16ToUtf8(c.key);
  }
  // What does not parse adds nothing: the count of sections and pairs.
  CIniDocument doc;
  doc.SetText(u"[s]\r\r\na=1\r\nb=x\ry\n\n\r\nc=3\n  Key = v\nno equals sign\n[y\n");
  EXPECT_EQ(doc.sections().size(), 1u);
  EXPECT_EQ(doc.sections().at(u"s").size(), 4u);
  // Empty lines never reach the parser; an unterminated last line does.
  CountingDocument split;
  split.SetText(u" a \r\n\n\r\n\r\r\nb\r\rc\n\nd");
  EXPECT_EQ(split.seen, (std::vector<std::u16string>{u" a ", u"b\r\rc", u"d"}));
}

// GetInt reads a leading decimal: blanks, a sign, digits up to the first
// other character, clamped to the 32-bit range; a found value without digits
// is 0, not the default.
TEST(IniDocumentLookup, GetIntReadsLeadingDecimal) {
  CIniDocument doc;
  doc.SetText(u"[s]\na= 42abc\nb=abc\nc=-17\nd=+8\ne=99999999999\nf=-99999999999\ng=\t 0x10\n");
  const struct {
    const char16_t* key;
    int32_t value;
  } cases[] = {{u"a", 42},      {u"b", 0},       {u"c", -17}, {u"d", 8},
               {u"e", INT_MAX}, {u"f", INT_MIN}, {u"g", 0},   {u"missing", 5}};
  for (const auto& c : cases) EXPECT_EQ(doc.GetInt(u"s", c.key, 5), c.value) << platform::Utf16ToUtf8(c.key);
}

TEST(IniDocumentLookup, CaseInsensitiveParsedOnceAndNeverAdding) {
  CountingDocument empty;  // an empty text answers defaults without parsing
  EXPECT_EQ(empty.GetString(u"s", u"k", u"dflt"), u"dflt");
  EXPECT_EQ(empty.GetString(u"s", u"k"), u"");
  EXPECT_EQ(empty.GetInt(u"s", u"k", 7), 7);
  std::vector<std::u16string> keys;
  EXPECT_EQ(empty.GetKeys(u"s", &keys), 0);
  EXPECT_EQ(empty.parse_calls, 0);

  CountingDocument doc;
  doc.SetText(u"[qorcommon]\nurl_logpolicy=http://x\nB=1\n[T]\n");
  EXPECT_EQ(doc.GetString(u"QORCOMMON", u"Url_LogPolicy"), u"http://x");
  EXPECT_EQ(doc.GetString(u"qorcommon", u"missing", u"d"), u"d");
  EXPECT_EQ(doc.GetString(u"nosuch", u"url_logpolicy"), u"");
  EXPECT_EQ(doc.GetInt(u"c", u"k", 0), 0);
  EXPECT_EQ(doc.GetKeys(u"d", &keys), 0);
  EXPECT_EQ(doc.GetKeys(u"t", &keys), 1);  // exists, but empty
  EXPECT_TRUE(keys.empty());
  // GetKeys appends the folded keys to what the list holds.
  keys = {u"before"};
  ASSERT_EQ(doc.GetKeys(u"QorCommon", &keys), 1);
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"before", u"b", u"url_logpolicy"}));
  doc.EnsureParsed();
  EXPECT_EQ(doc.parse_calls, 1);
  EXPECT_EQ(doc.sections().size(), 2u);  // reading added no section
  EXPECT_EQ(doc.GetText(), u"[qorcommon]\nurl_logpolicy=http://x\nB=1\n[T]\n");
}

TEST(IniDocumentSetters, SettersRebuildTheTextAndRefuseAbsentArguments) {
  CIniDocument doc;
  ASSERT_EQ(doc.SetString(u"S", u"K", u"v"), 1);
  EXPECT_EQ(doc.GetText(), u"[s]\r\nk=v\r\n");
  ASSERT_EQ(doc.SetInt(u"s", u"n", -5), 1);
  EXPECT_EQ(doc.GetInt(u"S", u"N", 0), -5);
  ASSERT_EQ(doc.SetString(u"s", u"k", u"w"), 1);  // replaces
  EXPECT_EQ(doc.GetText(), u"[s]\r\nk=w\r\nn=-5\r\n");
  EXPECT_EQ(doc.SetString(nullptr, u"k", u"x"), 0);
  EXPECT_EQ(doc.SetString(u"s", nullptr, u"x"), 0);
  EXPECT_EQ(doc.SetString(u"s", u"k", nullptr), 0);
  EXPECT_EQ(doc.GetText(), u"[s]\r\nk=w\r\nn=-5\r\n");
}

TEST(IniDocumentSetters, BuildTextKeepsEmptySectionsAndTheValuesAsHeld) {
  CIniDocument doc;
  doc.SetText(u"junk=dropped\n[Empty]\n[data]\nName = \" spaced \"\nx=1\n");
  // Sections and keys in name order; values unquoted, as held.
  EXPECT_EQ(doc.BuildText(), u"[data]\r\nname= spaced \r\nx=1\r\n[empty]\r\n");
}

TEST(IniDocumentSetters, ParsingAddsToWhatIsAlreadyHeld) {
  CIniDocument doc;
  doc.SetText(u"[a]\nk=1\n");
  doc.SetText(u"[b]\nk=2\n");
  EXPECT_EQ(doc.GetText(), u"[b]\nk=2\n");
  EXPECT_EQ(Get(doc, u"a", u"k"), u"1");
  EXPECT_EQ(Get(doc, u"b", u"k"), u"2");
  // Parsing continues in the section that is open.
  CIniDocument lines;
  lines.ParseLines({u"[a]", u"k=1"});
  lines.ParseLines({u"m=2"});
  EXPECT_EQ(lines.sections().at(u"a").at(u"m"), u"2");
}

}  // namespace
}  // namespace qorlog
