#include "crypto/has160.h"

#include <cstring>

namespace qorlog::crypto_internal {
namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
         uint32_t{p[3]} << 24;
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Rotation of the first chaining word, by step within a round.
constexpr int kShiftA[20] = {5, 11, 7, 15, 6, 13, 8,  14, 7,  12,
                             9, 11, 8, 15, 6, 12, 9, 14, 5, 13};
// Rotation of the second chaining word, by round.
constexpr int kShiftB[4] = {10, 17, 25, 30};
constexpr uint32_t kRoundConstant[4] = {0x00000000, 0x5A827999, 0x6ED9EBA1,
                                        0x8F1BBCDC};

// Message word taken by each step of each round; 16 to 19 are the round's
// extra words.
constexpr int kWordOrder[4][20] = {
    {18, 0, 1, 2, 3, 19, 4, 5, 6, 7, 16, 8, 9, 10, 11, 17, 12, 13, 14, 15},
    {18, 3, 6, 9, 12, 19, 15, 2, 5, 8, 16, 11, 14, 1, 4, 17, 7, 10, 13, 0},
    {18, 12, 5, 14, 7, 19, 0, 9, 2, 11, 16, 4, 13, 6, 15, 17, 8, 1, 10, 3},
    {18, 7, 2, 13, 8, 19, 3, 14, 9, 4, 16, 15, 10, 5, 0, 17, 11, 6, 1, 12},
};

// The four block words XORed into each extra word 16..19 of each round.
constexpr int kExtraWords[4][4][4] = {
    {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15}},
    {{3, 6, 9, 12}, {15, 2, 5, 8}, {11, 14, 1, 4}, {7, 10, 13, 0}},
    {{12, 5, 14, 7}, {0, 9, 2, 11}, {4, 13, 6, 15}, {8, 1, 10, 3}},
    {{7, 2, 13, 8}, {3, 14, 9, 4}, {15, 10, 5, 0}, {11, 6, 1, 12}},
};

inline uint32_t RoundFunction(int round, uint32_t x, uint32_t y, uint32_t z) {
  switch (round) {
    case 0:
      return (x & y) | (~x & z);
    case 2:
      return y ^ (x | ~z);
    default:  // rounds 1 and 3 (counting from 0)
      return x ^ y ^ z;
  }
}

}  // namespace

void Has160::Reset() {
  chain_[0] = 0x67452301;
  chain_[1] = 0xEFCDAB89;
  chain_[2] = 0x98BADCFE;
  chain_[3] = 0x10325476;
  chain_[4] = 0xC3D2E1F0;
  bit_length_ = 0;
  pending_size_ = 0;
  std::memset(pending_, 0, sizeof(pending_));
}

void Has160::Compress(const uint8_t block[kBlockSize]) {
  uint32_t x[20];
  for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);
  uint32_t a = chain_[0], b = chain_[1], c = chain_[2], d = chain_[3],
           e = chain_[4];
  for (int round = 0; round < 4; ++round) {
    for (int k = 0; k < 4; ++k) {
      const int* w = kExtraWords[round][k];
      x[16 + k] = x[w[0]] ^ x[w[1]] ^ x[w[2]] ^ x[w[3]];
    }
    for (int step = 0; step < 20; ++step) {
      uint32_t t = Rotl(a, kShiftA[step]) + RoundFunction(round, b, c, d) + e +
                   x[kWordOrder[round][step]] + kRoundConstant[round];
      e = d;
      d = c;
      c = Rotl(b, kShiftB[round]);
      b = a;
      a = t;
    }
  }
  chain_[0] += a;
  chain_[1] += b;
  chain_[2] += c;
  chain_[3] += d;
  chain_[4] += e;
}

void Has160::Update(const uint8_t* bytes, size_t size) {
  bit_length_ += static_cast<uint64_t>(size) << 3;
  if (pending_size_ != 0) {
    size_t take = kBlockSize - pending_size_;
    if (take > size) take = size;
    std::memcpy(pending_ + pending_size_, bytes, take);
    pending_size_ += take;
    bytes += take;
    size -= take;
    if (pending_size_ < kBlockSize) return;
    Compress(pending_);
    pending_size_ = 0;
  }
  for (; size >= kBlockSize; bytes += kBlockSize, size -= kBlockSize) {
    Compress(bytes);
  }
  if (size != 0) std::memcpy(pending_, bytes, size);
  pending_size_ = size;
}

void Has160::Final(uint8_t digest[kDigestSize]) {
  // MD-style padding: 0x80, zeros, then the bit length little-endian.
  uint64_t bits = bit_length_;
  pending_[pending_size_++] = 0x80;
  if (pending_size_ > kBlockSize - 8) {
    std::memset(pending_ + pending_size_, 0, kBlockSize - pending_size_);
    Compress(pending_);
    pending_size_ = 0;
  }
  std::memset(pending_ + pending_size_, 0, kBlockSize - 8 - pending_size_);
  StoreLe32(pending_ + 56, static_cast<uint32_t>(bits));
  StoreLe32(pending_ + 60, static_cast<uint32_t>(bits >> 32));
  Compress(pending_);
  for (int i = 0; i < 5; ++i) StoreLe32(digest + 4 * i, chain_[i]);
  std::memset(pending_, 0, sizeof(pending_));
  pending_size_ = 0;
}

}  // namespace qorlog::crypto_internal
