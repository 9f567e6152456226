// Block cipher operations: one-shot on buffers, the byte-range front ends
// and the incremental form with its carry.
#include <cstring>
#include <memory>
#include <new>

#include "crypto/block_primitive.h"
#include "crypto/cipher_modes.h"
#include "crypto/cipher_params.h"
#include "crypto/crypt_alloc.h"
#include "crypto/cryptmod.h"
#include "crypto/primitives.h"

namespace qorlog {

using crypto_internal::BlockPrimitive;
using crypto_internal::BlockSizeOf;
using crypto_internal::CipherParams;
using crypto_internal::CryptAllocZeroed;
using crypto_internal::CryptRelease;
using crypto_internal::DecryptWithMode;
using crypto_internal::EncryptWithMode;
using crypto_internal::IsUsableMode;
using crypto_internal::ModeState;
using crypto_internal::SecureWipe;
using crypto_internal::SetUpCipherParams;
using crypto_internal::StartMode;

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

void Report(uint32_t* status, uint32_t code) {
  if (status != nullptr) *status = code;
}

// A working block that is wiped before it is released: it holds plain text.
class WorkingCopy {
 public:
  explicit WorkingCopy(size_t size)
      : size_(size), data_(static_cast<uint8_t*>(CryptAllocZeroed(size))) {}
  ~WorkingCopy() {
    if (data_ != nullptr) SecureWipe(data_, size_);
    CryptRelease(data_);
  }
  WorkingCopy(const WorkingCopy&) = delete;
  WorkingCopy& operator=(const WorkingCopy&) = delete;

  uint8_t* get() const { return data_; }

 private:
  size_t size_;
  uint8_t* data_;
};

std::unique_ptr<BlockPrimitive> MakePrimitive(const CipherParams& params) {
  try {
    return BlockPrimitive::Create(params.algorithm, params.key,
                                  static_cast<size_t>(params.keyLength));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// PKCS#7: the pad count p = b - (n mod b), 1 to b.
size_t PadCount(size_t n, size_t b) { return b - n % b; }

// Checks the PKCS#7 padding of `n` decrypted bytes; returns the pad count,
// or 0 when it fails.
size_t CheckPadding(const uint8_t* plain, size_t n, size_t b) {
  if (n == 0) return 0;
  size_t p = plain[n - 1];
  if (p == 0 || p > b || p > n) return 0;
  for (size_t i = n - p; i < n; ++i) {
    if (plain[i] != p) return 0;
  }
  return p;
}

// Releases a result that holds decrypted bytes, wiping all `size` of them.
void DiscardPlain(CryptBuffer* result, uint32_t size) {
  result->length = size;
  CryptBufferFree(result);
}

// Hands a result's storage and length to the caller and releases the shell.
void HandOut(CryptBuffer* result, uint8_t** out_data, uint32_t* out_length) {
  *out_data = result->data;
  *out_length = result->length;
  CryptRelease(result);
}

using CipherCall = CryptBuffer* (*)(uint32_t, const CryptBuffer*,
                                    const CryptBuffer*, const CryptBuffer*,
                                    uint32_t, uint32_t, uint32_t*);

uint32_t RunOnBytes(CipherCall call, uint32_t failure, uint32_t algorithm,
                    const CryptBuffer* key, const void* iv, uint64_t iv_size,
                    const void* bytes, uint64_t size, uint32_t mode,
                    uint32_t feedback, uint8_t** out_data,
                    uint32_t* out_length) {
  if (out_data == nullptr || out_length == nullptr) return failure;
  CryptBufferPtr iv_object(CryptBufferFromBytes(iv, iv_size, nullptr));
  if (!iv_object) return CRYPTMOD_E_ALLOC_COPY;
  CryptBufferPtr input(CryptBufferFromBytes(bytes, size, nullptr));
  if (!input) return CRYPTMOD_E_ALLOC_COPY;
  uint32_t status = failure;
  CryptBuffer* result = call(algorithm, key, iv_object.get(), input.get(),
                             mode, feedback, &status);
  if (result == nullptr) return status;
  HandOut(result, out_data, out_length);
  return CRYPTMOD_OK;
}

}  // namespace

CryptBuffer* CryptEncryptBuffer(uint32_t algorithm, const CryptBuffer* key,
                                const CryptBuffer* iv,
                                const CryptBuffer* input, uint32_t mode,
                                uint32_t feedback, uint32_t* status) {
  CipherParams params;
  if (!SetUpCipherParams(algorithm, key, iv, mode, feedback, &params, status)) {
    return nullptr;
  }
  const size_t b = BlockSizeOf(algorithm);
  if (!IsUsableMode(mode, feedback, b) || input == nullptr ||
      input->data == nullptr) {
    Report(status, CRYPTMOD_E_ENCRYPT);
    return nullptr;
  }
  const size_t n = input->length;
  const size_t padded = n + PadCount(n, b);
  CryptBufferPtr result(CryptBufferAlloc(uint64_t{n} + 16, nullptr));
  WorkingCopy work(padded);
  std::unique_ptr<BlockPrimitive> primitive = MakePrimitive(params);
  if (!result || work.get() == nullptr || !primitive) {
    Report(status, CRYPTMOD_E_ENCRYPT);
    return nullptr;
  }
  std::memcpy(work.get(), input->data, n);
  std::memset(work.get() + n, static_cast<int>(padded - n), padded - n);
  ModeState state = StartMode(mode, b, feedback, params.iv);
  EncryptWithMode(*primitive, &state, work.get(), result->data, padded);
  result->length = static_cast<uint32_t>(padded);
  Report(status, CRYPTMOD_OK);
  return result.release();
}

CryptBuffer* CryptDecryptBuffer(uint32_t algorithm, const CryptBuffer* key,
                                const CryptBuffer* iv,
                                const CryptBuffer* input, uint32_t mode,
                                uint32_t feedback, uint32_t* status) {
  CipherParams params;
  if (!SetUpCipherParams(algorithm, key, iv, mode, feedback, &params, status)) {
    return nullptr;
  }
  const size_t b = BlockSizeOf(algorithm);
  // Only whole blocks are read: a cipher text of another length (or none)
  // cannot carry a valid padding.
  if (!IsUsableMode(mode, feedback, b) || input == nullptr ||
      input->data == nullptr || input->length == 0 || input->length % b != 0) {
    Report(status, CRYPTMOD_E_DECRYPT);
    return nullptr;
  }
  const uint32_t n = input->length;
  CryptBuffer* result = CryptBufferAlloc(n, nullptr);
  std::unique_ptr<BlockPrimitive> primitive = MakePrimitive(params);
  if (result == nullptr || !primitive) {
    CryptBufferFree(result);
    Report(status, CRYPTMOD_E_DECRYPT);
    return nullptr;
  }
  ModeState state = StartMode(mode, b, feedback, params.iv);
  DecryptWithMode(*primitive, &state, input->data, result->data, n);
  size_t p = CheckPadding(result->data, n, b);
  if (p == 0) {
    DiscardPlain(result, n);
    Report(status, CRYPTMOD_E_DECRYPT);
    return nullptr;
  }
  result->length = static_cast<uint32_t>(n - p);
  Report(status, CRYPTMOD_OK);
  return result;
}

uint32_t CryptEncryptBytes(uint32_t algorithm, const CryptBuffer* key,
                           const void* iv, uint64_t iv_size, const void* bytes,
                           uint64_t size, uint32_t mode, uint32_t feedback,
                           uint8_t** out_data, uint32_t* out_length) {
  return RunOnBytes(CryptEncryptBuffer, CRYPTMOD_E_ENCRYPT, algorithm, key, iv,
                    iv_size, bytes, size, mode, feedback, out_data, out_length);
}

uint32_t CryptDecryptBytes(uint32_t algorithm, const CryptBuffer* key,
                           const void* iv, uint64_t iv_size, const void* bytes,
                           uint64_t size, uint32_t mode, uint32_t feedback,
                           uint8_t** out_data, uint32_t* out_length) {
  return RunOnBytes(CryptDecryptBuffer, CRYPTMOD_E_DECRYPT, algorithm, key, iv,
                    iv_size, bytes, size, mode, feedback, out_data, out_length);
}

// ---------------------------------------------------------------------------
// Incremental form.

struct CryptCipherContext {
  CipherParams params;
  bool decrypt = false;
  std::unique_ptr<BlockPrimitive> primitive;
  ModeState state;
  size_t unit = 0;
  uint8_t carry[256] = {};
  size_t carry_size = 0;
  bool finished = false;

  ~CryptCipherContext() { SecureWipe(carry, sizeof(carry)); }
};

namespace {

// The processing unit of each block cipher id.
size_t ProcessingUnitOf(uint32_t algorithm) {
  switch (algorithm) {
    case CRYPTMOD_ALG_DES_EDE3:
      return 24;
    case CRYPTMOD_ALG_AES192:
    case CRYPTMOD_ALG_AES256:
      return 32;
    default:
      return 16;
  }
}

// Joins the carry and `size` bytes into a working copy of carry + size bytes.
bool JoinCarry(const CryptCipherContext& context, const void* bytes,
               size_t size, WorkingCopy* joined) {
  if (joined->get() == nullptr) return false;
  if (context.carry_size != 0) {
    std::memcpy(joined->get(), context.carry, context.carry_size);
  }
  if (size != 0) std::memcpy(joined->get() + context.carry_size, bytes, size);
  return true;
}

void Process(const CryptCipherContext& context, ModeState* state,
             const uint8_t* in, uint8_t* out, size_t size) {
  if (context.decrypt) {
    DecryptWithMode(*context.primitive, state, in, out, size);
  } else {
    EncryptWithMode(*context.primitive, state, in, out, size);
  }
}

}  // namespace

uint32_t CryptCipherInit(uint32_t algorithm, const CryptBuffer* key,
                         const void* iv, uint64_t iv_size, bool decrypt,
                         uint32_t mode, uint32_t feedback,
                         CryptCipherContext** out_context) {
  if (out_context == nullptr || key == nullptr ||
      (iv == nullptr && iv_size != 0)) {
    return CRYPTMOD_E_CIPHER_INIT;
  }
  CryptBufferPtr iv_object(CryptBufferFromBytes(iv, iv_size, nullptr));
  if (!iv_object) return CRYPTMOD_E_CIPHER_INIT;
  try {
    auto context = std::make_unique<CryptCipherContext>();
    if (!SetUpCipherParams(algorithm, key, iv_object.get(), mode, feedback,
                           &context->params, nullptr) ||
        !IsUsableMode(mode, feedback, BlockSizeOf(algorithm))) {
      return CRYPTMOD_E_CIPHER_INIT;
    }
    context->decrypt = decrypt;
    context->primitive = MakePrimitive(context->params);
    if (!context->primitive) return CRYPTMOD_E_CIPHER_INIT;
    context->state =
        StartMode(mode, BlockSizeOf(algorithm), feedback, context->params.iv);
    context->unit = ProcessingUnitOf(algorithm);
    *out_context = context.release();
    return CRYPTMOD_OK;
  } catch (const std::bad_alloc&) {
    return CRYPTMOD_E_CIPHER_INIT;
  }
}

uint32_t CryptCipherUpdate(CryptCipherContext* context, const void* bytes,
                           uint64_t size, uint8_t** out_data,
                           uint32_t* out_length) {
  if (context == nullptr || context->finished || bytes == nullptr ||
      size == 0 || out_data == nullptr || out_length == nullptr ||
      size > kMax32 - context->carry_size) {
    return CRYPTMOD_E_CIPHER_UPDATE;
  }
  const size_t total = context->carry_size + size;
  const size_t unit = context->unit;
  if (total < 2 * unit) {
    std::memcpy(context->carry + context->carry_size, bytes, size);
    context->carry_size = total;
    *out_data = nullptr;
    *out_length = 0;
    return CRYPTMOD_OK;
  }
  // All whole units but the last; the last unit and any rest are carried, so
  // that the final call always has the padded block.
  const size_t processed = (total / unit - 1) * unit;
  WorkingCopy joined(total);
  auto* out = static_cast<uint8_t*>(CryptAllocZeroed(processed));
  if (out == nullptr || !JoinCarry(*context, bytes, size, &joined)) {
    CryptRelease(out);
    return CRYPTMOD_E_CIPHER_UPDATE;
  }
  Process(*context, &context->state, joined.get(), out, processed);
  context->carry_size = total - processed;
  std::memcpy(context->carry, joined.get() + processed, context->carry_size);
  *out_data = out;
  *out_length = static_cast<uint32_t>(processed);
  return CRYPTMOD_OK;
}

uint32_t CryptCipherFinal(CryptCipherContext* context, const void* bytes,
                          uint64_t size, uint8_t** out_data,
                          uint32_t* out_length) {
  if (context == nullptr || context->finished || out_data == nullptr ||
      out_length == nullptr || (bytes == nullptr && size != 0)) {
    return CRYPTMOD_E_CIPHER_FINAL;
  }
  if (size > kMax32 - context->carry_size) return CRYPTMOD_E_CIPHER_UPDATE;
  const size_t total = context->carry_size + size;
  const size_t b = context->state.block_size;
  // Work on a copy of the chaining state: a failure leaves the context as
  // it was.
  ModeState state = context->state;
  if (!context->decrypt) {
    const size_t padded = total + PadCount(total, b);
    WorkingCopy joined(padded);
    auto* out = static_cast<uint8_t*>(CryptAllocZeroed(padded));
    if (out == nullptr || !JoinCarry(*context, bytes, size, &joined)) {
      CryptRelease(out);
      return CRYPTMOD_E_CIPHER_FINAL;
    }
    std::memset(joined.get() + total, static_cast<int>(padded - total),
                padded - total);
    Process(*context, &state, joined.get(), out, padded);
    *out_data = out;
    *out_length = static_cast<uint32_t>(padded);
  } else {
    if (total == 0 || total % b != 0) return CRYPTMOD_E_CIPHER_FINAL;
    WorkingCopy joined(total);
    auto* out = static_cast<uint8_t*>(CryptAllocZeroed(total));
    if (out == nullptr || !JoinCarry(*context, bytes, size, &joined)) {
      CryptRelease(out);
      return CRYPTMOD_E_CIPHER_FINAL;
    }
    Process(*context, &state, joined.get(), out, total);
    size_t p = CheckPadding(out, total, b);
    if (p == 0) {
      SecureWipe(out, total);
      CryptRelease(out);
      return CRYPTMOD_E_CIPHER_FINAL;
    }
    *out_data = out;
    *out_length = static_cast<uint32_t>(total - p);
  }
  context->state = state;
  context->carry_size = 0;
  context->finished = true;
  return CRYPTMOD_OK;
}

void CryptCipherFree(CryptCipherContext* context) {
  std::unique_ptr<CryptCipherContext> owned(context);
}

}  // namespace qorlog
