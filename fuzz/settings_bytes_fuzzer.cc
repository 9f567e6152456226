// Feeds file images to CSecureIniDocument::LoadFromBytes. Each image sits in
// a block of exactly its size, so AddressSanitizer reports any read past the
// bytes of the file.
//
// The first input byte picks what the rest becomes, so that the paths behind
// the digest check are reached too:
//   'C'  wrapped as a container with a correct digest (arbitrary payload);
//   'E'  encrypted as settings text and wrapped as a container;
//   else the whole input is the file image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "crypto/cryptmod.h"
#include "settings/container_format.h"
#include "settings/secure_ini_document.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<uint8_t> Wrap(const uint8_t* payload, size_t size) {
  qorlog::CryptBufferPtr digest(qorlog::DigestHas160(payload, static_cast<uint32_t>(size)));
  Check(digest != nullptr);
  std::string image;
  qorlog::settings::AppendLe32(&image, qorlog::INI_FORMAT_CONTAINER);
  qorlog::settings::AppendLe32(&image, digest->length);
  qorlog::settings::AppendLe32(&image, static_cast<uint32_t>(size));
  image.append(reinterpret_cast<const char*>(digest->data), digest->length);
  image.append(reinterpret_cast<const char*>(payload), size);
  return std::vector<uint8_t>(image.begin(), image.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image;
  if (size > 0 && data[0] == 'C') {
    image = Wrap(data + 1, size - 1);
  } else if (size > 0 && data[0] == 'E') {
    qorlog::CryptBufferPtr payload(qorlog::PasswordEncrypt(
        data + 1, static_cast<uint32_t>(size - 1), qorlog::kSettingsKeyNarrow));
    Check(payload != nullptr);
    image = Wrap(payload->data, payload->length);
  } else {
    image.assign(data, data + size);
  }
  image.shrink_to_fit();

  const DWORD format = qorlog::CSecureIniDocument::ClassifyBytes(image.data(), image.size());
  qorlog::CSecureIniDocument doc;
  const BOOL loaded = doc.LoadFromBytes(image.data(), image.size());
  Check(doc.format() == format);
  Check(!loaded || format != qorlog::INI_FORMAT_NONE);
  Check(loaded || doc.GetText().empty());
  if (size > 0 && data[0] == 'E') Check(loaded);  // anything we encrypt must load
  if (loaded) {
    std::vector<std::u16string> keys;
    doc.GetKeys(u"qorcommon", &keys);
    doc.GetString(u"qorcommon", u"url_logpolicy");
    doc.BuildText();
  }
  return 0;
}
