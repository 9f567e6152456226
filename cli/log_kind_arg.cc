#include "cli/log_kind_arg.h"

#include <cctype>
#include <charconv>
#include <filesystem>

namespace qorlog::cli {

namespace {

std::string Squeeze(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

struct Named {
  const char* squeezed;
  DWORD kind;
};
constexpr Named kNames[] = {{"pcscan", QORLOG_KIND_PCSCAN},
                            {"firewall", QORLOG_KIND_FIREWALL},
                            {"antikeylogger", QORLOG_KIND_ANTIKEYLOGGER},
                            {"securebrowser", QORLOG_KIND_SECUREBROWSER},
                            {"pellora", QORLOG_KIND_PELLORA},
                            {"pellorai", QORLOG_KIND_PELLORA},
                            {"etc", kEtcKind}};

}  // namespace

std::optional<DWORD> ParseKind(const std::string& text) {
  DWORD value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) return value;
  const std::string key = Squeeze(text);
  for (const Named& n : kNames) {
    if (key == n.squeezed) return n.kind;
  }
  return std::nullopt;
}

std::vector<DWORD> AllCategoryKinds() {
  return {QORLOG_KIND_PCSCAN, QORLOG_KIND_FIREWALL, QORLOG_KIND_ANTIKEYLOGGER, QORLOG_KIND_SECUREBROWSER,
          QORLOG_KIND_PELLORA, kEtcKind};
}

std::optional<DWORD> KindOfFolder(const std::string& file) {
  const std::string folder = std::filesystem::path(file).parent_path().filename().string();
  auto kind = ParseKind(folder);
  if (!kind || *kind == kEtcKind || folder.find_first_not_of("0123456789") == std::string::npos) return std::nullopt;
  return kind;
}

}  // namespace qorlog::cli
