#include "reference/plain_blend_blt.h"

#include <algorithm>
#include <cstddef>

#include "reference/plain_blend.h"

namespace vellora::plain {

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
  if (!vellora::clip_blend_area(dst, src, dst_x, dst_y, src_x, src_y, area_width, area_height,
                                &area)) {
    return;
  }
  plain::blend_area(dst, src, area, mode, std::clamp(opacity, 0, kOpacityMax));
}

}  // namespace vellora::plain
