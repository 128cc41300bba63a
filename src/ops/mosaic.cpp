#include "ops/mosaic.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ops/kernels/kernels.h"

namespace vellora {

namespace {

// A block: columns xb ... xb + ww - 1 and image rows yb ... yb + hh - 1, all
// inside the view.
struct Block {
  int32_t xb;
  int32_t yb;
  int32_t ww;
  int32_t hh;
};

BlockRows rows_of(const BitmapView& view, int32_t x, int32_t y, int32_t ww, int32_t hh) {
  return BlockRows{image_pixel(view, x, y), static_cast<size_t>(row_bytes(view)), ww, hh};
}

// The block's value:
//   alpha_sum < n: (0, 0, 0, 0)
//   otherwise: color = color_alpha_sum / alpha_sum, alpha = alpha_sum / n
// over its n = ww * hh pixels, where color_alpha_sum = sum of color * alpha.
// alpha_sum < n is exactly "the truncated mean alpha is 0", and it keeps both
// divisors nonzero. Each quotient is a mean of bytes, so it fits a byte. Sum
// is wide enough for the sums.
template <typename Sum>
void block_value(const Sum sums[4], Sum n, uint8_t value[4]) {
  const Sum alpha_sum = sums[kAlpha];
  if (alpha_sum < n) {
    std::fill(value, value + 4, 0);
    return;
  }
  for (int c = kBlue; c <= kRed; ++c) {
    value[c] = static_cast<uint8_t>(sums[c] / alpha_sum);
  }
  value[kAlpha] = static_cast<uint8_t>(alpha_sum / n);
}

// The kernel's sums are 32-bit; a larger block is summed in parts of at most
// kMosaicBlockPixelsMax32 pixels (columns, then bands of rows) into 64-bit
// totals, which only then need 64-bit divisions.
template <InstructionSet Set>
void mosaic_block(const BitmapView& view, const Block& b) {
  const int64_t n = int64_t{b.ww} * b.hh;
  uint8_t value[4];
  if (n <= kMosaicBlockPixelsMax32) {
    uint32_t sums[4];
    MosaicKernels<Set>::sum_block(rows_of(view, b.xb, b.yb, b.ww, b.hh), sums);
    block_value<uint32_t>(sums, static_cast<uint32_t>(n), value);
  } else {
    uint64_t totals[4] = {0, 0, 0, 0};
    const int32_t part_width = std::min(b.ww, kMosaicBlockPixelsMax32);
    const int32_t part_height = kMosaicBlockPixelsMax32 / part_width;
    for (int32_t x = b.xb; x < b.xb + b.ww; x += part_width) {
      for (int32_t y = b.yb; y < b.yb + b.hh; y += part_height) {
        const int32_t w = std::min(part_width, b.xb + b.ww - x);
        const int32_t h = std::min(part_height, b.yb + b.hh - y);
        uint32_t sums[4];
        MosaicKernels<Set>::sum_block(rows_of(view, x, y, w, h), sums);
        for (int c = 0; c < 4; ++c) totals[c] += sums[c];
      }
    }
    block_value<uint64_t>(totals, static_cast<uint64_t>(n), value);
  }
  MosaicKernels<Set>::fill_block(rows_of(view, b.xb, b.yb, b.ww, b.hh), value);
}

template <InstructionSet Set>
void mosaic_blocks(const BitmapView& view, int32_t x, int32_t y, int32_t area_width,
                   int32_t area_height, int32_t block_width, int32_t block_height) {
  // The far edges come from the requested corner, before it is clipped. In
  // 64 bits x + area_width and y + area_height can neither wrap past
  // INT32_MAX nor below INT32_MIN; once the area is known to be nonempty they
  // lie within the view and fit 32 bits again.
  const int32_t x0 = std::max(x, 0);
  const int32_t y0 = std::max(y, 0);
  const int64_t x1_wide = std::min<int64_t>(int64_t{x} + area_width, view.width);
  const int64_t y1_wide = std::min<int64_t>(int64_t{y} + area_height, view.height);
  if (x1_wide <= x0 || y1_wide <= y0) return;
  const auto x1 = static_cast<int32_t>(x1_wide);
  const auto y1 = static_cast<int32_t>(y1_wide);

  const int32_t bw = std::max(block_width, 1);
  const int32_t bh = std::max(block_height, 1);

  // The grid starts at the clipped corner (x0, y0). A block is cut at the
  // area's edge (ww = min(bw, x1 - xb)), and the next one starts where it
  // ends: the block starts never pass x1 or y1, so they cannot wrap either.
  for (int32_t yb = y0; yb < y1;) {
    const int32_t hh = std::min(bh, y1 - yb);
    for (int32_t xb = x0; xb < x1;) {
      const Block b{xb, yb, std::min(bw, x1 - xb), hh};
      mosaic_block<Set>(view, b);
      xb += b.ww;
    }
    yb += hh;
  }
}

}  // namespace

void mosaic(const BitmapView& view, int32_t x, int32_t y, int32_t area_width, int32_t area_height,
            int32_t block_width, int32_t block_height, InstructionSet set) {
  with_instruction_set(set, [&](auto isa) {
    mosaic_blocks<decltype(isa)::value>(view, x, y, area_width, area_height, block_width,
                                        block_height);
  });
}

}  // namespace vellora
