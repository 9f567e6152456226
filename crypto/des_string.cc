// DES string protection: DES-CBC byte operations with their own padding, the
// hex codec, and the text operations built on them. The key schedule ignores
// parity bits and accepts weak keys (primitives.h), as the settings hex-text
// format was made with.
#include <cstring>
#include <new>
#include <string>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "crypto/narrow_text.h"
#include "crypto/primitives.h"

namespace qorlog {
namespace {

using crypto_internal::CryptAllocZeroed;
using crypto_internal::CryptRelease;
using crypto_internal::DesCbc;
using crypto_internal::NarrowToWide;
using crypto_internal::SecureWipe;
using crypto_internal::WideToNarrow;

void Set(DES_STATUS* status, DES_STATUS value) {
  if (status != nullptr) *status = value;
}

void SetSize(uint32_t* out, uint32_t value) {
  if (out != nullptr) *out = value;
}

constexpr uint8_t kZeroIv[8] = {};

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// The first 8 UTF-8 bytes of a key string, zero-extended.
void KeyBytes(std::u16string_view key, uint8_t out[8]) {
  std::string narrow = WideToNarrow(key);
  std::memset(out, 0, 8);
  std::memcpy(out, narrow.data(), narrow.size() < 8 ? narrow.size() : 8);
  SecureWipe(narrow.data(), narrow.size());
}

}  // namespace

uint8_t* DesCbcEncryptBuffer(uint32_t* out_size, const uint8_t* plain,
                             uint32_t plain_length, const uint8_t key[8],
                             DES_STATUS* status) {
  Set(status, kDesStatusOk);
  SetSize(out_size, 0);
  // The next multiple of 8 strictly above the length: 1 to 8 pad bytes.
  // Computed in 64 bits: near 4 GiB the 32-bit sum would wrap around.
  const uint64_t size = (uint64_t{plain_length} + 8) & ~uint64_t{7};
  if (size > 0xFFFFFFFFull || (plain == nullptr && plain_length != 0)) {
    Set(status, kDesStatusNoMemory);
    return nullptr;
  }
  const auto pad = static_cast<uint8_t>(size - plain_length);
  auto* work = static_cast<uint8_t*>(CryptAllocZeroed(size));
  auto* result = static_cast<uint8_t*>(CryptAllocZeroed(size));
  if (work == nullptr || result == nullptr) {
    CryptRelease(work);
    CryptRelease(result);
    Set(status, kDesStatusNoMemory);
    return nullptr;
  }
  if (plain_length != 0) std::memcpy(work, plain, plain_length);
  std::memset(work + plain_length, pad, pad);
  const bool ok = DesCbc(key, kZeroIv, true, work, result, size);
  SecureWipe(work, size);
  CryptRelease(work);
  if (!ok) {
    CryptRelease(result);
    Set(status, kDesStatusNoMemory);
    return nullptr;
  }
  SetSize(out_size, static_cast<uint32_t>(size));
  return result;
}

uint8_t* DesCbcDecryptBuffer(uint32_t* out_length, const uint8_t* cipher,
                             uint32_t cipher_length, const uint8_t key[8],
                             DES_STATUS* status) {
  Set(status, kDesStatusOk);
  SetSize(out_length, 0);
  if (cipher_length % 8 != 0) {
    Set(status, kDesStatusBadLength);
    return nullptr;
  }
  // No cipher text, no pad count.
  if (cipher_length == 0 || cipher == nullptr) {
    Set(status, kDesStatusBadPadding);
    return nullptr;
  }
  auto* plain =
      static_cast<uint8_t*>(CryptAllocZeroed(uint64_t{cipher_length} + 1));
  if (plain == nullptr) {
    Set(status, kDesStatusNoMemory);
    return nullptr;
  }
  if (!DesCbc(key, kZeroIv, false, cipher, plain, cipher_length)) {
    CryptRelease(plain);
    Set(status, kDesStatusNoMemory);
    return nullptr;
  }
  // Pad counts 0 to 8 are accepted and the pad bytes are not examined: that
  // is what the files in the field were written and read with.
  const uint8_t pad = plain[cipher_length - 1];
  if (pad > 8) {
    SecureWipe(plain, cipher_length);
    CryptRelease(plain);
    Set(status, kDesStatusBadPadding);
    return nullptr;
  }
  const uint32_t length = cipher_length - pad;
  plain[length] = 0;
  SetSize(out_length, length);
  return plain;
}

void FreeDesBuffer(uint8_t* buffer) { CryptRelease(buffer); }

bool HexStringToBytes(std::u16string_view text, std::vector<uint8_t>* bytes) {
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexValue(text[i]);
    if (high < 0 || i + 1 >= text.size()) return false;
    int low = HexValue(text[i + 1]);
    if (low < 0) return false;
    bytes->push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

void BytesToHexString(const uint8_t* bytes, size_t count, std::u16string* text) {
  if (bytes == nullptr || count == 0) return;
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string hex(2 * count, u'0');
  for (size_t i = 0; i < count; ++i) {
    hex[2 * i] = kDigits[bytes[i] >> 4];
    hex[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  *text = std::move(hex);
}

bool DesEncryptStringToHex(std::u16string_view plain, std::u16string* hex,
                           std::u16string_view key) {
  try {
    std::string narrow = WideToNarrow(plain);
    uint8_t key_bytes[8];
    KeyBytes(key, key_bytes);
    if (narrow.size() > 0xFFFFFFFFu) return false;
    uint32_t size = 0;
    DES_STATUS status = kDesStatusOk;
    uint8_t* cipher = DesCbcEncryptBuffer(
        &size, reinterpret_cast<const uint8_t*>(narrow.data()),
        static_cast<uint32_t>(narrow.size()), key_bytes, &status);
    SecureWipe(key_bytes, sizeof(key_bytes));
    SecureWipe(narrow.data(), narrow.size());
    if (cipher == nullptr) return false;
    std::u16string text;
    try {
      BytesToHexString(cipher, size, &text);
    } catch (...) {
      FreeDesBuffer(cipher);
      throw;
    }
    FreeDesBuffer(cipher);
    *hex = std::move(text);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool DesDecryptHexToString(std::u16string_view hex, std::u16string* plain,
                           std::u16string_view key) {
  if (hex.size() % 2 != 0) return false;
  try {
    std::vector<uint8_t> cipher;
    if (!HexStringToBytes(hex, &cipher)) return false;
    if (cipher.size() > 0xFFFFFFFFu) return false;
    uint8_t key_bytes[8];
    KeyBytes(key, key_bytes);
    uint32_t length = 0;
    DES_STATUS status = kDesStatusOk;
    uint8_t* bytes = DesCbcDecryptBuffer(
        &length, cipher.data(), static_cast<uint32_t>(cipher.size()),
        key_bytes, &status);
    SecureWipe(key_bytes, sizeof(key_bytes));
    if (bytes == nullptr) return false;
    // The text ends at the first zero byte (at the latest the one written
    // after the plain bytes).
    std::u16string text;
    try {
      text = NarrowToWide(reinterpret_cast<const char*>(bytes));
    } catch (...) {
      SecureWipe(bytes, length);
      FreeDesBuffer(bytes);
      throw;
    }
    SecureWipe(bytes, length);
    FreeDesBuffer(bytes);
    *plain = std::move(text);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace qorlog
