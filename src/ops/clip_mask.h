// Mask clip: scales a bitmap's alpha by the blue bytes of a mask bitmap laid
// over it, and by a fixed value where the mask does not reach.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"

namespace vellora {

// Target pixel (x, y) is covered by mask pixel (x - offset_x, y - offset_y)
// when that pixel exists; its alpha is scaled by the mask pixel's blue byte.
// Every other pixel's alpha is scaled by outside_value. Only the target's
// alpha bytes are written and only the mask's blue bytes are read, so target
// and mask may be the same bitmap.
void clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value, InstructionSet set = best_instruction_set());

}  // namespace vellora
