#include "crypto/block_primitive.h"

#include <cstring>

#include "crypto/cryptmod.h"
#include "crypto/primitives.h"
#include "crypto/seed.h"

namespace qorlog::crypto_internal {
namespace {

// A cipher of the borrowed primitives under a cipher id.
class Borrowed : public BlockPrimitive {
 public:
  explicit Borrowed(std::unique_ptr<BlockCipher> cipher) : cipher_(std::move(cipher)) {}

  size_t block_size() const override { return cipher_->block_size(); }
  void Encipher(const uint8_t* in, uint8_t* out) const override { cipher_->Encipher(in, out); }
  void Decipher(const uint8_t* in, uint8_t* out) const override { cipher_->Decipher(in, out); }

 private:
  std::unique_ptr<BlockCipher> cipher_;
};

std::unique_ptr<BlockPrimitive> Borrow(BlockAlgorithm algorithm, const uint8_t* key,
                                       size_t key_length) {
  std::unique_ptr<BlockCipher> cipher = BlockCipher::Create(algorithm, key, key_length);
  if (!cipher) return nullptr;
  return std::make_unique<Borrowed>(std::move(cipher));
}

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
                                                       size_t key_length) {
  if (key == nullptr) return nullptr;
  size_t fixed = FixedKeyLengthOf(algorithm);
  if (fixed != 0 && key_length != fixed) return nullptr;
  switch (algorithm) {
    case CRYPTMOD_ALG_DES_EDE2: {
      // The two-key form is the three-key form with K3 = K1.
      uint8_t keys[24];
      std::memcpy(keys, key, 16);
      std::memcpy(keys + 16, key, 8);
      auto primitive = Borrow(BlockAlgorithm::kTripleDes, keys, sizeof(keys));
      SecureWipe(keys, sizeof(keys));
      return primitive;
    }
    case CRYPTMOD_ALG_DES_EDE3:
      return Borrow(BlockAlgorithm::kTripleDes, key, key_length);
    case CRYPTMOD_ALG_BLOWFISH:
      return Borrow(BlockAlgorithm::kBlowfish, key, key_length);
    case CRYPTMOD_ALG_SEED:
      return std::make_unique<Seed>(key);
    case CRYPTMOD_ALG_AES128:
    case CRYPTMOD_ALG_AES192:
    case CRYPTMOD_ALG_AES256:
      return Borrow(BlockAlgorithm::kAes, key, key_length);
    default:
      return nullptr;
  }
}

}  // namespace qorlog::crypto_internal
