// The module's chaining modes against OpenSSL's EVP ciphers, an implementation
// written independently of ours. Linux only: the Windows build has no OpenSSL.
#include <gtest/gtest.h>

#include "crypto/cryptmod.h"
#include "evp_oracle.h"
#include "test_util.h"

namespace qorlog {
namespace {

using testing::Bytes;
using testing::Decrypt;
using testing::Encrypt;
using testing::Wrap;
using testing::BytesOf;
using testing::RandomBytes;

// The module's modes over each primitive, against OpenSSL's EVP ciphers
// (SEED through the legacy provider when it is there). Three lengths cover
// a padding-only block, a partial block and several blocks with a remainder.
TEST(OracleTest, ModesMatchOpenSslForEveryAlgorithm) {
  struct Oracle {
    uint32_t alg;
    size_t key_size;  // 0: several Blowfish key sizes
    size_t block;
    const char* prefix;
  };
  const Oracle oracles[] = {
      {CRYPTMOD_ALG_AES128, 16, 16, "AES-128"},
      {CRYPTMOD_ALG_AES192, 24, 16, "AES-192"},
      {CRYPTMOD_ALG_AES256, 32, 16, "AES-256"},
      {CRYPTMOD_ALG_DES_EDE2, 16, 8, "DES-EDE"},
      {CRYPTMOD_ALG_DES_EDE3, 24, 8, "DES-EDE3"},
      {CRYPTMOD_ALG_BLOWFISH, 0, 8, "BF"},
      {CRYPTMOD_ALG_SEED, 16, 16, "SEED"},
  };
  struct ModeCase {
    uint32_t mode;
    uint32_t feedback;  // 0: the block size
    const char* suffix;
  };
  const ModeCase modes[] = {
      {CRYPTMOD_MODE_ECB, 8, "-ECB"},   {CRYPTMOD_MODE_CBC, 8, "-CBC"},
      {CRYPTMOD_MODE_CFB, 1, "-CFB8"},  {CRYPTMOD_MODE_CFB, 0, "-CFB"},
      {CRYPTMOD_MODE_OFB, 0, "-OFB"},
  };
  int compared = 0;
  for (const Oracle& o : oracles) {
    for (const ModeCase& m : modes) {
      for (size_t length : {0u, 15u, 33u}) {
        size_t key_size = o.key_size != 0 ? o.key_size : 5 + length % 50;
        Bytes key = RandomBytes(key_size, static_cast<uint32_t>(length * 31 + o.alg));
        Bytes iv = RandomBytes(o.block, static_cast<uint32_t>(length + 7));
        Bytes plain = RandomBytes(length, static_cast<uint32_t>(length + o.alg));
        uint32_t feedback = m.feedback != 0 ? m.feedback : static_cast<uint32_t>(o.block);
        std::string name = std::string(o.prefix) + m.suffix;
        if (name == "DES-EDE-ECB") name = "DES-EDE";
        if (name == "DES-EDE3-ECB") name = "DES-EDE3";
        Bytes expected;
        bool ecb = m.mode == CRYPTMOD_MODE_ECB;
        if (!testing::EvpCrypt(name, key, ecb ? Bytes{} : iv,
                               testing::Pad(plain, o.block), true, &expected)) {
          continue;  // no such oracle: DES-EDE-CFB8, or no legacy provider
        }
        SCOPED_TRACE(name + " length " + std::to_string(length));
        uint32_t status = 0;
        Bytes cipher = Encrypt(o.alg, key, iv, plain, m.mode, feedback, &status);
        EXPECT_EQ(status, CRYPTMOD_OK);
        EXPECT_EQ(cipher, expected);
        auto back = Decrypt(o.alg, key, iv, cipher, m.mode, feedback, &status);
        ASSERT_TRUE(back);
        EXPECT_EQ(status, CRYPTMOD_OK);
        EXPECT_EQ(BytesOf(back.get()), plain);
        ++compared;
      }
    }
  }
  // AES and Triple DES are in the default provider: at least their 24
  // algorithm-mode pairs compare, three lengths each.
  EXPECT_GE(compared, 24 * 3);
}

}  // namespace
}  // namespace qorlog
