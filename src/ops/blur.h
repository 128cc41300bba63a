// Box blur: every pixel becomes the alpha-weighted mean of the square of side
// 2 * radius + 1 around it, clipped to the bitmap, taken as a pass along the
// rows and then a pass down the columns, each with running sums.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"

namespace vellora {

// Radii above this act as it; it bounds every window at 2,001 samples.
inline constexpr int32_t kBlurRadiusMax = 1000;

// Blurs the whole view in place. A radius of 0 or less leaves it untouched;
// above kBlurRadiusMax acts as kBlurRadiusMax. Returns VELLORA_OK, or
// ERR_OUT_OF_MEMORY (the bitmap untouched) when the scratch cannot be had:
// at most 4 * width * min(2r + 3, height) + 36 * width + 48 bytes (r the
// radius used), as include/vellora.h promises. Nothing is allocated for a
// radius of 0 or less or an empty view.
int32_t blur(const BitmapView& view, int32_t radius, InstructionSet set = best_instruction_set());

}  // namespace vellora
