#include "crypto/cipher_modes.h"

#include <cstring>

#include "crypto/cryptmod.h"
#include "crypto/primitives.h"

namespace qorlog::crypto_internal {
namespace {

// The CFB and OFB step, byte by byte, for either direction.
void RunFeedback(const BlockPrimitive& primitive, ModeState* s, bool decrypt,
                 const uint8_t* in, uint8_t* out, size_t size) {
  const size_t b = s->block_size;
  const size_t f = s->feedback;
  for (size_t i = 0; i < size; ++i) {
    if (s->position == 0) primitive.Encipher(s->chain, s->output);
    uint8_t key_byte = s->output[s->position];
    uint8_t data = in[i];
    uint8_t result = data ^ key_byte;
    if (s->mode == CRYPTMOD_MODE_CFB) {
      s->incoming[s->position] = decrypt ? data : result;
    } else {
      s->incoming[s->position] = key_byte;
    }
    out[i] = result;
    if (++s->position == f) {
      std::memmove(s->chain, s->chain + f, b - f);
      std::memcpy(s->chain + (b - f), s->incoming, f);
      s->position = 0;
    }
  }
}

}  // namespace

ModeState StartMode(uint32_t mode, size_t block_size, size_t feedback,
                    const uint8_t* iv) {
  ModeState s;
  s.mode = mode;
  s.block_size = block_size;
  s.feedback = feedback;
  if (mode != CRYPTMOD_MODE_ECB) std::memcpy(s.chain, iv, block_size);
  return s;
}

void EncryptWithMode(const BlockPrimitive& primitive, ModeState* s,
                     const uint8_t* in, uint8_t* out, size_t size) {
  const size_t b = s->block_size;
  switch (s->mode) {
    case CRYPTMOD_MODE_ECB:
      for (size_t i = 0; i + b <= size; i += b) primitive.Encipher(in + i, out + i);
      break;
    case CRYPTMOD_MODE_CBC:
      for (size_t i = 0; i + b <= size; i += b) {
        uint8_t block[16];
        for (size_t k = 0; k < b; ++k) block[k] = in[i + k] ^ s->chain[k];
        primitive.Encipher(block, out + i);
        std::memcpy(s->chain, out + i, b);
      }
      break;
    default:
      RunFeedback(primitive, s, false, in, out, size);
      break;
  }
}

void DecryptWithMode(const BlockPrimitive& primitive, ModeState* s,
                     const uint8_t* in, uint8_t* out, size_t size) {
  const size_t b = s->block_size;
  switch (s->mode) {
    case CRYPTMOD_MODE_ECB:
      for (size_t i = 0; i + b <= size; i += b) primitive.Decipher(in + i, out + i);
      break;
    case CRYPTMOD_MODE_CBC:
      for (size_t i = 0; i + b <= size; i += b) {
        uint8_t cipher[16], plain[16];
        std::memcpy(cipher, in + i, b);
        primitive.Decipher(cipher, plain);
        for (size_t k = 0; k < b; ++k) out[i + k] = plain[k] ^ s->chain[k];
        std::memcpy(s->chain, cipher, b);
        SecureWipe(plain, sizeof(plain));
      }
      break;
    default:
      RunFeedback(primitive, s, true, in, out, size);
      break;
  }
}

}  // namespace qorlog::crypto_internal
