// The primitives on libgcrypt (the Windows build; Debian's mingw packages
// have libgcrypt but neither OpenSSL nor zlib).
//
// libgcrypt is linked statically into the library, so its one-time set-up
// below configures a private copy that no other code of the process shares.
//
// Where libgcrypt's rules differ from what the module promises, this file
// bridges them:
//  - Weak DES keys: setkey answers GPG_ERR_WEAK_KEY. With
//    GCRYCTL_SET_ALLOW_WEAK_KEY on the handle the key is still installed and
//    enciphering works, so that answer counts as success.
//  - Blowfish takes keys of 1 to 72 bytes only: an empty key is given as the
//    byte 00 and a longer key is cut, which is what OpenSSL does with them.
//  - ARCFOUR refuses keys shorter than 5 bytes. Its key schedule reads key
//    byte i mod length for i = 0..255, so the key repeated to 256 bytes gives
//    the same schedule for every length.
//  - The CRC-32 of libgcrypt always starts from the initial register, but the
//    module's CRC continues from a caller's value; that one is computed here.
#include <gcrypt.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "crypto/primitives.h"

namespace qorlog::crypto_internal {
namespace {

// libgcrypt must be initialised once before any other call. Secure memory is
// not used (no handle asks for it), so it is switched off.
bool InitGcrypt() {
  static const bool ok = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  return ok;
}

struct CipherDeleter {
  void operator()(gcry_cipher_hd_t handle) const { gcry_cipher_close(handle); }
};
using CipherHandle = std::unique_ptr<std::remove_pointer_t<gcry_cipher_hd_t>, CipherDeleter>;

// A handle of `algo` in `mode` under `key`; null when libgcrypt refuses.
CipherHandle OpenCipher(int algo, int mode, const uint8_t* key, size_t key_length) {
  if (!InitGcrypt()) return nullptr;
  gcry_cipher_hd_t raw = nullptr;
  if (gcry_cipher_open(&raw, algo, mode, 0) != 0) return nullptr;
  CipherHandle handle(raw);
  gcry_cipher_ctl(handle.get(), GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
  const gcry_error_t err = gcry_cipher_setkey(handle.get(), key, key_length);
  if (err != 0 && gcry_err_code(err) != GPG_ERR_WEAK_KEY) return nullptr;
  return handle;
}

class GcryptBlockCipher : public BlockCipher {
 public:
  GcryptBlockCipher(CipherHandle handle, size_t block_size)
      : handle_(std::move(handle)), block_size_(block_size) {}

  size_t block_size() const override { return block_size_; }
  // An ECB handle carries nothing from one block to the next; the calls take
  // it as non-const only because the library's signature does.
  void Encipher(const uint8_t* in, uint8_t* out) const override {
    gcry_cipher_encrypt(handle_.get(), out, block_size_, in, block_size_);
  }
  void Decipher(const uint8_t* in, uint8_t* out) const override {
    gcry_cipher_decrypt(handle_.get(), out, block_size_, in, block_size_);
  }

 private:
  CipherHandle handle_;
  size_t block_size_;
};

std::unique_ptr<BlockCipher> MakeBlockCipher(int algo, size_t block_size, const uint8_t* key,
                                             size_t key_length) {
  CipherHandle handle = OpenCipher(algo, GCRY_CIPHER_MODE_ECB, key, key_length);
  if (!handle) return nullptr;
  return std::make_unique<GcryptBlockCipher>(std::move(handle), block_size);
}

struct DigestDeleter {
  void operator()(gcry_md_hd_t handle) const { gcry_md_close(handle); }
};
using DigestHandle = std::unique_ptr<std::remove_pointer_t<gcry_md_hd_t>, DigestDeleter>;

class GcryptDigest : public Digest {
 public:
  GcryptDigest(int algo, size_t size, DigestHandle handle)
      : algo_(algo), size_(size), handle_(std::move(handle)) {}

  bool Update(const uint8_t* bytes, size_t size) override {
    if (size != 0) gcry_md_write(handle_.get(), bytes, size);
    return true;
  }
  bool Final(uint8_t* digest) override {
    const unsigned char* result = gcry_md_read(handle_.get(), algo_);
    if (result == nullptr) return false;
    std::memcpy(digest, result, size_);
    return true;
  }
  std::unique_ptr<Digest> Clone() const override {
    gcry_md_hd_t copy = nullptr;
    if (gcry_md_copy(&copy, handle_.get()) != 0) return nullptr;
    return std::make_unique<GcryptDigest>(algo_, size_, DigestHandle(copy));
  }

 private:
  int algo_;
  size_t size_;
  DigestHandle handle_;
};

int GcryptDigestOf(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kSha1:
      return GCRY_MD_SHA1;
    case DigestAlgorithm::kSha256:
      return GCRY_MD_SHA256;
    case DigestAlgorithm::kRipemd160:
      return GCRY_MD_RMD160;
  }
  return GCRY_MD_NONE;
}

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

void SecureWipe(void* p, size_t size) {
  if (p == nullptr) return;
  std::memset(p, 0, size);
  // Tells the compiler that the zeroed memory is read, so the memset above is
  // not removed as a store to memory about to be freed.
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

std::unique_ptr<BlockCipher> BlockCipher::Create(BlockAlgorithm algorithm, const uint8_t* key,
                                                 size_t key_length) {
  if (key == nullptr && key_length != 0) return nullptr;
  switch (algorithm) {
    case BlockAlgorithm::kDes:
      if (key_length != 8) return nullptr;
      return MakeBlockCipher(GCRY_CIPHER_DES, 8, key, key_length);
    case BlockAlgorithm::kTripleDes:
      if (key_length != 24) return nullptr;
      return MakeBlockCipher(GCRY_CIPHER_3DES, 8, key, key_length);
    case BlockAlgorithm::kAes: {
      const int algo = key_length == 16   ? GCRY_CIPHER_AES128
                       : key_length == 24 ? GCRY_CIPHER_AES192
                       : key_length == 32 ? GCRY_CIPHER_AES256
                                          : 0;
      if (algo == 0) return nullptr;
      return MakeBlockCipher(algo, 16, key, key_length);
    }
    case BlockAlgorithm::kBlowfish: {
      static constexpr uint8_t kZero = 0;
      if (key_length == 0) return MakeBlockCipher(GCRY_CIPHER_BLOWFISH, 8, &kZero, 1);
      return MakeBlockCipher(GCRY_CIPHER_BLOWFISH, 8, key, std::min<size_t>(key_length, 72));
    }
  }
  return nullptr;
}

bool DesCbc(const uint8_t key[8], const uint8_t iv[8], bool encrypt, const uint8_t* in,
            uint8_t* out, size_t size) {
  if (size % 8 != 0) return false;
  CipherHandle handle = OpenCipher(GCRY_CIPHER_DES, GCRY_CIPHER_MODE_CBC, key, 8);
  if (!handle || gcry_cipher_setiv(handle.get(), iv, 8) != 0) return false;
  if (size == 0) return true;
  const gcry_error_t err = encrypt ? gcry_cipher_encrypt(handle.get(), out, size, in, size)
                                   : gcry_cipher_decrypt(handle.get(), out, size, in, size);
  return err == 0;
}

bool Rc4(const uint8_t* key, size_t key_length, const uint8_t* in, uint8_t* out, size_t size) {
  if (key == nullptr || key_length == 0) return false;
  uint8_t expanded[256];
  for (size_t i = 0; i < sizeof(expanded); ++i) expanded[i] = key[i % key_length];
  CipherHandle handle =
      OpenCipher(GCRY_CIPHER_ARCFOUR, GCRY_CIPHER_MODE_STREAM, expanded, sizeof(expanded));
  SecureWipe(expanded, sizeof(expanded));
  if (!handle) return false;
  return size == 0 || gcry_cipher_encrypt(handle.get(), out, size, in, size) == 0;
}

size_t Digest::SizeOf(DigestAlgorithm algorithm) {
  return algorithm == DigestAlgorithm::kSha256 ? 32 : 20;
}

std::unique_ptr<Digest> Digest::Create(DigestAlgorithm algorithm) {
  if (!InitGcrypt()) return nullptr;
  const int algo = GcryptDigestOf(algorithm);
  gcry_md_hd_t raw = nullptr;
  if (gcry_md_open(&raw, algo, 0) != 0) return nullptr;
  return std::make_unique<GcryptDigest>(algo, SizeOf(algorithm), DigestHandle(raw));
}

uint32_t Crc32(uint32_t crc, const uint8_t* bytes, size_t size) {
  uint32_t c = ~crc;
  for (size_t i = 0; i < size; ++i) c = kCrcTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  return ~c;
}

}  // namespace qorlog::crypto_internal
