// The growable byte string with concatenation, comparison and a hex dump.
#include <cstring>

#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "crypto/primitives.h"

namespace qorlog {

using crypto_internal::CryptReallocate;
using crypto_internal::CryptRelease;
using crypto_internal::SecureWipe;

void CryptByteStringInit(CryptByteString* string) {
  string->bytes = nullptr;
  string->length = 0;
  string->capacity = 0;
}

void CryptByteStringRelease(CryptByteString* string) {
  if (string->bytes != nullptr) SecureWipe(string->bytes, string->capacity);
  CryptRelease(string->bytes);
  CryptByteStringInit(string);
}

uint32_t CryptByteStringReserve(CryptByteString* string, uint64_t capacity) {
  if (capacity > 0xFFFFFFFFull) return CRYPTMOD_E_TOO_LARGE;
  if (capacity <= string->capacity) return CRYPTMOD_OK;
  auto* grown = static_cast<uint8_t*>(CryptReallocate(string->bytes, capacity));
  if (grown == nullptr) return CRYPTMOD_E_ALLOC;
  std::memset(grown + string->capacity, 0, capacity - string->capacity);
  string->bytes = grown;
  string->capacity = static_cast<uint32_t>(capacity);
  return CRYPTMOD_OK;
}

uint32_t CryptByteStringAppend(CryptByteString* string, const void* bytes,
                               uint64_t size) {
  if (size == 0) return CRYPTMOD_OK;
  if (bytes == nullptr) return CRYPTMOD_E_ALLOC;
  // The bytes may lie inside the string itself; growing may move them.
  const auto* source = static_cast<const uint8_t*>(bytes);
  bool inside = string->bytes != nullptr && source >= string->bytes &&
                source < string->bytes + string->capacity;
  size_t offset = inside ? static_cast<size_t>(source - string->bytes) : 0;
  uint32_t status = CryptByteStringReserve(string, string->length + size);
  if (status != CRYPTMOD_OK) return status;
  if (inside) source = string->bytes + offset;
  std::memmove(string->bytes + string->length, source, size);
  string->length += static_cast<uint32_t>(size);
  return CRYPTMOD_OK;
}

uint32_t CryptByteStringConcat(CryptByteString* string,
                               const CryptByteString* tail) {
  if (tail == nullptr || tail->length == 0) return CRYPTMOD_OK;
  return CryptByteStringAppend(string, tail->bytes, tail->length);
}

int CryptByteStringCompare(const CryptByteString* a, const CryptByteString* b) {
  if (a->length != b->length) return -1;
  if (a->length == 0) return 0;
  return std::memcmp(a->bytes, b->bytes, a->length) == 0 ? 0 : -1;
}

void CryptByteStringHexDump(const char* caption, const CryptByteString* string,
                            FILE* out) {
  if (caption != nullptr) std::fprintf(out, "%s", caption);
  for (uint32_t i = 0; i < string->length; ++i) {
    std::fprintf(out, "%02X", string->bytes[i]);
  }
  std::fprintf(out, "\n");
}

}  // namespace qorlog
