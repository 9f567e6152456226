// The password cipher of the settings container: SEED-ECB with PKCS#7
// padding under a key made of the password's first 16 bytes.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "crypto/cryptmod.h"
#include "crypto/narrow_text.h"

namespace qorlog {
namespace {

using crypto_internal::WideToNarrow;

// The IV handed to the cipher. ECB neither copies nor reads it, so its value
// never shows in a result; it is built at run time all the same.
void MakeConstantIv(uint8_t iv[16]) {
  for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(0xA5 ^ (i * 0x1B));
}

using CipherCall = CryptBuffer* (*)(uint32_t, const CryptBuffer*,
                                    const CryptBuffer*, const CryptBuffer*,
                                    uint32_t, uint32_t, uint32_t*);

CryptBuffer* RunWithPassword(CipherCall call, const void* data,
                             uint32_t length, const char* password) {
  if (password == nullptr) return nullptr;
  uint8_t iv_bytes[16];
  MakeConstantIv(iv_bytes);
  CryptBufferPtr iv(CryptBufferFromBytes(iv_bytes, sizeof(iv_bytes), nullptr));
  if (!iv) return nullptr;
  // The key material is the password without its terminating zero; the
  // cipher set-up cuts or zero-extends it to 16 bytes. An empty password is
  // refused here.
  CryptBufferPtr key(CryptBufferFromBytesNonEmpty(
      password, std::strlen(password), nullptr));
  if (!key) return nullptr;
  CryptBufferPtr input(CryptBufferFromBytes(data, length, nullptr));
  if (!input) return nullptr;
  return call(CRYPTMOD_ALG_SEED, key.get(), iv.get(), input.get(),
              CRYPTMOD_MODE_ECB, 8, nullptr);
}

}  // namespace

CryptBuffer* PasswordEncrypt(const void* data, uint32_t length,
                             const char* password) {
  return RunWithPassword(CryptEncryptBuffer, data, length, password);
}

CryptBuffer* PasswordDecrypt(const void* cipher, uint32_t length,
                             const char* password) {
  return RunWithPassword(CryptDecryptBuffer, cipher, length, password);
}

CryptBuffer* PasswordEncryptTextW(uint32_t tag, const char16_t* text,
                                  const char16_t* password) {
  if (tag != kPasswordCipherTag || text == nullptr || password == nullptr) {
    return nullptr;
  }
  try {
    std::string narrow_text = WideToNarrow(text);
    std::string narrow_password = WideToNarrow(password);
    if (narrow_text.size() > 0xFFFFFFFFu) return nullptr;
    CryptBuffer* result =
        PasswordEncrypt(narrow_text.data(),
                        static_cast<uint32_t>(narrow_text.size()),
                        narrow_password.c_str());
    std::fill(narrow_text.begin(), narrow_text.end(), '\0');
    return result;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CryptBuffer* PasswordDecryptW(uint32_t tag, const void* cipher,
                              uint32_t length, const char16_t* password) {
  if (tag != kPasswordCipherTag || password == nullptr) return nullptr;
  try {
    std::string narrow_password = WideToNarrow(password);
    return PasswordDecrypt(cipher, length, narrow_password.c_str());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace qorlog
