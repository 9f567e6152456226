// block_primitive.h - single-block encryption and decryption for each block
// cipher id: Triple DES, Blowfish and AES from the borrowed primitives
// (primitives.h), SEED from the module's own code. The chaining modes are
// built on top of this.
//
// Thread rules: a primitive is immutable after creation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qorlog::crypto_internal {

class BlockPrimitive {
 public:
  // A primitive for a block cipher id (2, 3, 8, 9, 10, 11, 12) with a key of
  // the algorithm's length (any length for Blowfish), serving both
  // directions; null for another id or an unusable key. Throws
  // std::bad_alloc.
  static std::unique_ptr<BlockPrimitive> Create(uint32_t algorithm, const uint8_t* key,
                                                size_t key_length);

  virtual ~BlockPrimitive() = default;
  virtual size_t block_size() const = 0;
  // One block in, one block out; `in` and `out` may be the same.
  virtual void Encipher(const uint8_t* in, uint8_t* out) const = 0;
  virtual void Decipher(const uint8_t* in, uint8_t* out) const = 0;
};

// Block size of a block cipher id, or 0 when the id is not one.
size_t BlockSizeOf(uint32_t algorithm);
// Key length of a block cipher id with a fixed key (0 for Blowfish and
// unknown ids).
size_t FixedKeyLengthOf(uint32_t algorithm);

}  // namespace qorlog::crypto_internal
