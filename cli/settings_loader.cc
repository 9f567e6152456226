#include "cli/settings_loader.h"

#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qorlog::cli {

namespace {

SettingsLoad OpenError(DWORD error) {
  switch (error) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound:
      return {ExitCode::kUsage, "no such file"};
    case platform::kErrorAccessDenied:
      return {ExitCode::kFailed, "permission denied"};
    case platform::kErrorSharingViolation:
      return {ExitCode::kFailed, "the file is being written by another process"};
    default:
      return {ExitCode::kFailed, "cannot open it (system error " + std::to_string(error) + ")"};
  }
}

SettingsLoad Damaged(std::string why) { return {ExitCode::kDamaged, std::move(why)}; }

}  // namespace

const char* SettingsFormatName(DWORD format) {
  switch (format) {
    case INI_FORMAT_HEX:
      return "hex";
    case INI_FORMAT_CONTAINER:
      return "container";
    default:
      return "none";
  }
}

SettingsLoad LoadSettingsFile(const std::string& path, CSecureIniDocument* doc) {
  const std::u16string wide = platform::Utf8ToUtf16(path);
  if (platform::IsFolder(wide)) return {ExitCode::kUsage, "it is a folder"};
  std::vector<uint8_t> image;
  try {
    platform::File file;
    DWORD error = 0;
    if (!file.Open(wide, platform::File::modeRead | platform::File::shareDenyWrite, &error)) {
      return OpenError(error);
    }
    const uint64_t length = file.GetLength();
    if (length > kMaxSettingsFileBytes) return Damaged("too large for a settings file");
    image.resize(static_cast<std::size_t>(length));
    image.resize(file.Read(image.data(), static_cast<uint32_t>(length)));
  } catch (const platform::FileException& e) {
    return {ExitCode::kFailed, std::string("cannot read it: ") + e.what()};
  }

  const DWORD format = CSecureIniDocument::ClassifyBytes(image.data(), image.size());
  if (doc->LoadFromBytes(image.data(), image.size())) return {};
  if (format == INI_FORMAT_HEX) return Damaged("hex text that does not decrypt under the settings key");
  if (format == INI_FORMAT_CONTAINER) return Damaged("container whose payload does not decrypt under the settings key");
  if (image.size() >= 4 && image[0] == 0x01 && image[1] == 0x00 && image[2] == 0xA0 && image[3] == 0xAA) {
    return Damaged("damaged container (its digest or lengths do not match its contents)");
  }
  if (image.empty()) return Damaged("empty file, not a protected settings file");
  return Damaged("not a protected settings file (neither hex text nor a container)");
}

}  // namespace qorlog::cli
