#include "ops/mosaic.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ops/kernels/kernels.h"

namespace vellora {

namespace {

// A block: columns left ... left + width - 1 and image rows top ... top +
// height - 1, all inside the view.
struct Block {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
};

BlockRows rows_of(const BitmapView& view, int32_t left, int32_t top, int32_t width,
                  int32_t height) {
  return BlockRows{image_pixel(view, left, top), static_cast<size_t>(row_bytes(view)), width,
                   height};
}

// The block's value:
//   alpha_sum < n: (0, 0, 0, 0)
//   otherwise: color = color_alpha_sum / alpha_sum, alpha = alpha_sum / n
// over its n = width * height pixels, where color_alpha_sum = sum of
// color * alpha. alpha_sum < n is exactly "the truncated mean alpha is 0",
// and it keeps both divisors nonzero. Each quotient is a mean of bytes, so it
// fits a byte. Sum is wide enough for the sums.
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
  const int64_t n = int64_t{b.width} * b.height;
  uint8_t value[4];
  if (n <= kMosaicBlockPixelsMax32) {
    uint32_t sums[4];
    MosaicKernels<Set>::sum_block(rows_of(view, b.left, b.top, b.width, b.height), sums);
    block_value<uint32_t>(sums, static_cast<uint32_t>(n), value);
  } else {
    uint64_t totals[4] = {0, 0, 0, 0};
    const int32_t part_width = std::min(b.width, kMosaicBlockPixelsMax32);
    const int32_t part_height = kMosaicBlockPixelsMax32 / part_width;
    for (int32_t x = b.left; x < b.left + b.width; x += part_width) {
      for (int32_t y = b.top; y < b.top + b.height; y += part_height) {
        const int32_t w = std::min(part_width, b.left + b.width - x);
        const int32_t h = std::min(part_height, b.top + b.height - y);
        uint32_t sums[4];
        MosaicKernels<Set>::sum_block(rows_of(view, x, y, w, h), sums);
        for (int c = 0; c < 4; ++c) totals[c] += sums[c];
      }
    }
    block_value<uint64_t>(totals, static_cast<uint64_t>(n), value);
  }
  MosaicKernels<Set>::fill_block(rows_of(view, b.left, b.top, b.width, b.height), value);
}

template <InstructionSet Set>
void mosaic_blocks(const BitmapView& view, const MosaicArea& area, int32_t block_width,
                   int32_t block_height) {
  const int32_t width = std::max(block_width, 1);
  const int32_t height = std::max(block_height, 1);
  // The grid starts at the clipped corner. A block is cut at the area's edge,
  // and the next one starts where it ends: the block starts never pass the
  // area's far edges, so they cannot wrap either.
  for (int32_t top = area.top; top < area.bottom;) {
    const int32_t band = std::min(height, area.bottom - top);
    for (int32_t left = area.left; left < area.right;) {
      const Block b{left, top, std::min(width, area.right - left), band};
      mosaic_block<Set>(view, b);
      left += b.width;
    }
    top += band;
  }
}

}  // namespace

bool clip_mosaic_area(const BitmapView& view, int32_t x, int32_t y, int32_t area_width,
                      int32_t area_height, MosaicArea* area) {
  // In 64 bits x + area_width and y + area_height can neither wrap past
  // INT32_MAX nor below INT32_MIN; once the area is known to be nonempty its
  // far edges lie within the view and fit 32 bits again.
  const int32_t left = std::max(x, 0);
  const int32_t top = std::max(y, 0);
  const int64_t right = std::min<int64_t>(int64_t{x} + area_width, view.width);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + area_height, view.height);
  if (right <= left || bottom <= top) return false;
  *area = MosaicArea{left, top, static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
  return true;
}

void mosaic_area(const BitmapView& view, const MosaicArea& area, int32_t block_width,
                 int32_t block_height, InstructionSet set) {
  with_instruction_set(set, [&](auto isa) {
    mosaic_blocks<decltype(isa)::value>(view, area, block_width, block_height);
  });
}

}  // namespace vellora
