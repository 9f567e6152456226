// RC4 stream encryption and decryption (the same operation both ways).
// OpenSSL's RC4 is deprecated in OpenSSL 3 and through EVP only offered by the
// legacy provider; the low-level call works without it, so this file uses it.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <openssl/crypto.h>
#include <openssl/rc4.h>

#include <algorithm>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"

namespace qorlog {
namespace {

using crypto_internal::CryptAllocZeroed;

uint32_t RunRc4(uint32_t failure, uint32_t algorithm, const CryptBuffer* key,
                const void* bytes, uint64_t size, uint8_t** out_data,
                uint32_t* out_length) {
  if (algorithm != CRYPTMOD_ALG_RC4 || key == nullptr || key->data == nullptr ||
      key->length == 0 || (bytes == nullptr && size != 0) ||
      size > 0xFFFFFFFFull || out_data == nullptr || out_length == nullptr) {
    return failure;
  }
  auto* out = static_cast<uint8_t*>(CryptAllocZeroed(size));
  if (out == nullptr) return failure;
  RC4_KEY schedule;
  // The key schedule reads key bytes 0..255 cyclically; longer keys add
  // nothing, and the length must fit an int.
  RC4_set_key(&schedule, static_cast<int>(std::min<uint32_t>(key->length, 256)),
              key->data);
  if (size != 0) {
    RC4(&schedule, size, static_cast<const unsigned char*>(bytes), out);
  }
  OPENSSL_cleanse(&schedule, sizeof(schedule));
  *out_data = out;
  *out_length = static_cast<uint32_t>(size);
  return CRYPTMOD_OK;
}

}  // namespace

uint32_t CryptStreamEncrypt(uint32_t algorithm, const CryptBuffer* key,
                            const void* bytes, uint64_t size,
                            uint8_t** out_data, uint32_t* out_length) {
  return RunRc4(CRYPTMOD_E_STREAM_ENCRYPT, algorithm, key, bytes, size,
                out_data, out_length);
}

uint32_t CryptStreamDecrypt(uint32_t algorithm, const CryptBuffer* key,
                            const void* bytes, uint64_t size,
                            uint8_t** out_data, uint32_t* out_length) {
  return RunRc4(CRYPTMOD_E_STREAM_DECRYPT, algorithm, key, bytes, size,
                out_data, out_length);
}

}  // namespace qorlog
