#include "test_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "crypto/crypt_alloc.h"

namespace qorlog::testing {

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
  return out;
}

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes BytesOf(const CryptBuffer* buffer) {
  if (buffer == nullptr) return {};
  return Bytes(buffer->data, buffer->data + buffer->length);
}

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

std::vector<VectorLine> ReadVectors(const std::string& name, bool quoted) {
  std::ifstream in(std::string(QORLOG_CRYPTO_VECTORS) + "/" + name);
  EXPECT_TRUE(in.is_open()) << name;
  std::vector<VectorLine> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    VectorLine v;
    std::string rest = line;
    if (quoted) {
      size_t close = line.find('"', 1);
      v.message = line.substr(1, close - 1);
      rest = line.substr(close + 1);
    }
    std::istringstream fields(rest);
    for (std::string field; fields >> field;) v.fields.push_back(field);
    if (quoted && v.fields.size() > 3 && v.fields[0] == "repeated") {  // "repeated 1,000 times"
      std::string count = v.fields[1];
      std::erase(count, ',');
      const std::string one = v.message;
      for (long n = std::stol(count); n > 1; --n) v.message += one;
      v.fields.erase(v.fields.begin(), v.fields.begin() + 3);
    }
    lines.push_back(v);
  }
  return lines;
}

Bytes EcbEncipher(crypto_internal::BlockAlgorithm algorithm, const Bytes& key, const Bytes& in) {
  auto cipher = crypto_internal::BlockCipher::Create(algorithm, key.data(), key.size());
  EXPECT_TRUE(cipher);
  if (!cipher) return {};
  Bytes out(in.size());
  const size_t b = cipher->block_size();
  for (size_t i = 0; i + b <= in.size(); i += b) cipher->Encipher(in.data() + i, out.data() + i);
  return out;
}

int ForEachAllocationFailure(const std::function<void()>& operation) {
  int run = 0;
  for (;; ++run) {
    crypto_internal::FailAllocationAfter(run);
    operation();
    // A failure still pending means the operation made no more than `run`
    // allocations: every failure point has been visited.
    bool visited_all = crypto_internal::AllocationFailurePending();
    crypto_internal::FailAllocationAfter(-1);
    if (visited_all) break;
    if (run > 1000) break;
  }
  return run + 1;
}

CryptBufferPtr Wrap(const Bytes& bytes) {
  return CryptBufferPtr(CryptBufferFromBytes(bytes.data(), bytes.size(), nullptr));
}

Bytes Encrypt(uint32_t alg, const Bytes& key, const Bytes& iv, const Bytes& plain, uint32_t mode, uint32_t feedback,
              uint32_t* status) {
  auto k = Wrap(key), v = Wrap(iv), in = Wrap(plain);
  CryptBufferPtr out(CryptEncryptBuffer(alg, k.get(), v.get(), in.get(), mode, feedback, status));
  EXPECT_TRUE(out) << "alg " << alg << " mode " << mode;
  return BytesOf(out.get());
}

CryptBufferPtr Decrypt(uint32_t alg, const Bytes& key, const Bytes& iv, const Bytes& cipher, uint32_t mode,
                       uint32_t feedback, uint32_t* status) {
  auto k = Wrap(key), v = Wrap(iv), in = Wrap(cipher);
  return CryptBufferPtr(CryptDecryptBuffer(alg, k.get(), v.get(), in.get(), mode, feedback, status));
}

}  // namespace qorlog::testing
