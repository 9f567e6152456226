// qorlog settings: read and write protected settings files.
//   show FILE                      the protection format and the settings text
//   get FILE SECTION KEY           one value exactly as held
//   set FILE SECTION KEY VALUE     create or update a file (--format, --stamp)
//   age FILE SECONDS               fresh (0) or stale (1) by the write-time
//                                  stamp; 2 without a stamp or a readable file
#include <iostream>
#include <memory>
#include <string>

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

int Fail(const std::string& file, const std::string& why) {
  std::cerr << "qorlog: " << file << ": " << why << "\n";
  return 1;
}

int RunShow(const SettingsArgs& a) {
  CSecureIniDocument doc;
  if (std::string why = LoadSettingsFile(a.file, &doc); !why.empty()) return Fail(a.file, why);
  std::string text = Utf16ToUtf8(doc.GetText());
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::cout << "format: " << SettingsFormatName(doc.format()) << "\n" << text;
  return 0;
}

int RunGet(const SettingsArgs& a) {
  CSecureIniDocument doc;
  if (std::string why = LoadSettingsFile(a.file, &doc); !why.empty()) return Fail(a.file, why);
  const std::u16string section = Utf8ToUtf16(a.section);
  const std::u16string key = Utf8ToUtf16(a.key);
  // Tell a missing key from an empty value: GetString answers both with "".
  std::vector<std::u16string> keys;
  if (!doc.GetKeys(section, &keys)) return Fail(a.file, "no section [" + a.section + "]");
  const std::u16string missing = u"\x1";
  const std::u16string value = doc.GetString(section, key, missing.c_str());
  if (value == missing) return Fail(a.file, "no key " + a.key + " in section [" + a.section + "]");
  std::cout << Utf16ToUtf8(value) << "\n";
  return 0;
}

int RunSet(const SettingsArgs& a) {
  DWORD format = INI_FORMAT_NONE;  // keep the format of an existing file
  if (a.format == "hex") format = INI_FORMAT_HEX;
  if (a.format == "container") format = INI_FORMAT_CONTAINER;

  CSecureIniDocument doc;
  const std::u16string path = Utf8ToUtf16(a.file);
  // Never write over a file that we could not read: its contents would be lost.
  if (platform::PathExists(path) || platform::IsFolder(path)) {
    if (std::string why = LoadSettingsFile(a.file, &doc); !why.empty()) {
      return Fail(a.file, why + "; nothing written");
    }
  }

  const std::u16string section = Utf8ToUtf16(a.section);
  const std::u16string key = Utf8ToUtf16(a.key);
  const std::u16string value = Utf8ToUtf16(a.value);
  doc.SetString(section.c_str(), key.c_str(), value.c_str());
  // The text format writes values without quotes: outer blanks and quotes,
  // line breaks, and some section or key spellings do not read back. Refuse
  // rather than store something else than was asked for.
  CIniDocument probe;
  probe.SetText(doc.BuildText());
  if (probe.GetString(section, key, u"\x1") != value) {
    return Fail(a.file,
                "this section, key or value cannot be stored as given (no line breaks, no blanks "
                "or double quotes at either end of the value, no ']' in the section, no '=' in "
                "the key); nothing written");
  }

  if (!doc.SaveStamped(path, a.stamp ? 1 : 0, format)) return Fail(a.file, "cannot write the file");
  CSecureIniDocument back;
  if (std::string why = LoadSettingsFile(a.file, &back); !why.empty()) {
    return Fail(a.file, "written, but it does not read back: " + why);
  }
  if (back.GetString(section, key, u"\x1") != value) {
    return Fail(a.file, "written, but the value does not read back");
  }
  return 0;
}

int RunAge(const SettingsArgs& a) {
  CSecureIniDocument doc;
  if (std::string why = LoadSettingsFile(a.file, &doc); !why.empty()) {
    Fail(a.file, why);
    return 2;
  }
  const std::u16string stamp = doc.GetString(kStampSection, kStampKey);
  if (stamp.empty()) {
    std::cout << "no stamp: no " << Utf16ToUtf8(kStampKey) << " in section ["
              << Utf16ToUtf8(kStampSection) << "]\n";
    return 2;
  }
  const bool fresh = CSecureIniDocument::IsStampFresh(stamp, a.seconds);
  std::cout << (fresh ? "fresh" : "stale") << ": written " << Utf16ToUtf8(stamp) << ", limit "
            << a.seconds << " s\n";
  return fresh ? 0 : 1;
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
      "age", "Fresh (exit 0) or stale (1) by the write-time stamp; 2 without a stamp or file");
  age->add_option("FILE", args->file, "Protected settings file")->required();
  age->add_option("SECONDS", args->seconds, "Maximum age in seconds")->required();
  age->callback([&outcome, args] { outcome.exit_code = RunAge(*args); });
}

QORLOG_CLI_COMMAND(AddSettingsCommand);

}  // namespace qorlog::cli
