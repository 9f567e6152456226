#include "crypto/hash_engine.h"

#include "crypto/cryptmod.h"
#include "crypto/has160.h"
#include "crypto/primitives.h"

namespace qorlog::crypto_internal {
namespace {

// A digest of the borrowed primitives under a hash id.
class BorrowedEngine : public HashEngine {
 public:
  BorrowedEngine(size_t digest_size, std::unique_ptr<Digest> digest)
      : HashEngine(digest_size), digest_(std::move(digest)) {}

  bool Update(const uint8_t* bytes, size_t size) override {
    return digest_->Update(bytes, size);
  }
  bool Final(uint8_t* digest) override { return digest_->Final(digest); }
  std::unique_ptr<HashEngine> Clone() const override {
    std::unique_ptr<Digest> copy = digest_->Clone();
    if (!copy) return nullptr;
    return std::make_unique<BorrowedEngine>(digest_size(), std::move(copy));
  }

 private:
  std::unique_ptr<Digest> digest_;
};

class Has160Engine : public HashEngine {
 public:
  Has160Engine() : HashEngine(Has160::kDigestSize) {}

  bool Update(const uint8_t* bytes, size_t size) override {
    if (size != 0) state_.Update(bytes, size);
    return true;
  }

  bool Final(uint8_t* digest) override {
    state_.Final(digest);
    return true;
  }

  std::unique_ptr<HashEngine> Clone() const override {
    return std::make_unique<Has160Engine>(*this);
  }

 private:
  Has160 state_;
};

bool BorrowedAlgorithmOf(uint32_t hash_id, DigestAlgorithm* algorithm) {
  switch (hash_id) {
    case CRYPTMOD_HASH_SHA1:
      *algorithm = DigestAlgorithm::kSha1;
      return true;
    case CRYPTMOD_HASH_SHA256:
      *algorithm = DigestAlgorithm::kSha256;
      return true;
    case CRYPTMOD_HASH_RIPEMD160:
      *algorithm = DigestAlgorithm::kRipemd160;
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t DigestSizeOf(uint32_t hash_id) {
  switch (hash_id) {
    case CRYPTMOD_HASH_SHA1:
    case CRYPTMOD_HASH_HAS160:
    case CRYPTMOD_HASH_RIPEMD160:
      return 20;
    case CRYPTMOD_HASH_SHA256:
      return 32;
    default:
      return 0;
  }
}

std::unique_ptr<HashEngine> HashEngine::Create(uint32_t hash_id) {
  if (hash_id == CRYPTMOD_HASH_HAS160) return std::make_unique<Has160Engine>();
  DigestAlgorithm algorithm;
  if (!BorrowedAlgorithmOf(hash_id, &algorithm)) return nullptr;
  std::unique_ptr<Digest> digest = Digest::Create(algorithm);
  if (!digest) return nullptr;
  return std::make_unique<BorrowedEngine>(DigestSizeOf(hash_id), std::move(digest));
}

}  // namespace qorlog::crypto_internal
