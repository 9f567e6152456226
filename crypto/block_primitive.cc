// The low-level single-block calls of OpenSSL are deprecated in OpenSSL 3 in
// favour of EVP, but EVP offers Blowfish only through the legacy provider and
// has no notion of one block under a prepared schedule. This file alone uses
// them.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "crypto/block_primitive.h"

#include <openssl/aes.h>
#include <openssl/blowfish.h>
#include <openssl/crypto.h>
#include <openssl/des.h>

#include <cstring>

#include "crypto/cryptmod.h"
#include "crypto/seed.h"

namespace qorlog::crypto_internal {
namespace {

class TripleDes : public BlockPrimitive {
 public:
  // key holds K1 K2 (two-key form, K3 = K1) or K1 K2 K3.
  TripleDes(const uint8_t* key, bool three_keys) {
    DES_cblock block;
    for (int i = 0; i < 3; ++i) {
      int source = (i == 2 && !three_keys) ? 0 : i;
      std::memcpy(block, key + 8 * source, 8);
      DES_set_key_unchecked(&block, &schedules_[i]);
    }
    OPENSSL_cleanse(block, sizeof(block));
  }
  ~TripleDes() override { OPENSSL_cleanse(schedules_, sizeof(schedules_)); }

  size_t block_size() const override { return 8; }
  void Encipher(const uint8_t* in, uint8_t* out) const override {
    Run(in, out, DES_ENCRYPT);
  }
  void Decipher(const uint8_t* in, uint8_t* out) const override {
    Run(in, out, DES_DECRYPT);
  }

 private:
  void Run(const uint8_t* in, uint8_t* out, int direction) const {
    DES_cblock input, output;
    std::memcpy(input, in, 8);
    DES_ecb3_encrypt(&input, &output, const_cast<DES_key_schedule*>(&schedules_[0]),
                     const_cast<DES_key_schedule*>(&schedules_[1]),
                     const_cast<DES_key_schedule*>(&schedules_[2]), direction);
    std::memcpy(out, output, 8);
  }

  DES_key_schedule schedules_[3];
};

class Blowfish : public BlockPrimitive {
 public:
  // BF_set_key reads at least one key byte even for an empty key; the key
  // copy of the parameter block always has one byte more than its length.
  Blowfish(const uint8_t* key, size_t key_length) {
    BF_set_key(&schedule_, static_cast<int>(key_length), key);
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

class Aes : public BlockPrimitive {
 public:
  Aes(const uint8_t* key, size_t key_length, Use use) : use_(use) {
    int bits = static_cast<int>(key_length * 8);
    ok_ = (use == Use::kEncipher ? AES_set_encrypt_key(key, bits, &schedule_)
                                 : AES_set_decrypt_key(key, bits, &schedule_)) == 0;
  }
  ~Aes() override { OPENSSL_cleanse(&schedule_, sizeof(schedule_)); }

  bool ok() const { return ok_; }
  size_t block_size() const override { return 16; }
  // Each schedule serves one direction only; the modes ask for the right one.
  void Encipher(const uint8_t* in, uint8_t* out) const override {
    if (use_ == Use::kEncipher) AES_encrypt(in, out, &schedule_);
  }
  void Decipher(const uint8_t* in, uint8_t* out) const override {
    if (use_ == Use::kDecipher) AES_decrypt(in, out, &schedule_);
  }

 private:
  AES_KEY schedule_;
  Use use_;
  bool ok_ = false;
};

class Seed : public BlockPrimitive {
 public:
  explicit Seed(const uint8_t* key) : schedule_(key) {}

  size_t block_size() const override { return 16; }
  void Encipher(const uint8_t* in, uint8_t* out) const override {
    schedule_.EncryptBlock(in, out);
  }
  void Decipher(const uint8_t* in, uint8_t* out) const override {
    schedule_.DecryptBlock(in, out);
  }

 private:
  SeedKeySchedule schedule_;
};

}  // namespace

size_t BlockSizeOf(uint32_t algorithm) {
  switch (algorithm) {
    case CRYPTMOD_ALG_DES_EDE2:
    case CRYPTMOD_ALG_DES_EDE3:
    case CRYPTMOD_ALG_BLOWFISH:
      return 8;
    case CRYPTMOD_ALG_SEED:
    case CRYPTMOD_ALG_AES128:
    case CRYPTMOD_ALG_AES192:
    case CRYPTMOD_ALG_AES256:
      return 16;
    default:
      return 0;
  }
}

size_t FixedKeyLengthOf(uint32_t algorithm) {
  switch (algorithm) {
    case CRYPTMOD_ALG_DES_EDE2:
    case CRYPTMOD_ALG_SEED:
    case CRYPTMOD_ALG_AES128:
      return 16;
    case CRYPTMOD_ALG_DES_EDE3:
    case CRYPTMOD_ALG_AES192:
      return 24;
    case CRYPTMOD_ALG_AES256:
      return 32;
    default:
      return 0;
  }
}

std::unique_ptr<BlockPrimitive> BlockPrimitive::Create(uint32_t algorithm,
                                                       const uint8_t* key,
                                                       size_t key_length,
                                                       Use use) {
  if (key == nullptr) return nullptr;
  size_t fixed = FixedKeyLengthOf(algorithm);
  if (fixed != 0 && key_length != fixed) return nullptr;
  switch (algorithm) {
    case CRYPTMOD_ALG_DES_EDE2:
      return std::make_unique<TripleDes>(key, false);
    case CRYPTMOD_ALG_DES_EDE3:
      return std::make_unique<TripleDes>(key, true);
    case CRYPTMOD_ALG_BLOWFISH:
      if (key_length > 0x7FFFFFFF) return nullptr;
      return std::make_unique<Blowfish>(key, key_length);
    case CRYPTMOD_ALG_SEED:
      return std::make_unique<Seed>(key);
    case CRYPTMOD_ALG_AES128:
    case CRYPTMOD_ALG_AES192:
    case CRYPTMOD_ALG_AES256: {
      auto aes = std::make_unique<Aes>(key, key_length, use);
      if (!aes->ok()) return nullptr;
      return aes;
    }
    default:
      return nullptr;
  }
}

}  // namespace qorlog::crypto_internal
