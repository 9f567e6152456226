// cipher_params.h - the parameter block of one cipher call (algorithm, mode,
// feedback size, IV and a key copy of the algorithm's key length), and its
// set-up from key and IV objects.
//
// Thread rules: a parameter block belongs to one call or one context.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/cryptmod.h"

namespace qorlog::crypto_internal {

struct CipherParams {
  CipherParams() = default;
  ~CipherParams();
  CipherParams(const CipherParams&) = delete;
  CipherParams& operator=(const CipherParams&) = delete;

  uint32_t algorithm = 0;
  uint32_t mode = 0;
  uint32_t feedback = 0;  // read by modes 3 and 4 only
  uint32_t reserved = 0;
  uint8_t iv[16] = {};    // modes 1, 3 and 4; mode 2 neither fills nor reads it
  uint8_t* key = nullptr; // keyLength + 1 zero-filled bytes, owned
  int32_t keyLength = 0;
};

// Fills `params` for a block cipher id: the key copy holds the first
// min(key length, algorithm's key length) bytes of `key` (zero-extended);
// in modes 1, 3 and 4 the IV holds the first min(iv length, block size)
// bytes of `iv` (zero-extended). An unknown algorithm (the stream cipher
// included), a missing key object, a missing IV object in modes 1, 3 and 4,
// or lack of memory write CRYPTMOD_E_CIPHER_SETUP to `status` and return
// false. Success writes no status.
bool SetUpCipherParams(uint32_t algorithm, const CryptBuffer* key,
                       const CryptBuffer* iv, uint32_t mode, uint32_t feedback,
                       CipherParams* params, uint32_t* status);

// True for modes 1 to 4 with, in modes 3 and 4, a feedback size of 1 to the
// block size.
bool IsUsableMode(uint32_t mode, uint32_t feedback, size_t block_size);

}  // namespace qorlog::crypto_internal
