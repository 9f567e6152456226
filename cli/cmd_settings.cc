// qorlog settings: read and write protected settings files.
//   show FILE                      the protection format and the settings text
//   get FILE SECTION KEY           one value exactly as held (exit 1 when absent)
//   set FILE SECTION KEY VALUE     create or update a file (--format, --stamp);
//                                  refused, naming each entry, when the file
//                                  would not read back as it is plus the change
//   age FILE SECONDS               fresh (0), or stale or unstamped (1), by the
//                                  write-time stamp
// A file that is missing is a usage error (2), one that does not load as a
// protected settings file is damaged data (3).
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/settings_loader.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "settings/ini_document.h"
#include "settings/secure_ini_document.h"

namespace qorlog::cli {

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

struct SettingsArgs {
  std::string file;
  std::string section;
  std::string key;
  std::string value;
  std::string format;
  bool stamp = false;
  long long seconds = 0;
};

ExitCode Fail(ExitCode code, const std::string& file, const std::string& why) {
  return cli::Fail(code, file + ": " + why);
}

// Loads a.file, reporting a failure; false when it did not load.
bool Load(const SettingsArgs& a, CSecureIniDocument* doc, ExitCode* code) {
  const SettingsLoad load = LoadSettingsFile(a.file, doc);
  if (load.code == ExitCode::kSuccess) return true;
  *code = Fail(load.code, a.file, load.why);
  return false;
}

// A value as the messages show it: quoted, with line breaks visible.
std::string Quoted(std::u16string_view value) {
  std::string out = "\"";
  for (char c : Utf16ToUtf8(value)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// What would differ between `want` and `got`, one line per entry.
std::vector<std::string> Differences(const CIniDocument::SectionMap& want, const CIniDocument::SectionMap& got) {
  std::vector<std::string> lines;
  for (const auto& [section, keys] : want) {
    const std::string name = "[" + Utf16ToUtf8(section) + "]";
    auto other = got.find(section);
    if (other == got.end()) {
      lines.push_back("section " + name + " would be lost");
      continue;
    }
    for (const auto& [key, value] : keys) {
      auto found = other->second.find(key);
      if (found == other->second.end()) {
        lines.push_back(name + " " + Utf16ToUtf8(key) + " would be lost");
      } else if (found->second != value) {
        lines.push_back(name + " " + Utf16ToUtf8(key) + ": " + Quoted(value) + " would read back as " +
                        Quoted(found->second));
      }
    }
    for (const auto& [key, value] : other->second) {
      if (!keys.contains(key)) lines.push_back(name + " " + Utf16ToUtf8(key) + " would appear as " + Quoted(value));
    }
  }
  for (const auto& [section, keys] : got) {
    if (!want.contains(section)) lines.push_back("section [" + Utf16ToUtf8(section) + "] would appear");
  }
  return lines;
}

ExitCode RunShow(const SettingsArgs& a) {
  CSecureIniDocument doc;
  if (ExitCode code; !Load(a, &doc, &code)) return code;
  std::string text = Utf16ToUtf8(doc.GetText());
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::cout << "format: " << SettingsFormatName(doc.format()) << "\n" << text;
  return ExitCode::kSuccess;
}

ExitCode RunGet(const SettingsArgs& a) {
  CSecureIniDocument doc;
  if (ExitCode code; !Load(a, &doc, &code)) return code;
  const std::u16string section = Utf8ToUtf16(a.section);
  const std::u16string key = Utf8ToUtf16(a.key);
  // Tell a missing key from an empty value: GetString answers both with "".
  std::vector<std::u16string> keys;
  if (!doc.GetKeys(section, &keys)) return Fail(ExitCode::kNegative, a.file, "no section [" + a.section + "]");
  const std::u16string missing = u"\x1";
  const std::u16string value = doc.GetString(section, key, missing.c_str());
  if (value == missing) return Fail(ExitCode::kNegative, a.file, "no key " + a.key + " in section [" + a.section + "]");
  std::cout << Utf16ToUtf8(value) << "\n";
  return ExitCode::kSuccess;
}

ExitCode RunSet(const SettingsArgs& a) {
  DWORD format = INI_FORMAT_NONE;  // keep the format of an existing file
  if (a.format == "hex") format = INI_FORMAT_HEX;
  if (a.format == "container") format = INI_FORMAT_CONTAINER;

  CSecureIniDocument doc;
  const std::u16string path = Utf8ToUtf16(a.file);
  // Never write over a file that we could not read: its contents would be lost.
  if (platform::PathExists(path) || platform::IsFolder(path)) {
    const SettingsLoad load = LoadSettingsFile(a.file, &doc);
    if (load.code != ExitCode::kSuccess) return Fail(load.code, a.file, load.why + "; nothing written");
  }

  const std::u16string section = Utf8ToUtf16(a.section);
  const std::u16string key = Utf8ToUtf16(a.key);
  const std::u16string value = Utf8ToUtf16(a.value);
  doc.SetString(section.c_str(), key.c_str(), value.c_str());
  // The file holds the text form, which writes values without quotes: outer
  // blanks and quotes, line breaks, and some section or key spellings do not
  // read back, neither in the new entry nor in entries already there (a
  // quoted value loses its quotes). Refuse rather than store something else
  // than the file holds plus the change, and name every entry that would
  // differ.
  CIniDocument probe;
  probe.SetText(doc.BuildText());
  if (const auto lines = Differences(doc.sections(), probe.sections()); !lines.empty()) {
    std::string message = a.file + ": nothing written: the file's text form cannot hold these entries as they are:";
    for (const std::string& line : lines) message += "\n  " + line;
    message += "\n(values lose blanks and double quotes at either end and cannot hold line breaks; "
               "a section name cannot hold ']', a key cannot hold '=' or start with ';' or '[')";
    // The entry given is the person's to change; other entries are the file's.
    CIniDocument given;
    given.SetText(u"[" + section + u"]\n" + key + u"=" + value + u"\n");
    const bool own = given.GetString(section, key, u"\x1") != value;
    return cli::Fail(own ? ExitCode::kUsage : ExitCode::kFailed, message);
  }

  if (!doc.SaveStamped(path, a.stamp ? 1 : 0, format)) return Fail(ExitCode::kFailed, a.file, "cannot write the file");
  CSecureIniDocument back;
  if (const SettingsLoad load = LoadSettingsFile(a.file, &back); load.code != ExitCode::kSuccess) {
    return Fail(ExitCode::kFailed, a.file, "written, but it does not read back: " + load.why);
  }
  if (back.GetString(section, key, u"\x1") != value) {
    return Fail(ExitCode::kFailed, a.file, "written, but the value does not read back");
  }
  return ExitCode::kSuccess;
}

ExitCode RunAge(const SettingsArgs& a) {
  CSecureIniDocument doc;
  if (ExitCode code; !Load(a, &doc, &code)) return code;
  const std::u16string stamp = doc.GetString(kStampSection, kStampKey);
  if (stamp.empty()) {
    std::cout << "no stamp: no " << Utf16ToUtf8(kStampKey) << " in section ["
              << Utf16ToUtf8(kStampSection) << "]\n";
    return ExitCode::kNegative;
  }
  const bool fresh = CSecureIniDocument::IsStampFresh(stamp, a.seconds);
  std::cout << (fresh ? "fresh" : "stale") << ": written " << Utf16ToUtf8(stamp) << ", limit "
            << a.seconds << " s\n";
  return fresh ? ExitCode::kSuccess : ExitCode::kNegative;
}

}  // namespace

void AddSettingsCommand(CLI::App& app, Outcome& outcome) {
  auto* cmd = app.add_subcommand("settings", "Read and write protected settings files");
  cmd->require_subcommand(1);
  auto args = std::make_shared<SettingsArgs>();

  auto* show = cmd->add_subcommand("show", "Print the protection format and the settings text");
  show->add_option("FILE", args->file, "Protected settings file")->required();
  show->callback([&outcome, args] { outcome.exit_code = RunShow(*args); });

  auto* get = cmd->add_subcommand("get", "Print one value exactly as held");
  get->add_option("FILE", args->file, "Protected settings file")->required();
  get->add_option("SECTION", args->section, "Section (any case)")->required();
  get->add_option("KEY", args->key, "Key (any case)")->required();
  get->callback([&outcome, args] { outcome.exit_code = RunGet(*args); });

  auto* set = cmd->add_subcommand(
      "set", "Create or update a protected settings file (an existing file keeps its format)");
  set->add_option("FILE", args->file, "Protected settings file")->required();
  set->add_option("SECTION", args->section, "Section (stored in lower case)")->required();
  set->add_option("KEY", args->key, "Key (stored in lower case)")->required();
  set->add_option("VALUE", args->value, "Value")->required();
  set->add_option("--format", args->format, "Protection format (default: the file's own, else hex)")
      ->check(CLI::IsMember({"hex", "container"}));
  set->add_flag("--stamp", args->stamp, "Also set the write-time stamp to now");
  set->callback([&outcome, args] { outcome.exit_code = RunSet(*args); });

  auto* age = cmd->add_subcommand(
      "age", "Fresh (exit 0), or stale or without a stamp (1), by the write-time stamp");
  age->add_option("FILE", args->file, "Protected settings file")->required();
  const CLI::Validator not_negative(
      [](std::string& text) -> std::string {
        return !text.empty() && text.front() == '-' ? "give 0 or more seconds, not " + text : "";
      },
      "SECONDS");
  age->add_option("SECONDS", args->seconds, "Maximum age in seconds")->required()->check(not_negative);
  age->callback([&outcome, args] { outcome.exit_code = RunAge(*args); });
}

}  // namespace qorlog::cli
