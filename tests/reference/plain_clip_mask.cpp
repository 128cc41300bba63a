#include "reference/plain_clip_mask.h"

namespace vellora::plain {

// For every target pixel: m = the blue byte of the mask pixel over it, or
// outside_value where there is none; alpha = low 8 bits of trunc(m * alpha / 255).
void clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value) {
  for (int32_t x = 0; x < target.width; ++x) {
    for (int32_t y = 0; y < target.height; ++y) {
      const int64_t mx = int64_t{x} - offset_x, my = int64_t{y} - offset_y;
      const bool covered = mx >= 0 && mx < mask.width && my >= 0 && my < mask.height;
      const int64_t m =
          covered ? image_pixel(mask, static_cast<int32_t>(mx), static_cast<int32_t>(my))[kBlue]
                  : outside_value;
      uint8_t* p = image_pixel(target, x, y);
      p[kAlpha] = static_cast<uint8_t>(static_cast<uint64_t>(m * p[kAlpha] / 255));
    }
  }
}

}  // namespace vellora::plain
