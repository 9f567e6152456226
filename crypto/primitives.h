// primitives.h - the cryptographic primitives that the crypto module borrows
// from a library: single blocks of DES, Triple DES, AES and Blowfish, DES-CBC,
// RC4, SHA-1, SHA-256, RIPEMD-160, CRC-32 and wiping. Everything above
// (modes, padding, ids, SEED, HAS-160) is the module's own code.
//
// One implementation per system, chosen by the build: OpenSSL's libcrypto and
// zlib on Linux (primitives_openssl.cc), libgcrypt on Windows, where Debian
// offers neither OpenSSL nor zlib for mingw (primitives_gcrypt.cc). No other
// file of the module includes a library's header.
//
// Thread rules: the free functions are safe from any thread; an object is
// used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qorlog::crypto_internal {

// Zeroes `size` bytes in a way the compiler may not drop as a dead store.
void SecureWipe(void* p, size_t size);

enum class BlockAlgorithm { kDes, kTripleDes, kAes, kBlowfish };

class BlockCipher {
 public:
  // A cipher under `key`:
  //  - kDes: 8 bytes. Parity bits are ignored and weak keys accepted, as the
  //    DES string protection has always keyed it.
  //  - kTripleDes: 24 bytes K1 K2 K3, encrypt-decrypt-encrypt.
  //  - kAes: 16, 24 or 32 bytes.
  //  - kBlowfish: any length; only the first 72 bytes count, and an empty
  //    key is the one-byte key 00.
  // Null for a key length the algorithm does not take or a key the library
  // refuses. Throws std::bad_alloc.
  static std::unique_ptr<BlockCipher> Create(BlockAlgorithm algorithm, const uint8_t* key,
                                             size_t key_length);

  virtual ~BlockCipher() = default;
  virtual size_t block_size() const = 0;
  // One block in, one block out; `in` and `out` may be the same. A block
  // keeps no state between calls, so the calls are const.
  virtual void Encipher(const uint8_t* in, uint8_t* out) const = 0;
  virtual void Decipher(const uint8_t* in, uint8_t* out) const = 0;
};

// DES-CBC over whole blocks (`size` a multiple of 8) with the IV `iv`, keyed
// as BlockAlgorithm::kDes. `in` and `out` may be the same. False when the
// library fails.
bool DesCbc(const uint8_t key[8], const uint8_t iv[8], bool encrypt, const uint8_t* in,
            uint8_t* out, size_t size);

// RC4 under `key` (1 byte or more; bytes past the 256th add nothing) over
// `size` bytes; encryption and decryption are the same operation. False when
// the key is empty or the library fails.
bool Rc4(const uint8_t* key, size_t key_length, const uint8_t* in, uint8_t* out, size_t size);

enum class DigestAlgorithm { kSha1, kSha256, kRipemd160 };

class Digest {
 public:
  // A fresh computation; null when the library cannot set it up. Throws
  // std::bad_alloc.
  static std::unique_ptr<Digest> Create(DigestAlgorithm algorithm);
  // 20 for SHA-1 and RIPEMD-160, 32 for SHA-256.
  static size_t SizeOf(DigestAlgorithm algorithm);

  virtual ~Digest() = default;
  virtual bool Update(const uint8_t* bytes, size_t size) = 0;
  // Writes SizeOf() bytes; the computation is spent afterwards.
  virtual bool Final(uint8_t* digest) = 0;
  // An independent copy of the running state, or null.
  virtual std::unique_ptr<Digest> Clone() const = 0;
};

// The CRC-32 of zlib (reflected polynomial 0xEDB88320), continuing from `crc`
// (0 to start): Crc32(Crc32(0, a), b) is the CRC of a followed by b.
uint32_t Crc32(uint32_t crc, const uint8_t* bytes, size_t size);

}  // namespace qorlog::crypto_internal
