// cryptmod.h - the crypto module: byte buffers, digests, block and stream
// ciphers, the password cipher of the settings container and the DES string
// protection of the settings hex-text format.
//
// Conventions:
//  - Every object or block that an operation returns belongs to the caller.
//    CryptBuffer objects are released with CryptBufferFree (which wipes the
//    meaningful bytes) or CryptBufferFreeNoWipe; storage handed out by the
//    byte-range front ends (out data + out length) with CryptMemFree; blocks of
//    the DES byte operations with FreeDesBuffer.
//  - Statuses are 32-bit CRYPTMOD_ codes. An operation reports through a
//    status out-parameter (which may be null: then it does not report) or
//    as its result. Success writes CRYPTMOD_OK; a failure writes the
//    operation's own code and returns no object.
//  - No operation releases its inputs, and a failed operation leaves nothing
//    of its own allocated.
//  - Every size entering the module is limited to 32 bits.
//  - Narrow text is UTF-8: invalid bytes decode to U+FFFD.
//
// Thread rules: no operation keeps global state; any thread may call any
// operation. A hash or cipher context must not be used by two threads at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qorlog {

// ---------------------------------------------------------------------------
// Status codes.
inline constexpr uint32_t CRYPTMOD_OK = 0x220A1001;
inline constexpr uint32_t CRYPTMOD_E_ALLOC = 0x220A1101;
inline constexpr uint32_t CRYPTMOD_E_ALLOC_COPY = 0x220A1102;
inline constexpr uint32_t CRYPTMOD_E_ALLOC_NONEMPTY = 0x220A1104;
inline constexpr uint32_t CRYPTMOD_E_COPY_NONEMPTY = 0x220A1105;
inline constexpr uint32_t CRYPTMOD_E_TOO_LARGE = 0x220A1108;
inline constexpr uint32_t CRYPTMOD_E_DIGEST = 0x220A1202;
inline constexpr uint32_t CRYPTMOD_E_HASH_INIT = 0x220A1203;
inline constexpr uint32_t CRYPTMOD_E_HASH_UPDATE = 0x220A1204;
inline constexpr uint32_t CRYPTMOD_E_HASH_FINAL = 0x220A1205;
inline constexpr uint32_t CRYPTMOD_E_CIPHER_SETUP = 0x220A1301;
inline constexpr uint32_t CRYPTMOD_E_ENCRYPT = 0x220A1302;
inline constexpr uint32_t CRYPTMOD_E_DECRYPT = 0x220A1303;
inline constexpr uint32_t CRYPTMOD_E_CIPHER_INIT = 0x220A1304;
inline constexpr uint32_t CRYPTMOD_E_CIPHER_UPDATE = 0x220A1305;
inline constexpr uint32_t CRYPTMOD_E_CIPHER_FINAL = 0x220A1306;
inline constexpr uint32_t CRYPTMOD_E_STREAM_ENCRYPT = 0x220A1308;
inline constexpr uint32_t CRYPTMOD_E_STREAM_DECRYPT = 0x220A1309;

// Hash ids. Every digest works on 64-byte blocks.
inline constexpr uint32_t CRYPTMOD_HASH_SHA1 = 1;       // 20 bytes
inline constexpr uint32_t CRYPTMOD_HASH_SHA256 = 2;     // 32 bytes
inline constexpr uint32_t CRYPTMOD_HASH_HAS160 = 3;     // 20 bytes
inline constexpr uint32_t CRYPTMOD_HASH_RIPEMD160 = 4;  // 20 bytes

// Cipher algorithm ids: key bytes / block bytes.
inline constexpr uint32_t CRYPTMOD_ALG_DES_EDE2 = 2;   // 16 / 8 (K1 K2 K1)
inline constexpr uint32_t CRYPTMOD_ALG_DES_EDE3 = 3;   // 24 / 8 (K1 K2 K3)
inline constexpr uint32_t CRYPTMOD_ALG_RC4 = 5;        // any / stream only
inline constexpr uint32_t CRYPTMOD_ALG_BLOWFISH = 8;   // any / 8
inline constexpr uint32_t CRYPTMOD_ALG_SEED = 9;       // 16 / 16
inline constexpr uint32_t CRYPTMOD_ALG_AES128 = 10;    // 16 / 16
inline constexpr uint32_t CRYPTMOD_ALG_AES192 = 11;    // 24 / 16
inline constexpr uint32_t CRYPTMOD_ALG_AES256 = 12;    // 32 / 16

// Chaining modes. CFB and OFB take a feedback size of 1 to the block size.
inline constexpr uint32_t CRYPTMOD_MODE_CBC = 1;
inline constexpr uint32_t CRYPTMOD_MODE_ECB = 2;  // the IV is not even copied
inline constexpr uint32_t CRYPTMOD_MODE_CFB = 3;
inline constexpr uint32_t CRYPTMOD_MODE_OFB = 4;

// ---------------------------------------------------------------------------
// Byte buffers.

// A byte buffer. The object does not record how much storage it owns: the
// creator knows (an encryption result owns plain length + 16 bytes). Storage
// is always allocated zero-filled; only CryptBufferNew makes an object
// without storage.
struct CryptBuffer {
  uint8_t* data;
  uint32_t length;  // meaningful bytes at data
};

// New object owning `size` zero bytes, length 0. CRYPTMOD_E_TOO_LARGE above
// 32 bits (checked first), else CRYPTMOD_E_ALLOC on lack of memory.
CryptBuffer* CryptBufferAlloc(uint64_t size, uint32_t* status);
// New object holding a copy of `size` bytes, length = size. Size 0 gives an
// empty object whose storage exists. CRYPTMOD_E_TOO_LARGE or
// CRYPTMOD_E_ALLOC_COPY (also for null bytes with a nonzero size).
CryptBuffer* CryptBufferFromBytes(const void* bytes, uint64_t size,
                                  uint32_t* status);
// As CryptBufferAlloc, but size 0 fails with CRYPTMOD_E_ALLOC_NONEMPTY, as
// does lack of memory.
CryptBuffer* CryptBufferAllocNonEmpty(uint64_t size, uint32_t* status);
// As CryptBufferFromBytes, but size 0 fails with CRYPTMOD_E_COPY_NONEMPTY, as
// does lack of memory.
CryptBuffer* CryptBufferFromBytesNonEmpty(const void* bytes, uint64_t size,
                                          uint32_t* status);
// New object with no storage and length 0; null on lack of memory.
CryptBuffer* CryptBufferNew();
// Zeroes the `length` meaningful bytes, then releases storage and object.
// Accepts null.
void CryptBufferFree(CryptBuffer* buffer);
// Releases storage and object without overwriting. Accepts null.
void CryptBufferFreeNoWipe(CryptBuffer* buffer);
// The size as 32 bits with CRYPTMOD_OK, or 0 with CRYPTMOD_E_TOO_LARGE.
uint32_t CryptCheckSize32(uint64_t size, uint32_t* status);
// Releases storage handed out through an out-data parameter. Accepts null.
void CryptMemFree(void* data);

struct CryptBufferDeleter {
  void operator()(CryptBuffer* buffer) const { CryptBufferFree(buffer); }
};
using CryptBufferPtr = std::unique_ptr<CryptBuffer, CryptBufferDeleter>;

struct CryptMemDeleter {
  void operator()(void* data) const { CryptMemFree(data); }
};
using CryptMemPtr = std::unique_ptr<uint8_t, CryptMemDeleter>;

// ---------------------------------------------------------------------------
// Digests.

// New buffer holding the digest of the input's `length` bytes (20 or 32
// bytes). CRYPTMOD_E_DIGEST on a missing input or storage, an unknown id or
// lack of memory.
CryptBuffer* CryptDigest(uint32_t hash_id, const CryptBuffer* input,
                         uint32_t* status);
// Digest of a byte range; hands out the digest storage (CryptMemFree) and its
// length. Returns the status; on failure hands out nothing.
uint32_t CryptDigestBytes(uint32_t hash_id, const void* bytes, uint64_t size,
                          uint8_t** out_data, uint32_t* out_length);
// New buffer holding the 20-byte HAS-160 digest of the bytes; null on failure.
CryptBuffer* DigestHas160(const void* bytes, uint32_t length);

// Incremental digest. Any split of a message across updates gives the digest
// of the whole. Final hands out the digest and releases the context on
// success; a failed update or final leaves the context as it was.
struct CryptHashContext;
uint32_t CryptHashInit(uint32_t hash_id, CryptHashContext** out_context);
uint32_t CryptHashUpdate(CryptHashContext* context, const void* bytes,
                         uint64_t size);
uint32_t CryptHashFinal(CryptHashContext* context, uint8_t** out_data,
                        uint32_t* out_length);
// Abandons a context without finishing it. Accepts null.
void CryptHashFree(CryptHashContext* context);

// CRC-32 (reflected 0xEDB88320) with zlib's convention: null bytes give 0,
// size 0 gives `crc` back, otherwise the CRC continued over the bytes.
uint32_t CryptCrc32(uint32_t crc, const void* bytes, uint64_t size);

// ---------------------------------------------------------------------------
// Block ciphers. Every mode pads with PKCS#7 to the block size; decryption
// checks and removes that padding. A cipher text whose length is not a
// nonzero multiple of the block size fails to decrypt.

// New buffer with the cipher text (plain length + 16 bytes of storage,
// length = padded length). Status CRYPTMOD_E_CIPHER_SETUP for an unknown
// algorithm or a missing key (or IV in modes 1, 3, 4), CRYPTMOD_E_ENCRYPT for
// an unknown mode, a feedback size outside 1..block size in modes 3 and 4, a
// missing input, or lack of memory.
CryptBuffer* CryptEncryptBuffer(uint32_t algorithm, const CryptBuffer* key,
                                const CryptBuffer* iv,
                                const CryptBuffer* input, uint32_t mode,
                                uint32_t feedback, uint32_t* status);
// New buffer with the plain text; as encryption with CRYPTMOD_E_DECRYPT, which
// also reports a padding that fails the check.
CryptBuffer* CryptDecryptBuffer(uint32_t algorithm, const CryptBuffer* key,
                                const CryptBuffer* iv,
                                const CryptBuffer* input, uint32_t mode,
                                uint32_t feedback, uint32_t* status);
// Front ends on byte ranges: hand out the result's storage (CryptMemFree)
// and length and return the status. CRYPTMOD_E_ALLOC_COPY when the IV or the
// bytes cannot be wrapped.
uint32_t CryptEncryptBytes(uint32_t algorithm, const CryptBuffer* key,
                           const void* iv, uint64_t iv_size, const void* bytes,
                           uint64_t size, uint32_t mode, uint32_t feedback,
                           uint8_t** out_data, uint32_t* out_length);
uint32_t CryptDecryptBytes(uint32_t algorithm, const CryptBuffer* key,
                           const void* iv, uint64_t iv_size, const void* bytes,
                           uint64_t size, uint32_t mode, uint32_t feedback,
                           uint8_t** out_data, uint32_t* out_length);

// Incremental block cipher. Update joins the carry with the input and, once
// they reach two processing units (16 bytes for ids 2, 8, 9, 10; 24 for id 3;
// 32 for ids 11 and 12), processes all whole units but the last and carries
// the rest; it may hand out nothing (null, length 0). Final processes the
// carry and its input with padding (or the padding check). Any split gives
// the result of the one-shot operation. The caller releases the context with
// CryptCipherFree, also after Final.
struct CryptCipherContext;
uint32_t CryptCipherInit(uint32_t algorithm, const CryptBuffer* key,
                         const void* iv, uint64_t iv_size, bool decrypt,
                         uint32_t mode, uint32_t feedback,
                         CryptCipherContext** out_context);
uint32_t CryptCipherUpdate(CryptCipherContext* context, const void* bytes,
                           uint64_t size, uint8_t** out_data,
                           uint32_t* out_length);
uint32_t CryptCipherFinal(CryptCipherContext* context, const void* bytes,
                          uint64_t size, uint8_t** out_data,
                          uint32_t* out_length);
void CryptCipherFree(CryptCipherContext* context);  // accepts null

// RC4 (algorithm id 5 only) keyed with the key object's bytes (at least one);
// the output is as long as the input.
uint32_t CryptStreamEncrypt(uint32_t algorithm, const CryptBuffer* key,
                            const void* bytes, uint64_t size,
                            uint8_t** out_data, uint32_t* out_length);
uint32_t CryptStreamDecrypt(uint32_t algorithm, const CryptBuffer* key,
                            const void* bytes, uint64_t size,
                            uint8_t** out_data, uint32_t* out_length);

// ---------------------------------------------------------------------------
// Password cipher: SEED in ECB mode with PKCS#7 padding, keyed with the first
// 16 bytes of the password (zero-extended). An empty password, lack of memory
// and a padding that fails the check give null; the caller releases the
// result with CryptBufferFree.

// The tag of the settings container format; the wide front ends refuse any
// other tag.
inline constexpr uint32_t kPasswordCipherTag = 0xAAA00001;

CryptBuffer* PasswordEncrypt(const void* data, uint32_t length,
                             const char* password);
CryptBuffer* PasswordDecrypt(const void* cipher, uint32_t length,
                             const char* password);
// As PasswordEncrypt on the UTF-8 bytes of `text` (no terminating zero).
CryptBuffer* PasswordEncryptTextW(uint32_t tag, const char16_t* text,
                                  const char16_t* password);
CryptBuffer* PasswordDecryptW(uint32_t tag, const void* cipher,
                              uint32_t length, const char16_t* password);

// ---------------------------------------------------------------------------
// DES string protection: DES-CBC with an IV of 8 zero bytes and a pad count of
// 1 to 8 (each pad byte holding the count), cipher text as upper-case hex.

using DES_STATUS = uint32_t;
inline constexpr DES_STATUS kDesStatusOk = 0;
inline constexpr DES_STATUS kDesStatusKeyRefused = 1;  // never happens
inline constexpr DES_STATUS kDesStatusNoMemory = 2;
inline constexpr DES_STATUS kDesStatusBadLength = 3;   // decryption only
inline constexpr DES_STATUS kDesStatusBadPadding = 4;  // decryption only

// New block of *out_size bytes with the cipher text, or null (size 0).
// `status` (may be null) is 0 on success.
uint8_t* DesCbcEncryptBuffer(uint32_t* out_size, const uint8_t* plain,
                             uint32_t plain_length, const uint8_t key[8],
                             DES_STATUS* status);
// New block of cipher_length + 1 bytes: the plain text and a zero byte; null
// (length 0) for a length that is not a nonzero multiple of 8 or a pad count
// above 8. A pad count of 0 removes nothing.
uint8_t* DesCbcDecryptBuffer(uint32_t* out_length, const uint8_t* cipher,
                             uint32_t cipher_length, const uint8_t key[8],
                             DES_STATUS* status);
void FreeDesBuffer(uint8_t* buffer);  // accepts null

// Appends the bytes of hex pairs (0-9, A-F, a-f) to `bytes`. False at the
// first invalid character or a lone last character; what was decoded before
// stays appended.
bool HexStringToBytes(std::u16string_view text, std::vector<uint8_t>* bytes);
// Assigns the upper-case hex form; with no bytes or count 0, leaves `text`.
void BytesToHexString(const uint8_t* bytes, size_t count, std::u16string* text);

// The key is the first 8 UTF-8 bytes of `key` (zero-extended). Both leave the
// out text untouched on failure.
bool DesEncryptStringToHex(std::u16string_view plain, std::u16string* hex,
                           std::u16string_view key);
bool DesDecryptHexToString(std::u16string_view hex, std::u16string* plain,
                           std::u16string_view key);

// ---------------------------------------------------------------------------
// Growable byte string. Capacity grows by reallocation to the size asked for.
struct CryptByteString {
  uint8_t* bytes;
  uint32_t length;
  uint32_t capacity;
};

// Functions return CRYPTMOD_OK, CRYPTMOD_E_TOO_LARGE or CRYPTMOD_E_ALLOC.
void CryptByteStringInit(CryptByteString* string);
void CryptByteStringRelease(CryptByteString* string);  // wipes, then frees
uint32_t CryptByteStringReserve(CryptByteString* string, uint64_t capacity);
uint32_t CryptByteStringAppend(CryptByteString* string, const void* bytes,
                               uint64_t size);
uint32_t CryptByteStringConcat(CryptByteString* string,
                               const CryptByteString* tail);
// 0 when both hold the same bytes, -1 otherwise.
int CryptByteStringCompare(const CryptByteString* a, const CryptByteString* b);
// Prints the caption, each byte as two upper-case hex digits and a line
// break to `out` (standard output by default).
void CryptByteStringHexDump(const char* caption, const CryptByteString* string,
                            FILE* out = stdout);

}  // namespace qorlog
