#include "evp_oracle.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>

namespace qorlog::testing {

namespace {

struct CtxDeleter {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct CipherDeleter {
  void operator()(EVP_CIPHER* c) const { EVP_CIPHER_free(c); }
};

// The default and legacy providers, loaded once for the test process and
// unloaded at its exit (the leak checker would report them otherwise).
class Providers {
 public:
  Providers()
      : default_(OSSL_PROVIDER_load(nullptr, "default")),
        legacy_(OSSL_PROVIDER_load(nullptr, "legacy")) {}
  ~Providers() {
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
  }
  bool ok() const { return default_ != nullptr; }

 private:
  OSSL_PROVIDER* default_;
  OSSL_PROVIDER* legacy_;
};

bool LoadProviders() {
  static Providers providers;
  return providers.ok();
}

}  // namespace

bool EvpCrypt(const std::string& name, const Bytes& key, const Bytes& iv,
              const Bytes& in, bool encrypt, Bytes* out) {
  if (!LoadProviders()) return false;
  std::unique_ptr<EVP_CIPHER, CipherDeleter> cipher(
      EVP_CIPHER_fetch(nullptr, name.c_str(), nullptr));
  if (!cipher) return false;
  std::unique_ptr<EVP_CIPHER_CTX, CtxDeleter> ctx(EVP_CIPHER_CTX_new());
  if (EVP_CipherInit_ex2(ctx.get(), cipher.get(), nullptr, nullptr, encrypt,
                         nullptr) != 1 ||
      EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) != 1 ||
      EVP_CipherInit_ex2(ctx.get(), nullptr, key.data(),
                         iv.empty() ? nullptr : iv.data(), encrypt, nullptr) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  out->assign(in.size() + 64, 0);
  int n1 = 0, n2 = 0;
  if (EVP_CipherUpdate(ctx.get(), out->data(), &n1, in.data(),
                       static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), out->data() + n1, &n2) != 1) {
    return false;
  }
  out->resize(n1 + n2);
  return true;
}

}  // namespace qorlog::testing
