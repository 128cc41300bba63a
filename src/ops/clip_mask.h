// Mask clip: scales a bitmap's alpha by the blue bytes of a mask bitmap laid
// over it, and by a fixed value where the mask does not reach.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/instruction_set.h"

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

// Target pixel (x, y) is covered by mask pixel (x - offset_x, y - offset_y)
// when that pixel exists; its alpha is scaled by the mask pixel's blue byte.
// Every other pixel's alpha is scaled by outside_value. Only the target's
// alpha bytes are written and only the mask's blue bytes are read, so target
// and mask may be the same bitmap.
void clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value, InstructionSet set = best_instruction_set());

}  // namespace vellora
