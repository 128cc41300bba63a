#include <algorithm>
#include <cstring>

#include "bitmap_view.h"
#include "ops/blur.h"
#include "ops/kernels/kernels.h"

namespace vellora {

namespace {

// A pixel as a sample of the row pass:
//   red_sum += red * alpha, green_sum += green * alpha, blue_sum += blue * alpha,
//   alpha_sum += alpha, count += 1
void add_pixel(BlurSums& s, const uint8_t* p) {
  const uint32_t alpha = p[kAlpha];
  s.red_sum += p[kRed] * alpha;
  s.green_sum += p[kGreen] * alpha;
  s.blue_sum += p[kBlue] * alpha;
  s.alpha_sum += alpha;
  s.count += 1;
}

void remove_pixel(BlurSums& s, const uint8_t* p) {
  const uint32_t alpha = p[kAlpha];
  s.red_sum -= p[kRed] * alpha;
  s.green_sum -= p[kGreen] * alpha;
  s.blue_sum -= p[kBlue] * alpha;
  s.alpha_sum -= alpha;
  s.count -= 1;
}

// A row-pass record's means, stored as four bytes at m:
//   alpha_sum < count: red, green, blue, alpha = 0
//   otherwise: red_sum / alpha_sum, green_sum / alpha_sum, blue_sum / alpha_sum,
//              alpha_sum / count
// alpha_sum < count is exactly "the truncated mean alpha is 0", and it keeps
// both divisors nonzero (count >= 1).
void store_means(uint8_t* m, const BlurSums& s) {
  if (s.alpha_sum < s.count) {
    std::memset(m, 0, kBytesPerPixel);
    return;
  }
  m[kBlue] = static_cast<uint8_t>(s.blue_sum / s.alpha_sum);
  m[kGreen] = static_cast<uint8_t>(s.green_sum / s.alpha_sum);
  m[kRed] = static_cast<uint8_t>(s.red_sum / s.alpha_sum);
  m[kAlpha] = static_cast<uint8_t>(s.alpha_sum / s.count);
}

// The column sums take in (sign +1) or give up (sign -1) one row of finished
// row-pass records, each as a sample of the column pass: its truncated mean
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

}  // namespace

// Each window is the previous one moved right by a column, its record
// finished from the sums before the move.
template <>
void blur_row_means<InstructionSet::kPlain>(const uint8_t* row, int32_t width, int32_t r,
                                            uint32_t* /*scratch*/, uint8_t* means) {
  BlurSums sums{};
  const int32_t first_window_end = std::min(r, width - 1);
  for (int32_t c = 0; c <= first_window_end; ++c) add_pixel(sums, row + c * kBytesPerPixel);
  store_means(means, sums);
  for (int32_t j = 1; j < width; ++j) {
    if (j > r) remove_pixel(sums, row + (j - r - 1) * kBytesPerPixel);
    if (j + r < width) add_pixel(sums, row + (j + r) * kBytesPerPixel);
    store_means(means + j * kBytesPerPixel, sums);
  }
}

// A pixel from column sums whose windows all hold `count` samples:
//   alpha_sum < count: (0, 0, 0, 0)
//   otherwise: blue_sum / alpha_sum, green_sum / alpha_sum, red_sum / alpha_sum,
//              alpha_sum / count
// Each quotient is a mean of values of at most 255, so it fits a byte.
template <>
void blur_column_step<InstructionSet::kPlain>(uint32_t* sums, const uint8_t* leaving,
                                              const uint8_t* entering, int32_t width,
                                              uint32_t count, uint8_t* out) {
  if (leaving != nullptr) update_columns<-1>(sums, leaving, width);
  if (entering != nullptr) update_columns<+1>(sums, entering, width);
  if (out == nullptr) return;
  for (int32_t c = 0; c < width; ++c, out += kBytesPerPixel, sums += 4) {
    const uint32_t alpha_sum = sums[kAlpha];
    if (alpha_sum < count) {
      std::memset(out, 0, kBytesPerPixel);
      continue;
    }
    out[kBlue] = static_cast<uint8_t>(sums[kBlue] / alpha_sum);
    out[kGreen] = static_cast<uint8_t>(sums[kGreen] / alpha_sum);
    out[kRed] = static_cast<uint8_t>(sums[kRed] / alpha_sum);
    out[kAlpha] = static_cast<uint8_t>(alpha_sum / count);
  }
}

}  // namespace vellora
