#include <cstddef>

#include "reference/reference.h"

namespace reference {

bool contains(const Pixels& image, int64_t x, int64_t y) {
  return x >= 0 && x < image.width && y >= 0 && y < image.height;
}

uint8_t* pixel(const Pixels& image, int64_t x, int64_t y) {
  const int64_t stored_row = image.height - 1 - y;
  return image.bytes + static_cast<size_t>((stored_row * image.width + x) * 4);
}

}  // namespace reference
