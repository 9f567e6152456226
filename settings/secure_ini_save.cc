// Saving a settings document in one of its two protection formats.
#include <string>

#include "crypto/cryptmod.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/system.h"
#include "platform/text.h"
#include "settings/container_format.h"
#include "settings/secure_ini_document.h"

namespace qorlog {

namespace {

using platform::File;

// Writes `bytes` as the whole file. They go to a new file beside it first,
// which then replaces the file in one step: a write that fails (a full
// disk) leaves the old file as it was. False when the file cannot be created,
// written or replaced.
bool WriteNewFile(std::u16string_view path, const std::string& bytes) {
  const std::u16string fresh = std::u16string(path) + u".new";
  bool written = false;
  try {
    File file;
    if (!file.Open(fresh, File::modeCreate | File::modeWrite | File::shareExclusive)) return false;
    file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    written = file.Close() == 0;
  } catch (const platform::FileException&) {
  }
  if (written && platform::ReplaceFileNamed(fresh, path) == 0) return true;
  platform::DeleteFileNamed(fresh);
  return false;
}

}  // namespace

BOOL CSecureIniDocument::WriteHex(std::u16string_view path) {
  std::u16string hex;
  if (!DesEncryptStringToHex(text_, &hex, kSettingsKeyString)) return 0;
  return WriteNewFile(path, platform::Utf16ToUtf8(hex)) ? 1 : 0;
}

BOOL CSecureIniDocument::WriteContainer(std::u16string_view path) {
  const std::string plain = platform::Utf16ToUtf8(text_);
  if (plain.size() > kMaxSettingsFileBytes) return 0;
  CryptBufferPtr payload(
      PasswordEncrypt(plain.data(), static_cast<uint32_t>(plain.size()), kSettingsKeyNarrow));
  if (!payload) return 0;
  CryptBufferPtr digest(DigestHas160(payload->data, payload->length));
  if (!digest) return 0;

  std::string image;
  image.reserve(settings::kContainerHeaderBytes + digest->length + payload->length);
  settings::AppendLe32(&image, INI_FORMAT_CONTAINER);
  settings::AppendLe32(&image, digest->length);
  settings::AppendLe32(&image, payload->length);
  image.append(reinterpret_cast<const char*>(digest->data), digest->length);
  image.append(reinterpret_cast<const char*>(payload->data), payload->length);
  return WriteNewFile(path, image) ? 1 : 0;
}

BOOL CSecureIniDocument::Save(std::u16string_view path, DWORD format) {
  // The folder is everything up to the last separator; make it when missing.
  const std::size_t cut = path.rfind(platform::kPathSeparator);
  if (cut != std::u16string_view::npos && cut > 0) {
    const std::u16string_view folder = path.substr(0, cut + 1);
    if (!platform::PathExists(folder)) MakeDirectoryTree(folder);
  }
  // A read-only file is overwritten all the same.
  platform::SetAttributesNormal(path);

  const DWORD chosen = format == INI_FORMAT_NONE ? format_ : format;
  return chosen == INI_FORMAT_CONTAINER ? WriteContainer(path) : WriteHex(path);
}

BOOL CSecureIniDocument::SaveStamped(std::u16string_view path, BOOL stamp, DWORD format) {
  if (stamp) {
    const std::u16string now = FormatStamp(platform::GetLocalTime());
    const std::u16string section(kStampSection);
    const std::u16string key(kStampKey);
    SetString(section.c_str(), key.c_str(), now.c_str());
  }
  return Save(path, format);
}

}  // namespace qorlog
