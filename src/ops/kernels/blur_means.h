// A blur window's means from its sums, one window at a time: the plain
// kernels' rule, which the vector kernels also take for the last columns of
// a row.
#pragma once

#include <cstdint>
#include <cstring>

#include "bitmap_view.h"
#include "ops/kernels/opaque_mean.h"

namespace vellora {

// A window's means from its sums (B * A, G * A, R * A, A) over `count`
// samples:
//   alpha_sum < count: (0, 0, 0, 0)
//   otherwise: color_sum / alpha_sum for each color, alpha_sum / count
// alpha_sum < count is exactly "the truncated mean alpha is 0", and it keeps
// both divisors nonzero. Each quotient is a mean of bytes, so it fits one.
inline void store_means(uint8_t* out, const uint32_t sums[4], uint32_t count) {
  const uint32_t alpha_sum = sums[kAlpha];
  if (alpha_sum < count) {
    std::memset(out, 0, kBytesPerPixel);
    return;
  }
  for (int c = kBlue; c <= kRed; ++c) out[c] = static_cast<uint8_t>(sums[c] / alpha_sum);
  out[kAlpha] = static_cast<uint8_t>(alpha_sum / count);
}

// The same for a window whose every alpha is 255 (opaque_mean.h), from its
// colour sums (Shift = kRowMeanShift) or its weighted colour sums
// (kColumnMeanShift).
template <int Shift>
inline void store_opaque_means(uint8_t* out, const uint32_t sums[4], uint32_t multiplier) {
  for (int c = kBlue; c <= kRed; ++c) {
    out[c] = static_cast<uint8_t>(opaque_mean<Shift>(sums[c], multiplier));
  }
  out[kAlpha] = 255;
}

}  // namespace vellora
