// Loading a protected settings file: read it whole, recognise the format,
// remove the protection, parse the text.
#include <vector>

#include "crypto/cryptmod.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "settings/container_format.h"
#include "settings/secure_ini_document.h"

namespace qorlog {

namespace {

using platform::File;

// Reads the whole file, denying writers while it is open. False when it
// cannot be opened or read, or is too large for a settings file.
bool ReadWholeFile(std::u16string_view path, std::vector<uint8_t>* bytes) {
  try {
    File file;
    if (!file.Open(path, File::modeRead | File::shareDenyWrite)) return false;
    const uint64_t length = file.GetLength();
    if (length > kMaxSettingsFileBytes) return false;
    // One byte more than the file, zero-filled, so the image always ends in
    // a terminator.
    bytes->assign(static_cast<std::size_t>(length) + 1, 0);
    const uint32_t got = file.Read(bytes->data(), static_cast<uint32_t>(length));
    bytes->resize(got);
    return true;
  } catch (const platform::FileException&) {
    return false;
  }
}

// Narrow text up to its first zero byte, as UTF-16.
std::u16string NarrowToWide(const uint8_t* bytes, std::size_t length) {
  std::size_t n = 0;
  while (n < length && bytes[n] != 0) ++n;
  return platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes), n));
}

bool UnprotectHex(const uint8_t* image, std::size_t length, std::u16string* plain) {
  const std::u16string hex = NarrowToWide(image, length);
  return DesDecryptHexToString(hex, plain, kSettingsKeyString);
}

bool UnprotectContainer(const uint8_t* image, std::u16string* plain) {
  // IsValidContainer has checked that both lengths stay inside the image.
  const uint32_t digest_length = settings::LoadLe32(image + 4);
  const uint32_t payload_length = settings::LoadLe32(image + 8);
  const uint8_t* payload = image + settings::kContainerHeaderBytes + digest_length;
  const std::u16string key(kSettingsKeyString);
  CryptBufferPtr clear(PasswordDecryptW(INI_FORMAT_CONTAINER, payload, payload_length, key.c_str()));
  if (!clear) return false;
  *plain = NarrowToWide(clear->data, clear->length);
  return true;
}

}  // namespace

BOOL CSecureIniDocument::LoadFromBytes(const uint8_t* image, std::size_t length) {
  format_ = ClassifyBytes(image, length);
  std::u16string plain;
  bool ok = false;
  if (format_ == INI_FORMAT_HEX) {
    ok = UnprotectHex(image, length, &plain);
  } else if (format_ == INI_FORMAT_CONTAINER) {
    ok = UnprotectContainer(image, &plain);
  }
  if (!ok) return 0;
  SetText(plain);
  return 1;
}

BOOL CSecureIniDocument::LoadFile(std::u16string_view path, BOOL delete_after_read) {
  std::vector<uint8_t> image;
  BOOL loaded = 0;
  if (ReadWholeFile(path, &image)) loaded = LoadFromBytes(image.data(), image.size());
  if (delete_after_read) {
    platform::SetAttributesNormal(path);
    platform::DeleteFileNamed(path);
  }
  return loaded;
}

BOOL CSecureIniDocument::LoadFileText(std::u16string_view path, std::u16string* text) {
  if (!LoadFile(path, 0)) return 0;
  if (text != nullptr) *text = text_;
  return 1;
}

int CSecureIniDocument::LoadAndCheckAge(std::u16string_view path, int64_t max_age_seconds,
                                        BOOL delete_after_read) {
  if (!LoadFile(path, delete_after_read)) return 0;
  const std::u16string stamp = GetString(u"Common", u"WriteTime");
  if (stamp.empty()) return 0;
  return IsStampFresh(stamp, max_age_seconds) ? 1 : -1;
}

}  // namespace qorlog
