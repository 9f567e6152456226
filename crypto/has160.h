// has160.h - the HAS-160 digest (Korean TTA standard TTAS.KO-12.0011/R1):
// 64-byte blocks, 80 steps, little-endian words, 20-byte digest.
//
// Thread rules: an object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qorlog::crypto_internal {

class Has160 {
 public:
  static constexpr size_t kDigestSize = 20;
  static constexpr size_t kBlockSize = 64;

  Has160() { Reset(); }

  void Reset();
  void Update(const uint8_t* bytes, size_t size);
  // Pads, writes the 20-byte digest and leaves the object to be Reset.
  void Final(uint8_t digest[kDigestSize]);

 private:
  void Compress(const uint8_t block[kBlockSize]);

  uint32_t chain_[5];
  uint64_t bit_length_;
  uint8_t pending_[kBlockSize];
  size_t pending_size_;
};

}  // namespace qorlog::crypto_internal
