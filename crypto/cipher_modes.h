// cipher_modes.h - the chaining modes ECB, CBC, CFB and OFB over a
// single-block primitive, as a state that can be continued across calls.
//
// CFB and OFB are the s-byte forms of FIPS 81 / SP 800-38A: each step
// enciphers the register and combines its first s (feedback) bytes with the
// data; the register is then shifted left by s bytes and takes in the s
// cipher-text bytes (CFB) or the s output bytes used (OFB). With s equal to
// the block size these are the ordinary full-block modes. A message that
// ends in the middle of a step uses the leading output bytes it needs, and
// the step continues with the next call.
//
// Thread rules: a state belongs to one call or one context.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/block_primitive.h"

namespace qorlog::crypto_internal {

struct ModeState {
  uint32_t mode = 0;
  size_t block_size = 0;
  size_t feedback = 0;
  uint8_t chain[16] = {};    // CBC: previous cipher block; CFB/OFB: register
  uint8_t output[16] = {};   // CFB/OFB: enciphered register of the step
  uint8_t incoming[16] = {}; // CFB/OFB: bytes to shift in at the step's end
  size_t position = 0;       // CFB/OFB: bytes of the step already used
};

// A fresh state; `iv` holds block_size bytes (ignored by ECB).
ModeState StartMode(uint32_t mode, size_t block_size, size_t feedback,
                    const uint8_t* iv);

// Processes `size` bytes; ECB and CBC need a multiple of the block size.
// `in` and `out` may be the same.
void EncryptWithMode(const BlockPrimitive& primitive, ModeState* state,
                     const uint8_t* in, uint8_t* out, size_t size);
void DecryptWithMode(const BlockPrimitive& primitive, ModeState* state,
                     const uint8_t* in, uint8_t* out, size_t size);

}  // namespace qorlog::crypto_internal
