// ClipMask's per-pixel formula, shared by its kernels.
#pragma once

#include <cstdint>

namespace vellora {

// New alpha of a pixel of alpha a (0..255) under mask value m (any int32_t):
//   low 8 bits of trunc(m * a / 255)
// The product is formed in 64 bits, so every m is defined; for m in
// -8421504..8421504 the result is the one 32-bit arithmetic gives.
inline uint8_t clip_alpha(int32_t m, int32_t a) {
  // A mask's byte keeps the product within 32 bits: the plain kernel's case.
  if (static_cast<uint32_t>(m) <= 255) return static_cast<uint8_t>(m * a / 255);
  return static_cast<uint8_t>(static_cast<uint64_t>(int64_t{m} * a / 255));
}

}  // namespace vellora
