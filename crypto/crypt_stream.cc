// RC4 stream encryption and decryption (the same operation both ways).
#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "crypto/primitives.h"

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
  if (!crypto_internal::Rc4(key->data, key->length, static_cast<const uint8_t*>(bytes), out,
                            static_cast<size_t>(size))) {
    crypto_internal::CryptRelease(out);
    return failure;
  }
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
