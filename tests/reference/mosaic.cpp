#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "reference/reference.h"

namespace reference {

// The clipped area is columns x0 .. x1 - 1 and rows y0 .. y1 - 1, its far
// edges taken from the requested corner. The pixel (px, py) belongs to the
// block that starts at x0 + (px - x0) / bw * bw, y0 + (py - y0) / bh * bh and
// ends at the block size or the area's edge. A block's value is its
// alpha-weighted mean, (0, 0, 0, 0) when its mean alpha is below 1. Every
// block is summed from the pixels as they were before the call.
void mosaic(const Pixels& image, int32_t x, int32_t y, int32_t area_width, int32_t area_height,
            int32_t block_width, int32_t block_height) {
  const int64_t x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int64_t x1 = std::min<int64_t>(int64_t{x} + area_width, image.width);
  const int64_t y1 = std::min<int64_t>(int64_t{y} + area_height, image.height);
  const int64_t bw = std::max(block_width, 1), bh = std::max(block_height, 1);
  using Value = std::array<uint8_t, 4>;
  std::map<std::pair<int64_t, int64_t>, Value> values;
  const auto value_of_block = [&](int64_t bx, int64_t by) {
    const int64_t bx_end = std::min(bx + bw, x1), by_end = std::min(by + bh, y1);
    int64_t sums[4] = {0, 0, 0, 0};
    for (int64_t yy = by; yy < by_end; ++yy) {
      for (int64_t xx = bx; xx < bx_end; ++xx) {
        const uint8_t* p = pixel(image, xx, yy);
        for (int c = 0; c < 3; ++c) sums[c] += int64_t{p[c]} * p[3];
        sums[3] += p[3];
      }
    }
    const int64_t n = (bx_end - bx) * (by_end - by);
    Value v{0, 0, 0, 0};
    if (sums[3] >= n) {
      for (int c = 0; c < 3; ++c)
        v[c] = static_cast<uint8_t>(std::min<int64_t>(sums[c] / sums[3], 255));
      v[3] = static_cast<uint8_t>(sums[3] / n);
    }
    return v;
  };
  for (int64_t py = y0; py < y1; ++py) {
    for (int64_t px = x0; px < x1; ++px) {
      const std::pair<int64_t, int64_t> block{x0 + (px - x0) / bw * bw, y0 + (py - y0) / bh * bh};
      if (values.count(block) == 0) values[block] = value_of_block(block.first, block.second);
    }
  }
  for (int64_t py = y0; py < y1; ++py) {
    for (int64_t px = x0; px < x1; ++px) {
      const Value& v = values[{x0 + (px - x0) / bw * bw, y0 + (py - y0) / bh * bh}];
      std::copy(v.begin(), v.end(), pixel(image, px, py));
    }
  }
}

}  // namespace reference
