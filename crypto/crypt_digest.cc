// Digests by hash id: one-shot on buffers and byte ranges, the HAS-160
// service, the incremental form and the CRC-32.
#include <cstring>
#include <memory>
#include <new>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "crypto/hash_engine.h"
#include "crypto/primitives.h"

namespace qorlog {

using crypto_internal::CryptAllocZeroed;
using crypto_internal::CryptRelease;
using crypto_internal::DigestSizeOf;
using crypto_internal::HashEngine;

struct CryptHashContext {
  uint32_t hash_id;
  std::unique_ptr<HashEngine> engine;
};

namespace {

void Report(uint32_t* status, uint32_t code) {
  if (status != nullptr) *status = code;
}

std::unique_ptr<HashEngine> CreateEngine(uint32_t hash_id) {
  try {
    return HashEngine::Create(hash_id);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

CryptBuffer* CryptDigest(uint32_t hash_id, const CryptBuffer* input,
                         uint32_t* status) {
  if (input == nullptr || input->data == nullptr) {
    Report(status, CRYPTMOD_E_DIGEST);
    return nullptr;
  }
  size_t size = DigestSizeOf(hash_id);
  if (size == 0) {
    Report(status, CRYPTMOD_E_DIGEST);
    return nullptr;
  }
  CryptBufferPtr result(CryptBufferAlloc(size, nullptr));
  std::unique_ptr<HashEngine> engine = CreateEngine(hash_id);
  if (!result || !engine || !engine->Update(input->data, input->length) ||
      !engine->Final(result->data)) {
    Report(status, CRYPTMOD_E_DIGEST);
    return nullptr;
  }
  result->length = static_cast<uint32_t>(size);
  Report(status, CRYPTMOD_OK);
  return result.release();
}

uint32_t CryptDigestBytes(uint32_t hash_id, const void* bytes, uint64_t size,
                          uint8_t** out_data, uint32_t* out_length) {
  if (out_data == nullptr || out_length == nullptr) return CRYPTMOD_E_DIGEST;
  CryptBufferPtr input(CryptBufferFromBytes(bytes, size, nullptr));
  if (!input) return CRYPTMOD_E_DIGEST;
  uint32_t status = CRYPTMOD_E_DIGEST;
  CryptBuffer* digest = CryptDigest(hash_id, input.get(), &status);
  if (digest == nullptr) return status;
  *out_data = digest->data;
  *out_length = digest->length;
  CryptRelease(digest);  // only the shell; the storage now is the caller's
  return CRYPTMOD_OK;
}

CryptBuffer* DigestHas160(const void* bytes, uint32_t length) {
  CryptBufferPtr input(CryptBufferFromBytes(bytes, length, nullptr));
  if (!input) return nullptr;
  return CryptDigest(CRYPTMOD_HASH_HAS160, input.get(), nullptr);
}

uint32_t CryptHashInit(uint32_t hash_id, CryptHashContext** out_context) {
  if (out_context == nullptr) return CRYPTMOD_E_HASH_INIT;
  try {
    auto context = std::make_unique<CryptHashContext>();
    context->hash_id = hash_id;
    context->engine = HashEngine::Create(hash_id);
    if (!context->engine) return CRYPTMOD_E_HASH_INIT;
    *out_context = context.release();
    return CRYPTMOD_OK;
  } catch (const std::bad_alloc&) {
    return CRYPTMOD_E_HASH_INIT;
  }
}

uint32_t CryptHashUpdate(CryptHashContext* context, const void* bytes,
                         uint64_t size) {
  if (context == nullptr || !context->engine) return CRYPTMOD_E_HASH_UPDATE;
  CryptBufferPtr input(CryptBufferFromBytes(bytes, size, nullptr));
  if (!input) return CRYPTMOD_E_ALLOC_COPY;
  // Absorb into a copy first, so that a failure leaves the context as it was.
  std::unique_ptr<HashEngine> next;
  try {
    next = context->engine->Clone();
  } catch (const std::bad_alloc&) {
  }
  if (!next || !next->Update(input->data, input->length)) {
    return CRYPTMOD_E_HASH_UPDATE;
  }
  context->engine = std::move(next);
  return CRYPTMOD_OK;
}

uint32_t CryptHashFinal(CryptHashContext* context, uint8_t** out_data,
                        uint32_t* out_length) {
  if (context == nullptr || !context->engine || out_data == nullptr ||
      out_length == nullptr) {
    return CRYPTMOD_E_HASH_FINAL;
  }
  size_t size = context->engine->digest_size();
  std::unique_ptr<HashEngine> last;
  try {
    last = context->engine->Clone();
  } catch (const std::bad_alloc&) {
  }
  auto* digest = static_cast<uint8_t*>(CryptAllocZeroed(size));
  if (!last || digest == nullptr || !last->Final(digest)) {
    CryptRelease(digest);
    return CRYPTMOD_E_HASH_FINAL;
  }
  *out_data = digest;
  *out_length = static_cast<uint32_t>(size);
  CryptHashFree(context);
  return CRYPTMOD_OK;
}

void CryptHashFree(CryptHashContext* context) {
  std::unique_ptr<CryptHashContext> owned(context);
}

uint32_t CryptCrc32(uint32_t crc, const void* bytes, uint64_t size) {
  // zlib's convention: no bytes give the start value 0; size 0 gives `crc`.
  if (bytes == nullptr) return 0;
  return crypto_internal::Crc32(crc, static_cast<const uint8_t*>(bytes),
                                static_cast<size_t>(size));
}

}  // namespace qorlog
