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
               int32_t outside_value, const MaskCover& cover, int32_t first_row, int32_t end_row) {
  const int32_t w = target.width;
  const int32_t h = target.height;
  const int32_t x0 = cover.left, x1 = cover.right, y0 = cover.top, y1 = cover.bottom;
  // Each pixel depends only on itself and one mask byte, so the rows are
  // walked in stored order.
  for (int32_t s = h - end_row; s < h - first_row; ++s) {
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

MaskCover mask_cover(const BitmapView& target, const BitmapView& mask, int32_t offset_x,
                     int32_t offset_y) {
  const int32_t w = target.width;
  const int32_t h = target.height;
  return MaskCover{clamp_to(offset_x, 0, w), clamp_to(offset_y, 0, h),
                   clamp_to(int64_t{offset_x} + mask.width, 0, w),
                   clamp_to(int64_t{offset_y} + mask.height, 0, h)};
}

void clip_mask_rows(const BitmapView& target, const BitmapView& mask, int32_t offset_x,
                    int32_t offset_y, int32_t outside_value, const MaskCover& cover,
                    int32_t first_row, int32_t end_row, InstructionSet set) {
  with_instruction_set(set, [&](auto isa) {
    clip_rows<decltype(isa)::value>(target, mask, offset_x, offset_y, outside_value, cover,
                                    first_row, end_row);
  });
}

}  // namespace vellora
