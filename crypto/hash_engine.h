// hash_engine.h - one digest computation selected by hash id: SHA-1,
// SHA-256 and RIPEMD-160 from the borrowed primitives (primitives.h),
// HAS-160 from the module's own code.
//
// Thread rules: an engine is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qorlog::crypto_internal {

// The digest size of a hash id, or 0 for an unknown id.
size_t DigestSizeOf(uint32_t hash_id);

class HashEngine {
 public:
  // A fresh engine for a known id; null for an unknown id or when the
  // engine cannot be set up. Throws std::bad_alloc.
  static std::unique_ptr<HashEngine> Create(uint32_t hash_id);

  virtual ~HashEngine() = default;
  size_t digest_size() const { return digest_size_; }

  virtual bool Update(const uint8_t* bytes, size_t size) = 0;
  // Writes digest_size() bytes; the engine is spent afterwards.
  virtual bool Final(uint8_t* digest) = 0;
  // An independent copy of the running state, or null.
  virtual std::unique_ptr<HashEngine> Clone() const = 0;

 protected:
  explicit HashEngine(size_t digest_size) : digest_size_(digest_size) {}

 private:
  size_t digest_size_;
};

}  // namespace qorlog::crypto_internal
