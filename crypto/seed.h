// seed.h - the SEED block cipher (RFC 4269): 128-bit blocks, 128-bit keys,
// 16 Feistel rounds; blocks are big-endian words as the standard defines.
//
// Thread rules: a key schedule is immutable after construction and may be
// shared between threads.
#pragma once

#include <cstdint>

namespace qorlog::crypto_internal {

class SeedKeySchedule {
 public:
  static constexpr int kBlockSize = 16;
  static constexpr int kKeySize = 16;

  explicit SeedKeySchedule(const uint8_t key[kKeySize]);
  ~SeedKeySchedule();
  SeedKeySchedule(const SeedKeySchedule&) = delete;
  SeedKeySchedule& operator=(const SeedKeySchedule&) = delete;

  void EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;
  void DecryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;

 private:
  uint32_t round_keys_[32];
};

}  // namespace qorlog::crypto_internal
