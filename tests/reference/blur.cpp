#include <algorithm>
#include <array>
#include <vector>

#include "reference/reference.h"

namespace reference {

namespace {

using Sample = std::array<uint32_t, 4>;  // B, G, R, A (or their means)

// The alpha-weighted mean of samples first .. last of a line, where
// sample(k) gives sample k: each color sum(color * alpha) / sum(alpha), alpha
// sum(alpha) / n; all zero when sum(alpha) < n.
template <typename SampleAt>
Sample mean_of(int64_t first, int64_t last, SampleAt sample) {
  uint32_t weighted[3] = {0, 0, 0}, alpha_sum = 0;
  for (int64_t k = first; k <= last; ++k) {
    const Sample s = sample(k);
    for (int c = 0; c < 3; ++c) weighted[c] += s[c] * s[3];
    alpha_sum += s[3];
  }
  const auto n = static_cast<uint32_t>(last - first + 1);
  if (alpha_sum < n) return {0, 0, 0, 0};
  return {weighted[0] / alpha_sum, weighted[1] / alpha_sum, weighted[2] / alpha_sum, alpha_sum / n};
}

}  // namespace

// A row pass, whose truncated means are the samples of a column pass; each
// window is the samples within the radius that lie inside the bitmap, summed
// afresh. The windows are symmetric, so the bottom-up storage plays no part.
void blur(const Pixels& image, int32_t radius) {
  if (radius <= 0 || image.width <= 0 || image.height <= 0) return;
  const int64_t r = std::min(radius, 1000);
  const int64_t w = image.width, h = image.height;
  std::vector<Sample> row_means(static_cast<size_t>(w * h));
  for (int64_t y = 0; y < h; ++y) {
    for (int64_t x = 0; x < w; ++x) {
      row_means[static_cast<size_t>(y * w + x)] =
          mean_of(std::max<int64_t>(x - r, 0), std::min(x + r, w - 1), [&](int64_t k) {
            const uint8_t* p = pixel(image, k, y);
            return Sample{p[0], p[1], p[2], p[3]};
          });
    }
  }
  for (int64_t y = 0; y < h; ++y) {
    for (int64_t x = 0; x < w; ++x) {
      const Sample m = mean_of(std::max<int64_t>(y - r, 0), std::min(y + r, h - 1), [&](int64_t k) {
        return row_means[static_cast<size_t>(k * w + x)];
      });
      uint8_t* p = pixel(image, x, y);
      for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(m[c]);
    }
  }
}

}  // namespace reference
