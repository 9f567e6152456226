// Recognising a protected settings file from its bytes.
#include <cstring>

#include "crypto/cryptmod.h"
#include "settings/container_format.h"
#include "settings/secure_ini_document.h"

namespace qorlog {

namespace {

// The hex format is recognised by its alphabet: upper-case letters (all 26,
// not only A-F) and digits, at least 16 of them. Anything else that passes
// is sorted out by the decryption.
bool LooksLikeHexText(const uint8_t* image, std::size_t length) {
  if (length < 16) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const uint8_t c = image[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

}  // namespace

BOOL CSecureIniDocument::IsValidContainer(const uint8_t* image, std::size_t length) {
  using settings::kContainerDigestBytes;
  using settings::kContainerHeaderBytes;
  if (image == nullptr || length < kContainerHeaderBytes) return 0;
  if (settings::LoadLe32(image) != INI_FORMAT_CONTAINER) return 0;
  const uint64_t digest_length = settings::LoadLe32(image + 4);
  const uint64_t payload_length = settings::LoadLe32(image + 8);
  // The lengths come from the file: a digest too short to compare, or
  // lengths that reach past the image, make the container invalid rather
  // than a reason to read beyond the bytes we have.
  if (digest_length < kContainerDigestBytes) return 0;
  if (kContainerHeaderBytes + digest_length + payload_length > length) return 0;

  const uint8_t* stored_digest = image + kContainerHeaderBytes;
  const uint8_t* payload = stored_digest + digest_length;
  CryptBufferPtr digest(DigestHas160(payload, static_cast<uint32_t>(payload_length)));
  if (!digest || digest->length != kContainerDigestBytes) return 0;
  return std::memcmp(digest->data, stored_digest, kContainerDigestBytes) == 0 ? 1 : 0;
}

DWORD CSecureIniDocument::ClassifyBytes(const uint8_t* image, std::size_t length) {
  if (image == nullptr) return INI_FORMAT_NONE;
  if (LooksLikeHexText(image, length)) return INI_FORMAT_HEX;
  if (IsValidContainer(image, length)) return INI_FORMAT_CONTAINER;
  return INI_FORMAT_NONE;
}

}  // namespace qorlog
