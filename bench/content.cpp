#include "content.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <random>
#include <vector>

namespace bench {

std::string name_of(Content content) {
  switch (content) {
    case Content::kNoise:
      return "noise";
    case Content::kSprite:
      return "sprite";
    case Content::kScreen:
      return "screen";
    case Content::kLayer:
      return "layer";
    case Content::kSoftSprite:
      return "soft_sprite";
  }
  return "?";
}

namespace {

uint8_t clamp_byte(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// Alpha falling from 255 at the centre's plateau to 0 at the rim, linearly
// over the outer `soft` pixels of the radius.
int32_t disc_alpha(int32_t dx, int32_t dy, int32_t radius, int32_t soft) {
  const int32_t d2 = dx * dx + dy * dy;
  const int32_t inner = std::max(radius - soft, 0);
  if (d2 <= inner * inner) return 255;
  if (d2 >= radius * radius) return 0;
  // The distance, found without floating point: the largest d with d * d <= d2.
  int32_t lo = inner, hi = radius;  // lo * lo <= d2 < hi * hi
  while (hi - lo > 1) {
    const int32_t mid = (lo + hi) / 2;
    (mid * mid <= d2 ? lo : hi) = mid;
  }
  return 255 * (radius - lo) / std::max(radius - inner, 1);
}

}  // namespace

void fill(uint8_t* pixels, int32_t width, int32_t height, Content content, uint32_t seed) {
  std::mt19937 rng(seed);
  // Light blobs of the layer: centre, radius and colour.
  struct Blob {
    int32_t x, y, radius;
    uint8_t b, g, r;
  };
  Blob blobs[12];
  for (Blob& blob : blobs) {
    blob = Blob{static_cast<int32_t>(rng() % static_cast<uint32_t>(width)),
                static_cast<int32_t>(rng() % static_cast<uint32_t>(height)),
                16 + static_cast<int32_t>(rng() % 96u),
                static_cast<uint8_t>(rng()),
                static_cast<uint8_t>(rng()),
                static_cast<uint8_t>(rng())};
  }
  const int32_t cell = std::min(width, 64);  // one sprite disc per cell
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = pixels + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4;
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = row + static_cast<size_t>(x) * 4;
      const uint32_t bits = rng();
      switch (content) {
        case Content::kNoise:
          std::memcpy(p, &bits, 4);
          break;
        case Content::kSprite: {
          p[0] = static_cast<uint8_t>(40 + (x * 3) % 200);
          p[1] = static_cast<uint8_t>(90 + (y * 5) % 160);
          p[2] = static_cast<uint8_t>(200 - (x + y) % 150);
          const int32_t dx = x % cell - cell / 2, dy = y % cell - cell / 2;
          const int32_t d2 = dx * dx + dy * dy;
          const int32_t inner = (cell / 2 - 2) * (cell / 2 - 2), outer = (cell / 2) * (cell / 2);
          p[3] = d2 <= inner   ? 255
                 : d2 >= outer ? 0
                               : static_cast<uint8_t>(255 * (outer - d2) / (outer - inner));
          break;
        }
        case Content::kScreen: {
          // 32 x 32 tiles of a few base colours, each with a little texture.
          const uint32_t tile = static_cast<uint32_t>((x / 32) * 7 + (y / 32) * 13) % 5;
          const int32_t texture = static_cast<int32_t>(bits % 24) - 12;
          p[0] = clamp_byte(static_cast<int32_t>(60 + 35 * tile) + texture);
          p[1] = clamp_byte(static_cast<int32_t>(120 + 20 * tile) + texture);
          p[2] = clamp_byte(static_cast<int32_t>(180 - 30 * tile) + texture);
          p[3] = 255;
          break;
        }
        case Content::kLayer:
          // Fog whose colour and alpha drift across the screen; the lights
          // are laid over it below.
          p[0] = static_cast<uint8_t>(90 + (x * 40) / width);
          p[1] = static_cast<uint8_t>(80 + (y * 60) / height);
          p[2] = 70;
          p[3] = static_cast<uint8_t>(40 + ((x + 2 * y) % 97));
          break;
        case Content::kSoftSprite: {
          const int32_t radius = std::min(width, height) / 2;
          p[0] = static_cast<uint8_t>(60 + 6 * x);
          p[1] = static_cast<uint8_t>(200 - 5 * y);
          p[2] = static_cast<uint8_t>(120 + 3 * (x + y));
          p[3] = static_cast<uint8_t>(
              disc_alpha(2 * x + 1 - width, 2 * y + 1 - height, 2 * radius, 2 * radius / 3));
          break;
        }
      }
    }
  }
  if (content != Content::kLayer) return;
  for (const Blob& blob : blobs) {
    for (int32_t y = std::max(blob.y - blob.radius, 0); y < std::min(blob.y + blob.radius, height);
         ++y) {
      uint8_t* row = pixels + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4;
      for (int32_t x = std::max(blob.x - blob.radius, 0); x < std::min(blob.x + blob.radius, width);
           ++x) {
        uint8_t* p = row + static_cast<size_t>(x) * 4;
        const int32_t light = disc_alpha(x - blob.x, y - blob.y, blob.radius, blob.radius);
        p[0] = clamp_byte(p[0] + (blob.b - p[0]) * light / 255);
        p[1] = clamp_byte(p[1] + (blob.g - p[1]) * light / 255);
        p[2] = clamp_byte(p[2] + (blob.r - p[2]) * light / 255);
        p[3] = clamp_byte(p[3] + (255 - p[3]) * light / 255);
      }
    }
  }
}

vellora::BitmapView kept_bitmap(int32_t width, int32_t height, Content content, uint32_t seed) {
  static std::deque<std::vector<uint8_t>> kept;
  std::vector<uint8_t>& bytes =
      kept.emplace_back(size_t{4} * static_cast<size_t>(width) * static_cast<size_t>(height));
  fill(bytes.data(), width, height, content, seed);
  return vellora::BitmapView{width, height, bytes.data()};
}

std::string size_name(const vellora::BitmapView& view) {
  return std::to_string(view.width) + "x" + std::to_string(view.height);
}

size_t bytes_of(const vellora::BitmapView& view) {
  return static_cast<size_t>(vellora::byte_size(view));
}

}  // namespace bench
