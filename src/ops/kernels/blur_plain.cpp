#include <algorithm>
#include <cstring>

#include "bitmap_view.h"
#include "ops/kernels/blur_means.h"
#include "ops/kernels/kernels.h"
#include "ops/kernels/opaque_mean.h"

namespace vellora {

namespace {

// The column sums take in (sign +1) or give up (sign -1) one row of finished
// row-pass means, each as a sample of the column pass: its truncated mean
// colors weighted by its truncated mean alpha,
//   blue_sum += blue * alpha, green_sum += green * alpha,
//   red_sum += red * alpha, alpha_sum += alpha
// Unsigned arithmetic wraps, so an addition followed by a subtraction of the
// same amounts is exact.
template <int Sign>
void update_columns(uint32_t* sums, const uint8_t* means, int32_t width) {
  for (int32_t c = 0; c < width; ++c, means += kBytesPerPixel, sums += 4) {
    const uint32_t alpha = means[kAlpha];
    const uint32_t weighted[4] = {means[kBlue] * alpha, means[kGreen] * alpha, means[kRed] * alpha,
                                  alpha};
    for (int k = 0; k < 4; ++k) sums[k] = Sign > 0 ? sums[k] + weighted[k] : sums[k] - weighted[k];
  }
}

// The row's running sums: prefix + 4k holds the sums of pixels 0 .. k - 1
// (B * A, G * A, R * A, A; in an opaque row B, G, R and nothing else,
// opaque_mean.h), and each window's sums are the difference of two of them.
// They wrap modulo 2^32, and the differences are still exact: a window's true
// sums are below 2^32.
template <bool Opaque>
void running_sums(const uint8_t* row, int32_t width, uint32_t* prefix) {
  uint32_t running[4] = {0, 0, 0, 0};
  std::memcpy(prefix, running, sizeof running);
  for (int32_t k = 0; k < width; ++k) {
    const uint8_t* p = row + static_cast<size_t>(k) * kBytesPerPixel;
    const uint32_t weight = Opaque ? 1 : p[kAlpha];
    for (int c = kBlue; c <= kRed; ++c) running[c] += p[c] * weight;
    running[kAlpha] += p[kAlpha];
    std::memcpy(prefix + 4 * (k + 1), running, sizeof running);
  }
}

// Each column's window sums from the running sums, handed to
// store(out, sums, count).
template <typename Store>
void each_window(const uint32_t* prefix, int32_t width, int32_t r, uint8_t* means, Store store) {
  for (int32_t c = 0; c < width; ++c) {
    const int32_t lo = std::max(c - r, 0);
    const int32_t hi = std::min(c + r, width - 1) + 1;
    uint32_t sums[4];
    for (int k = 0; k < 4; ++k) sums[k] = prefix[4 * hi + k] - prefix[4 * lo + k];
    store(means + static_cast<size_t>(c) * kBytesPerPixel, sums, c, static_cast<uint32_t>(hi - lo));
  }
}

}  // namespace

template <>
bool BlurRowKernels<InstructionSet::kPlain>::pixels_opaque(const uint8_t* p, int32_t n) {
  for (int32_t k = 0; k < n; ++k) {
    if (p[static_cast<size_t>(k) * kBytesPerPixel + kAlpha] != 255) return false;
  }
  return true;
}

template <>
void BlurRowKernels<InstructionSet::kPlain>::weighted_row_means(const uint8_t* row, int32_t width,
                                                                int32_t r, const uint32_t*,
                                                                uint32_t* prefix, uint8_t* means) {
  running_sums<false>(row, width, prefix);
  each_window(prefix, width, r, means,
              [](uint8_t* out, const uint32_t sums[4], int32_t, uint32_t count) {
                store_means(out, sums, count);
              });
}

template <>
void BlurRowKernels<InstructionSet::kPlain>::opaque_row_means(const uint8_t* row, int32_t width,
                                                              int32_t r,
                                                              const uint32_t* multipliers,
                                                              uint32_t* prefix, uint8_t* means) {
  running_sums<true>(row, width, prefix);
  each_window(prefix, width, r, means,
              [multipliers](uint8_t* out, const uint32_t sums[4], int32_t c, uint32_t) {
                store_opaque_means<kRowMeanShift>(out, sums, multipliers[c]);
              });
}

template <>
void BlurColumnKernels<InstructionSet::kPlain>::column_step(uint32_t* sums, const uint8_t* leaving,
                                                            const uint8_t* entering, int32_t width,
                                                            const BlurColumnWindows& windows,
                                                            uint8_t* out) {
  if (leaving != nullptr) update_columns<-1>(sums, leaving, width);
  if (entering != nullptr) update_columns<+1>(sums, entering, width);
  if (out == nullptr) return;
  for (int32_t c = 0; c < width; ++c, out += kBytesPerPixel, sums += 4) {
    if (windows.opaque) {
      store_opaque_means<kColumnMeanShift>(out, sums, windows.opaque_multiplier);
    } else {
      store_means(out, sums, windows.count);
    }
  }
}

}  // namespace vellora
