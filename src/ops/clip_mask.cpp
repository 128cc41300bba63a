#include "ops/clip_mask.h"

#include <algorithm>

#include "ops/kernels/kernels.h"

namespace vellora {

namespace {

// v clamped to lo..hi, where lo <= hi fit in int32_t.
int32_t clamp_to(int64_t v, int32_t lo, int32_t hi) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, lo, hi));
}

template <InstructionSet Set>
void clip_span_by_value(uint8_t* p, int32_t m, int32_t n) {
  if (m == 255) return;  // a * 255 / 255 == a: nothing changes
  ClipMaskKernels<Set>::clip_alpha_by_value(p, m, n);
}

template <InstructionSet Set>
void clip_rows(const BitmapView& target, const BitmapView& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value) {
  const int32_t w = target.width;
  const int32_t h = target.height;
  // The covered part of the target: columns x0..x1 - 1, rows y0..y1 - 1.
  // Offsets may be anything, so the far edges are formed in 64 bits. A mask
  // without pixels is 0 x 0 and covers nothing.
  const int32_t x0 = clamp_to(offset_x, 0, w);
  const int32_t x1 = clamp_to(int64_t{offset_x} + mask.width, 0, w);
  const int32_t y0 = clamp_to(offset_y, 0, h);
  const int32_t y1 = clamp_to(int64_t{offset_y} + mask.height, 0, h);

  // Each pixel depends only on itself and one mask byte, so the rows are
  // walked in stored order.
  for (int32_t s = 0; s < h; ++s) {
    const int32_t y = h - 1 - s;
    uint8_t* row = stored_row(target, s);
    if (y < y0 || y >= y1 || x0 == x1) {
      clip_span_by_value<Set>(row, outside_value, w);
      continue;
    }
    const int32_t mask_y = static_cast<int32_t>(int64_t{y} - offset_y);
    const int32_t mask_x = static_cast<int32_t>(int64_t{x0} - offset_x);
    const uint8_t* mask_row = image_pixel(mask, mask_x, mask_y);
    clip_span_by_value<Set>(row, outside_value, x0);
    ClipMaskKernels<Set>::clip_alpha_by_mask(row + static_cast<size_t>(x0) * kBytesPerPixel,
                                             mask_row, x1 - x0);
    clip_span_by_value<Set>(row + static_cast<size_t>(x1) * kBytesPerPixel, outside_value, w - x1);
  }
}

}  // namespace

void clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value, InstructionSet set) {
  with_instruction_set(set, [&](auto isa) {
    clip_rows<decltype(isa)::value>(target, mask, offset_x, offset_y, outside_value);
  });
}

}  // namespace vellora
