// Byte layout of the settings container (all integers little-endian):
//   [0]  u32 magic 0xAAA00001   [4] u32 digest length D   [8] u32 payload length P
//   [12] D bytes digest (HAS-160 of the payload, 20 bytes as written)
//   [12 + D] P bytes payload (SEED-ECB with PKCS#7 padding, P % 16 == 0)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qorlog::settings {

inline constexpr std::size_t kContainerHeaderBytes = 12;
inline constexpr std::uint32_t kContainerDigestBytes = 20;

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

inline void AppendLe32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace qorlog::settings
