#include "crypto/hash_engine.h"

#include <openssl/evp.h>

#include "crypto/cryptmod.h"
#include "crypto/has160.h"

namespace qorlog::crypto_internal {
namespace {

struct EvpCtxDeleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using EvpCtxPtr = std::unique_ptr<EVP_MD_CTX, EvpCtxDeleter>;

class EvpHashEngine : public HashEngine {
 public:
  EvpHashEngine(size_t digest_size, EvpCtxPtr ctx)
      : HashEngine(digest_size), ctx_(std::move(ctx)) {}

  bool Update(const uint8_t* bytes, size_t size) override {
    return size == 0 || EVP_DigestUpdate(ctx_.get(), bytes, size) == 1;
  }

  bool Final(uint8_t* digest) override {
    unsigned int written = 0;
    return EVP_DigestFinal_ex(ctx_.get(), digest, &written) == 1 &&
           written == digest_size();
  }

  std::unique_ptr<HashEngine> Clone() const override {
    EvpCtxPtr copy(EVP_MD_CTX_new());
    if (!copy || EVP_MD_CTX_copy_ex(copy.get(), ctx_.get()) != 1) {
      return nullptr;
    }
    return std::make_unique<EvpHashEngine>(digest_size(), std::move(copy));
  }

 private:
  EvpCtxPtr ctx_;
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

const EVP_MD* EvpDigestOf(uint32_t hash_id) {
  switch (hash_id) {
    case CRYPTMOD_HASH_SHA1:
      return EVP_sha1();
    case CRYPTMOD_HASH_SHA256:
      return EVP_sha256();
    case CRYPTMOD_HASH_RIPEMD160:
      // Served by the default provider since OpenSSL 3.0.7.
      return EVP_ripemd160();
    default:
      return nullptr;
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
  const EVP_MD* md = EvpDigestOf(hash_id);
  if (md == nullptr) return nullptr;
  EvpCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return nullptr;
  return std::make_unique<EvpHashEngine>(DigestSizeOf(hash_id),
                                         std::move(ctx));
}

}  // namespace qorlog::crypto_internal
