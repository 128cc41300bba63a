// Box blur: every pixel becomes the alpha-weighted mean of the square of side
// 2 * radius + 1 around it, clipped to the bitmap, taken as a pass along the
// rows and then a pass down the columns, each with running sums.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/instruction_set.h"

namespace vellora {

// Radii above this act as it; it bounds every window at 2,001 samples.
inline constexpr int32_t kBlurRadiusMax = 1000;

// Bytes of scratch that a width x height blur of `radius` (r, at most 1000)
// takes: the row pass's means of the rows a column window will give up, as
// many as are kept at a time, and of one more row (4 bytes per pixel of
// min(2r + 2, max(height - r - 1, 0)) + 1 rows); the column pass's sums and
// the row pass's running sums (16 bytes each per column and one more); and
// the row windows' multipliers (4 bytes per column and 4 more):
//   4 * width * (min(2r + 2, max(height - r - 1, 0)) + 1) + 36 * width + 48
// computed in 64 bits so that it cannot wrap.
uint64_t blur_scratch_bytes(int32_t width, int32_t height, int32_t radius);

// Blurs the whole view in place. A radius of 0 or less leaves it untouched;
// above kBlurRadiusMax acts as kBlurRadiusMax. Returns VELLORA_OK, or
// ERR_OUT_OF_MEMORY (the bitmap untouched) when the scratch cannot be had.
// Nothing is allocated for a radius of 0 or less or an empty view.
int32_t blur(const BitmapView& view, int32_t radius, InstructionSet set = best_instruction_set());

}  // namespace vellora
