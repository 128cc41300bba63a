#include <algorithm>

#include "reference/reference.h"

namespace reference {

// Toward white: ch + (255 - ch) * v / 256, the quotient floored; toward
// black: ch * (256 + v) / 256, floored.
int32_t tone_channel(int32_t ch, int32_t v) {
  if (v > 0) return ch + (255 - ch) * v / 256;
  if (v < 0) return ch * (256 + v) / 256;
  return ch;
}

void change_tone(const Pixels& image, int32_t red, int32_t green, int32_t blue,
                 bool skip_transparent) {
  const int32_t amounts[3] = {std::clamp(blue, -256, 256), std::clamp(green, -256, 256),
                              std::clamp(red, -256, 256)};
  for (int64_t y = 0; y < image.height; ++y) {
    for (int64_t x = 0; x < image.width; ++x) {
      uint8_t* p = pixel(image, x, y);
      if (skip_transparent && p[3] == 0) continue;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(tone_channel(p[c], amounts[c]));
    }
  }
}

void invert_color(const Pixels& image) {
  for (int64_t y = 0; y < image.height; ++y) {
    for (int64_t x = 0; x < image.width; ++x) {
      uint8_t* p = pixel(image, x, y);
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(255 - p[c]);
    }
  }
}

}  // namespace reference
