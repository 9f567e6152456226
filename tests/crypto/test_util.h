// Helpers of the crypto tests: hex conversion, the known-answer files under
// vectors/, and a loop that fails every allocation of an operation in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crypto/cryptmod.h"
#include "crypto/primitives.h"

namespace qorlog::testing {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex);
std::string ToHex(const uint8_t* bytes, size_t size);
inline std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }
Bytes BytesOf(const std::string& text);
Bytes BytesOf(const CryptBuffer* buffer);
Bytes RandomBytes(size_t size, uint32_t seed);

// One line of a vector file: the quoted message (expanded when the line says
// "repeated N times") or the first field, then the remaining fields.
struct VectorLine {
  std::string message;
  std::vector<std::string> fields;
};
// Reads tests/crypto/vectors/<name>; fails the test when it is missing.
std::vector<VectorLine> ReadVectors(const std::string& name, bool quoted);

// Enciphers whole blocks one by one with a borrowed block cipher (no
// chaining, no padding): raw cipher text for tests of the layers above.
Bytes EcbEncipher(crypto_internal::BlockAlgorithm algorithm, const Bytes& key, const Bytes& in);

// A buffer object holding a copy of `bytes`.
CryptBufferPtr Wrap(const Bytes& bytes);
// One-shot encryption through the module; fails the test when it fails.
Bytes Encrypt(uint32_t alg, const Bytes& key, const Bytes& iv, const Bytes& plain, uint32_t mode, uint32_t feedback,
              uint32_t* status = nullptr);
// One-shot decryption through the module; null when it fails.
CryptBufferPtr Decrypt(uint32_t alg, const Bytes& key, const Bytes& iv, const Bytes& cipher, uint32_t mode,
                       uint32_t feedback, uint32_t* status = nullptr);

// Runs `operation` with the first, second, ... allocation of the module
// failing, until a run sees no injected failure. Returns the number of runs.
int ForEachAllocationFailure(const std::function<void()>& operation);

}  // namespace qorlog::testing
