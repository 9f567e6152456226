// Helpers of the crypto tests: hex conversion, the known-answer files under
// vectors/, OpenSSL's EVP ciphers as an independent oracle, and a loop that
// fails every allocation of an operation in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crypto/cryptmod.h"

namespace qorlog::testing {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex);
std::string ToHex(const uint8_t* bytes, size_t size);
inline std::string ToHex(const Bytes& bytes) {
  return ToHex(bytes.data(), bytes.size());
}
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

// Encrypts or decrypts with an EVP cipher by name ("AES-128-CBC", ...),
// without padding; the legacy provider is loaded on demand for names that
// need it. Returns false when the cipher is not available.
bool EvpCrypt(const std::string& name, const Bytes& key, const Bytes& iv,
              const Bytes& in, bool encrypt, Bytes* out);

// PKCS#7-pads to a multiple of `block`.
Bytes Pad(const Bytes& plain, size_t block);

// Runs `operation` with the first, second, ... allocation of the module
// failing, until a run sees no injected failure. Returns the number of runs.
int ForEachAllocationFailure(const std::function<void()>& operation);

}  // namespace qorlog::testing
