#include "reference/reference.h"

namespace reference {

// Column by column, each from the top: m is the blue byte of the mask pixel
// over the target pixel, or outside_value where the mask does not reach; the
// alpha becomes the low 8 bits of m * alpha / 255, truncated toward zero (the
// product taken in 64 bits, so that every m is defined).
void clip_mask(const Pixels& target, const Pixels& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value) {
  for (int64_t x = 0; x < target.width; ++x) {
    for (int64_t y = 0; y < target.height; ++y) {
      const int64_t mx = x - offset_x, my = y - offset_y;
      const int64_t m = contains(mask, mx, my) ? pixel(mask, mx, my)[0] : outside_value;
      uint8_t* p = pixel(target, x, y);
      p[3] = static_cast<uint8_t>(static_cast<uint64_t>(m * p[3] / 255));
    }
  }
}

}  // namespace reference
