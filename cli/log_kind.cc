#include "cli/log_kind.h"

#include <cctype>
#include <charconv>
#include <filesystem>

namespace qorlog::cli {

namespace {

std::string Squeeze(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

struct Category {
  DWORD kind;
  std::string_view folder;    // the library's folder name
  std::string_view squeezed;  // the folder name as Squeeze leaves it
};
constexpr Category kCategories[] = {{QORLOG_KIND_PCSCAN, "pc scan", "pcscan"},
                                    {QORLOG_KIND_FIREWALL, "firewall", "firewall"},
                                    {QORLOG_KIND_ANTIKEYLOGGER, "anti keylogger", "antikeylogger"},
                                    {QORLOG_KIND_SECUREBROWSER, "secure browser", "securebrowser"},
                                    {QORLOG_KIND_PELLORA, "pellora i", "pellorai"},
                                    {kEtcKind, "etc", "etc"}};

}  // namespace

std::optional<DWORD> ParseKind(std::string_view text) {
  DWORD value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (!text.empty() && ec == std::errc() && end == text.data() + text.size()) return value;
  const std::string key = Squeeze(text);
  if (key == "pellora") return QORLOG_KIND_PELLORA;
  if (key == "fw") return QORLOG_KIND_FIREWALL;  // as in `qorlog write fw`
  for (const Category& c : kCategories) {
    if (key == c.squeezed) return c.kind;
  }
  return std::nullopt;
}

std::string_view CategoryName(DWORD kind) {
  for (const Category& c : kCategories) {
    if (c.kind == kind) return c.folder;
  }
  return "etc";
}

std::optional<DWORD> KindOfFolder(const std::string& file) {
  const std::string folder = std::filesystem::path(file).parent_path().filename().string();
  for (const Category& c : kCategories) {
    if (c.kind != kEtcKind && folder == c.folder) return c.kind;
  }
  return std::nullopt;
}

CLI::Option* AddKindOption(CLI::App* cmd, const std::string& name, std::optional<DWORD>* kind,
                           const std::string& description) {
  const CLI::Validator is_kind(
      [](std::string& text) -> std::string {
        if (ParseKind(text)) return {};
        return "unknown kind '" + text +
               "': give a number or one of pc-scan, firewall, anti-keylogger, secure-browser, pellora, etc";
      },
      "KIND");
  return cmd
      ->add_option_function<std::string>(
          name, [kind](const std::string& text) { *kind = ParseKind(text); }, description)
      ->check(is_kind);
}

}  // namespace qorlog::cli
