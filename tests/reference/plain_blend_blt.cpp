#include "reference/plain_blend_blt.h"

#include <algorithm>
#include <cstddef>

#include "reference/plain_blend.h"

namespace vellora::plain {

namespace {

// One axis of the clip, on an origin d in the destination (size dst_size), an
// origin s in the source (size src_size) and a length n. Cutting one origin
// moves the other by the same amount, so the pairing is kept. In 64 bits, so
// that no sum of 32-bit arguments can overflow; in-range values clip exactly
// as they would in 32 bits.
void clip_axis(int64_t* d, int64_t* s, int64_t* n, int64_t dst_size, int64_t src_size) {
  if (*s < 0) {
    *d -= *s;
    *n += *s;
    *s = 0;
  }
  if (*s + *n > src_size) *n = src_size - *s;
  if (*d < 0) {
    *s -= *d;
    *n += *d;
    *d = 0;
  }
  if (*d + *n > dst_size) *n = dst_size - *d;
}

}  // namespace

bool clip_blend_area(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
                     int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height,
                     BlendArea* area) {
  if (dst_x >= dst.width || dst_y >= dst.height) return false;

  int64_t dx = dst_x, sx = src_x, w = area_width;
  int64_t dy = dst_y, sy = src_y, h = area_height;
  clip_axis(&dx, &sx, &w, dst.width, src.width);
  clip_axis(&dy, &sy, &h, dst.height, src.height);
  if (w <= 0 || h <= 0) return false;

  // Now 0 <= dx, dx + w <= DW and 0 <= sx, sx + w <= SW (likewise in y), so
  // every value fits in 32 bits.
  *area = BlendArea{static_cast<int32_t>(dx), static_cast<int32_t>(dy), static_cast<int32_t>(sx),
                    static_cast<int32_t>(sy), static_cast<int32_t>(w),  static_cast<int32_t>(h)};
  return true;
}

void blend_area(const BitmapView& dst, const BitmapView& src, const BlendArea& area, int32_t mode,
                int32_t opacity) {
  // Rows are stored bottom-up: one row down the image is one stored row back.
  const size_t dst_stride = static_cast<size_t>(row_bytes(dst));
  const size_t src_stride = static_cast<size_t>(row_bytes(src));
  for (int32_t i = 0; i < area.width; ++i) {
    uint8_t* d = image_pixel(dst, area.dst_x + i, area.dst_y);
    const uint8_t* s = image_pixel(src, area.src_x + i, area.src_y);
    for (int32_t j = 0;;) {
      blend_pixel(d, s, mode, opacity);
      if (++j == area.height) break;  // no step past the area's bottom row
      d -= dst_stride;
      s -= src_stride;
    }
  }
}

void blend_blt(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
               int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height, int32_t mode,
               int32_t opacity) {
  BlendArea area;
  if (!clip_blend_area(dst, src, dst_x, dst_y, src_x, src_y, area_width, area_height, &area)) {
    return;
  }
  blend_area(dst, src, area, mode, std::clamp(opacity, 0, kOpacityMax));
}

}  // namespace vellora::plain
