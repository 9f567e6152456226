// The primitives on OpenSSL's libcrypto and zlib (the Linux build).
//
// The single-block calls (DES_ecb3_encrypt, AES_encrypt, BF_ecb_encrypt), the
// DES calls of the string protection (DES_set_key_unchecked, DES_ncbc_encrypt)
// and RC4 are deprecated in OpenSSL 3 in favour of EVP, but EVP serves
// Blowfish, RC4 and single DES only through the legacy provider and has no
// notion of one block under a prepared schedule. The digests use EVP, whose
// default provider serves RIPEMD-160 since OpenSSL 3.0.7.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <openssl/aes.h>
#include <openssl/blowfish.h>
#include <openssl/crypto.h>
#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/rc4.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "crypto/primitives.h"

namespace qorlog::crypto_internal {
namespace {

// DES_set_key_unchecked: no parity check, no weak-key check.
void DesSchedule(const uint8_t key[8], DES_key_schedule* schedule) {
  DES_cblock block;
  std::memcpy(block, key, 8);
  DES_set_key_unchecked(&block, schedule);
  OPENSSL_cleanse(block, sizeof(block));
}

class Des : public BlockCipher {
 public:
  explicit Des(const uint8_t* key) { DesSchedule(key, &schedule_); }
  ~Des() override { OPENSSL_cleanse(&schedule_, sizeof(schedule_)); }

  size_t block_size() const override { return 8; }
  void Encipher(const uint8_t* in, uint8_t* out) const override { Run(in, out, DES_ENCRYPT); }
  void Decipher(const uint8_t* in, uint8_t* out) const override { Run(in, out, DES_DECRYPT); }

 private:
  void Run(const uint8_t* in, uint8_t* out, int direction) const {
    DES_cblock input, output;
    std::memcpy(input, in, 8);
    // The schedule is only read; the call takes it as non-const.
    DES_ecb_encrypt(&input, &output, const_cast<DES_key_schedule*>(&schedule_), direction);
    std::memcpy(out, output, 8);
  }

  DES_key_schedule schedule_;
};

class TripleDes : public BlockCipher {
 public:
  explicit TripleDes(const uint8_t* key) {
    for (int i = 0; i < 3; ++i) DesSchedule(key + 8 * i, &schedules_[i]);
  }
  ~TripleDes() override { OPENSSL_cleanse(schedules_, sizeof(schedules_)); }

  size_t block_size() const override { return 8; }
  void Encipher(const uint8_t* in, uint8_t* out) const override { Run(in, out, DES_ENCRYPT); }
  void Decipher(const uint8_t* in, uint8_t* out) const override { Run(in, out, DES_DECRYPT); }

 private:
  void Run(const uint8_t* in, uint8_t* out, int direction) const {
    DES_cblock input, output;
    std::memcpy(input, in, 8);
    // The schedules are only read; the call takes them as non-const.
    auto* s = const_cast<DES_key_schedule*>(schedules_);
    DES_ecb3_encrypt(&input, &output, &s[0], &s[1], &s[2], direction);
    std::memcpy(out, output, 8);
  }

  DES_key_schedule schedules_[3];
};

class Aes : public BlockCipher {
 public:
  // Each direction needs its own schedule in OpenSSL; both are made here.
  static std::unique_ptr<BlockCipher> Make(const uint8_t* key, size_t key_length) {
    auto aes = std::make_unique<Aes>();
    const int bits = static_cast<int>(key_length * 8);
    if (AES_set_encrypt_key(key, bits, &aes->encrypt_) != 0 ||
        AES_set_decrypt_key(key, bits, &aes->decrypt_) != 0) {
      return nullptr;
    }
    return aes;
  }
  ~Aes() override {
    OPENSSL_cleanse(&encrypt_, sizeof(encrypt_));
    OPENSSL_cleanse(&decrypt_, sizeof(decrypt_));
  }

  size_t block_size() const override { return 16; }
  void Encipher(const uint8_t* in, uint8_t* out) const override { AES_encrypt(in, out, &encrypt_); }
  void Decipher(const uint8_t* in, uint8_t* out) const override { AES_decrypt(in, out, &decrypt_); }

 private:
  AES_KEY encrypt_;
  AES_KEY decrypt_;
};

class Blowfish : public BlockCipher {
 public:
  Blowfish(const uint8_t* key, size_t key_length) {
    // BF_set_key reads the first byte even of an empty key; an empty key is
    // given as the byte 00 explicitly, which is what it then reads.
    static constexpr uint8_t kZero = 0;
    if (key_length == 0) {
      BF_set_key(&schedule_, 1, &kZero);
    } else {
      BF_set_key(&schedule_, static_cast<int>(std::min<size_t>(key_length, 72)), key);
    }
  }
  ~Blowfish() override { OPENSSL_cleanse(&schedule_, sizeof(schedule_)); }

  size_t block_size() const override { return 8; }
  void Encipher(const uint8_t* in, uint8_t* out) const override {
    BF_ecb_encrypt(in, out, &schedule_, BF_ENCRYPT);
  }
  void Decipher(const uint8_t* in, uint8_t* out) const override {
    BF_ecb_encrypt(in, out, &schedule_, BF_DECRYPT);
  }

 private:
  BF_KEY schedule_;
};

struct EvpCtxDeleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using EvpCtxPtr = std::unique_ptr<EVP_MD_CTX, EvpCtxDeleter>;

class EvpDigest : public Digest {
 public:
  EvpDigest(size_t size, EvpCtxPtr ctx) : size_(size), ctx_(std::move(ctx)) {}

  bool Update(const uint8_t* bytes, size_t size) override {
    return size == 0 || EVP_DigestUpdate(ctx_.get(), bytes, size) == 1;
  }
  bool Final(uint8_t* digest) override {
    unsigned int written = 0;
    return EVP_DigestFinal_ex(ctx_.get(), digest, &written) == 1 && written == size_;
  }
  std::unique_ptr<Digest> Clone() const override {
    EvpCtxPtr copy(EVP_MD_CTX_new());
    if (!copy || EVP_MD_CTX_copy_ex(copy.get(), ctx_.get()) != 1) return nullptr;
    return std::make_unique<EvpDigest>(size_, std::move(copy));
  }

 private:
  size_t size_;
  EvpCtxPtr ctx_;
};

const EVP_MD* EvpDigestOf(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kSha1:
      return EVP_sha1();
    case DigestAlgorithm::kSha256:
      return EVP_sha256();
    case DigestAlgorithm::kRipemd160:
      return EVP_ripemd160();
  }
  return nullptr;
}

}  // namespace

void SecureWipe(void* p, size_t size) {
  if (p != nullptr) OPENSSL_cleanse(p, size);
}

std::unique_ptr<BlockCipher> BlockCipher::Create(BlockAlgorithm algorithm, const uint8_t* key,
                                                 size_t key_length) {
  if (key == nullptr && key_length != 0) return nullptr;
  switch (algorithm) {
    case BlockAlgorithm::kDes:
      return key_length == 8 ? std::make_unique<Des>(key) : nullptr;
    case BlockAlgorithm::kTripleDes:
      return key_length == 24 ? std::make_unique<TripleDes>(key) : nullptr;
    case BlockAlgorithm::kAes:
      if (key_length != 16 && key_length != 24 && key_length != 32) return nullptr;
      return Aes::Make(key, key_length);
    case BlockAlgorithm::kBlowfish:
      return std::make_unique<Blowfish>(key, key_length);
  }
  return nullptr;
}

bool DesCbc(const uint8_t key[8], const uint8_t iv[8], bool encrypt, const uint8_t* in,
            uint8_t* out, size_t size) {
  if (size % 8 != 0) return false;
  DES_key_schedule schedule;
  DesSchedule(key, &schedule);
  DES_cblock chain;
  std::memcpy(chain, iv, 8);
  DES_ncbc_encrypt(in, out, static_cast<long>(size), &schedule, &chain,
                   encrypt ? DES_ENCRYPT : DES_DECRYPT);
  OPENSSL_cleanse(&schedule, sizeof(schedule));
  return true;
}

bool Rc4(const uint8_t* key, size_t key_length, const uint8_t* in, uint8_t* out, size_t size) {
  if (key == nullptr || key_length == 0) return false;
  RC4_KEY schedule;
  // The key schedule reads key bytes 0..255 cyclically; longer keys add
  // nothing, and the length must fit an int.
  RC4_set_key(&schedule, static_cast<int>(std::min<size_t>(key_length, 256)), key);
  if (size != 0) RC4(&schedule, size, in, out);
  OPENSSL_cleanse(&schedule, sizeof(schedule));
  return true;
}

size_t Digest::SizeOf(DigestAlgorithm algorithm) {
  return algorithm == DigestAlgorithm::kSha256 ? 32 : 20;
}

std::unique_ptr<Digest> Digest::Create(DigestAlgorithm algorithm) {
  const EVP_MD* md = EvpDigestOf(algorithm);
  if (md == nullptr) return nullptr;
  EvpCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return nullptr;
  return std::make_unique<EvpDigest>(SizeOf(algorithm), std::move(ctx));
}

uint32_t Crc32(uint32_t crc, const uint8_t* bytes, size_t size) {
  return static_cast<uint32_t>(crc32_z(crc, bytes, size));
}

}  // namespace qorlog::crypto_internal
