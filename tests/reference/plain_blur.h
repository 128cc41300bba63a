// Box blur: every pixel becomes the alpha-weighted mean of the square of side
// 2 * radius + 1 around it, clipped to the bitmap, taken as a pass along the
// rows and then a pass down the columns, each with running sums.
#pragma once

#include <cstdint>

#include "bitmap_view.h"

namespace vellora::plain {

// Radii above this act as it; it bounds every window at 2,001 samples.
inline constexpr int32_t kBlurRadiusMax = 1000;

// The running sums of one window. Red comes first, unlike the pixel's byte
// order. Once the row pass has finished a record, the first four fields hold
// that window's means (0..255) instead of sums; count keeps its value.
struct BlurSums {
  uint32_t red_sum;
  uint32_t green_sum;
  uint32_t blue_sum;
  uint32_t alpha_sum;
  uint32_t count;
};

// Bytes of the two scratch arrays (a row-pass and a column-pass record per
// pixel) that a width x height blur takes; computed in 64 bits so that it
// cannot wrap.
uint64_t blur_scratch_bytes(int32_t width, int32_t height);

// Blurs the whole view in place. A radius of 0 or less leaves it untouched;
// above kBlurRadiusMax acts as kBlurRadiusMax. Returns VELLORA_OK, or
// ERR_OUT_OF_MEMORY (the bitmap untouched) when the scratch arrays cannot be
// had. Nothing is allocated for a radius of 0 or less or an empty view.
int32_t blur(const BitmapView& view, int32_t radius);

}  // namespace vellora::plain
