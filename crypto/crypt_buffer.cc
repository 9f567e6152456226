// The CryptBuffer object and its constructors and releases.
#include <cstring>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "crypto/primitives.h"

namespace qorlog {
namespace {

using crypto_internal::CryptAllocZeroed;
using crypto_internal::CryptRelease;
using crypto_internal::SecureWipe;

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

void Report(uint32_t* status, uint32_t code) {
  if (status != nullptr) *status = code;
}

// A new object owning `size` zero bytes, or null.
CryptBuffer* NewWithStorage(uint64_t size) {
  auto* buffer =
      static_cast<CryptBuffer*>(CryptAllocZeroed(sizeof(CryptBuffer)));
  if (buffer == nullptr) return nullptr;
  buffer->data = static_cast<uint8_t*>(CryptAllocZeroed(size));
  if (buffer->data == nullptr) {
    CryptRelease(buffer);
    return nullptr;
  }
  buffer->length = 0;
  return buffer;
}

// Shared body of the two copying constructors.
CryptBuffer* CopyOf(const void* bytes, uint64_t size) {
  if (bytes == nullptr && size != 0) return nullptr;
  CryptBuffer* buffer = NewWithStorage(size);
  if (buffer == nullptr) return nullptr;
  if (size != 0) std::memcpy(buffer->data, bytes, size);
  buffer->length = static_cast<uint32_t>(size);
  return buffer;
}

}  // namespace

CryptBuffer* CryptBufferAlloc(uint64_t size, uint32_t* status) {
  if (size > kMax32) {
    Report(status, CRYPTMOD_E_TOO_LARGE);
    return nullptr;
  }
  CryptBuffer* buffer = NewWithStorage(size);
  Report(status, buffer != nullptr ? CRYPTMOD_OK : CRYPTMOD_E_ALLOC);
  return buffer;
}

CryptBuffer* CryptBufferFromBytes(const void* bytes, uint64_t size,
                                  uint32_t* status) {
  if (size > kMax32) {
    Report(status, CRYPTMOD_E_TOO_LARGE);
    return nullptr;
  }
  CryptBuffer* buffer = CopyOf(bytes, size);
  Report(status, buffer != nullptr ? CRYPTMOD_OK : CRYPTMOD_E_ALLOC_COPY);
  return buffer;
}

CryptBuffer* CryptBufferAllocNonEmpty(uint64_t size, uint32_t* status) {
  if (size > kMax32) {
    Report(status, CRYPTMOD_E_TOO_LARGE);
    return nullptr;
  }
  CryptBuffer* buffer = size == 0 ? nullptr : NewWithStorage(size);
  Report(status, buffer != nullptr ? CRYPTMOD_OK : CRYPTMOD_E_ALLOC_NONEMPTY);
  return buffer;
}

CryptBuffer* CryptBufferFromBytesNonEmpty(const void* bytes, uint64_t size,
                                          uint32_t* status) {
  if (size > kMax32) {
    Report(status, CRYPTMOD_E_TOO_LARGE);
    return nullptr;
  }
  CryptBuffer* buffer = size == 0 ? nullptr : CopyOf(bytes, size);
  Report(status, buffer != nullptr ? CRYPTMOD_OK : CRYPTMOD_E_COPY_NONEMPTY);
  return buffer;
}

CryptBuffer* CryptBufferNew() {
  auto* buffer =
      static_cast<CryptBuffer*>(CryptAllocZeroed(sizeof(CryptBuffer)));
  if (buffer != nullptr) {
    buffer->data = nullptr;
    buffer->length = 0;
  }
  return buffer;
}

void CryptBufferFree(CryptBuffer* buffer) {
  if (buffer == nullptr) return;
  if (buffer->data != nullptr && buffer->length != 0) {
    SecureWipe(buffer->data, buffer->length);
  }
  CryptRelease(buffer->data);
  CryptRelease(buffer);
}

void CryptBufferFreeNoWipe(CryptBuffer* buffer) {
  if (buffer == nullptr) return;
  CryptRelease(buffer->data);
  CryptRelease(buffer);
}

uint32_t CryptCheckSize32(uint64_t size, uint32_t* status) {
  if (size > kMax32) {
    Report(status, CRYPTMOD_E_TOO_LARGE);
    return 0;
  }
  Report(status, CRYPTMOD_OK);
  return static_cast<uint32_t>(size);
}

void CryptMemFree(void* data) { CryptRelease(data); }

}  // namespace qorlog
