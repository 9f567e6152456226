// OpenSSL's EVP ciphers as an independent oracle of the module's modes. Linux
// only: the Windows build has no OpenSSL.
#pragma once

#include <string>

#include "test_util.h"

namespace qorlog::testing {

// Encrypts or decrypts with an EVP cipher by name ("AES-128-CBC", ...),
// without padding; the legacy provider is loaded on demand for names that
// need it. Returns false when the cipher is not available.
bool EvpCrypt(const std::string& name, const Bytes& key, const Bytes& iv,
              const Bytes& in, bool encrypt, Bytes* out);

}  // namespace qorlog::testing
