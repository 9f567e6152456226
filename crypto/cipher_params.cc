#include "crypto/cipher_params.h"

#include <algorithm>
#include <cstring>

#include "crypto/block_primitive.h"
#include "crypto/crypt_alloc.h"
#include "crypto/primitives.h"

namespace qorlog::crypto_internal {

CipherParams::~CipherParams() {
  // The key copy is wiped although nothing reads freed memory: it costs
  // nothing and keeps key bytes out of the heap.
  if (key != nullptr) SecureWipe(key, static_cast<size_t>(keyLength) + 1);
  CryptRelease(key);
}

bool SetUpCipherParams(uint32_t algorithm, const CryptBuffer* key,
                       const CryptBuffer* iv, uint32_t mode, uint32_t feedback,
                       CipherParams* params, uint32_t* status) {
  auto fail = [status] {
    if (status != nullptr) *status = CRYPTMOD_E_CIPHER_SETUP;
    return false;
  };
  params->algorithm = algorithm;
  params->mode = mode;
  params->feedback = feedback;
  params->reserved = 0;

  size_t block_size = BlockSizeOf(algorithm);
  if (block_size == 0 || key == nullptr) return fail();
  size_t key_bytes = key->data != nullptr ? key->length : 0;
  size_t key_length = algorithm == CRYPTMOD_ALG_BLOWFISH
                          ? key_bytes
                          : FixedKeyLengthOf(algorithm);
  // Blowfish keys beyond 72 bytes have no effect, so a longer key object is
  // cut here rather than copied whole.
  if (algorithm == CRYPTMOD_ALG_BLOWFISH) {
    key_length = std::min<size_t>(key_length, 72);
  }

  auto* copy = static_cast<uint8_t*>(CryptAllocZeroed(key_length + 1));
  if (copy == nullptr) return fail();
  if (key_bytes != 0) std::memcpy(copy, key->data, std::min(key_bytes, key_length));
  params->key = copy;
  params->keyLength = static_cast<int32_t>(key_length);

  bool uses_iv = mode == CRYPTMOD_MODE_CBC || mode == CRYPTMOD_MODE_CFB ||
                 mode == CRYPTMOD_MODE_OFB;
  if (uses_iv) {
    if (iv == nullptr) return fail();
    std::memset(params->iv, 0, sizeof(params->iv));
    size_t iv_bytes = iv->data != nullptr ? iv->length : 0;
    if (iv_bytes != 0) {
      std::memcpy(params->iv, iv->data, std::min(iv_bytes, block_size));
    }
  }
  return true;
}

bool IsUsableMode(uint32_t mode, uint32_t feedback, size_t block_size) {
  switch (mode) {
    case CRYPTMOD_MODE_CBC:
    case CRYPTMOD_MODE_ECB:
      return true;
    case CRYPTMOD_MODE_CFB:
    case CRYPTMOD_MODE_OFB:
      return feedback >= 1 && feedback <= block_size;
    default:
      return false;
  }
}

}  // namespace qorlog::crypto_internal
