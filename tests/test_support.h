// Helpers shared by the test programs: bitmaps filled with known bytes,
// snapshots of a bitmap's pixels, and copies for the references to work on.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "hostsim.h"
#include "reference/reference.h"

namespace vtest {

using Pixel = std::array<uint8_t, 4>;  // B, G, R, A as stored

inline Pixel get(const hostsim::Bitmap& bitmap, int32_t x, int32_t y) {
  Pixel p;
  std::memcpy(p.data(), hostsim::pixel_at(bitmap, x, y), 4);
  return p;
}

inline void put(hostsim::Bitmap& bitmap, int32_t x, int32_t y, Pixel p) {
  std::memcpy(hostsim::pixel_at(bitmap, x, y), p.data(), 4);
}

inline size_t byte_count(const hostsim::Bitmap& bitmap) {
  const int32_t w = hostsim::width_of(bitmap), h = hostsim::height_of(bitmap);
  return (w > 0 && h > 0) ? size_t{4} * static_cast<size_t>(w) * static_cast<size_t>(h) : 0;
}

inline std::vector<uint8_t> snapshot(const hostsim::Bitmap& bitmap) {
  const uint8_t* p = hostsim::pixels_of(bitmap);
  return std::vector<uint8_t>(p, p + byte_count(bitmap));
}

inline void fill(hostsim::Bitmap& bitmap, Pixel p) {
  uint8_t* bytes = hostsim::pixels_of(bitmap);
  for (size_t i = 0; i < byte_count(bitmap); i += 4) std::memcpy(bytes + i, p.data(), 4);
}

inline void fill_random(hostsim::Bitmap& bitmap, uint32_t seed) {
  std::mt19937 rng(seed);
  uint8_t* bytes = hostsim::pixels_of(bitmap);
  for (size_t i = 0; i < byte_count(bitmap); ++i) bytes[i] = static_cast<uint8_t>(rng());
}

// A w x h bitmap of random bytes.
inline hostsim::BitmapPtr random_bitmap(int32_t w, int32_t h, uint32_t seed) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(w, h);
  fill_random(*bitmap, seed);
  return bitmap;
}

// An image given top row first, each row left to right.
inline hostsim::BitmapPtr bitmap_of(int32_t w, int32_t h, const std::vector<Pixel>& image) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) put(*bitmap, x, y, image[static_cast<size_t>(y * w + x)]);
  }
  return bitmap;
}

// The bitmap's pixels top row first, each row left to right.
inline std::vector<Pixel> image_of(const hostsim::Bitmap& bitmap) {
  const int32_t w = hostsim::width_of(bitmap), h = hostsim::height_of(bitmap);
  std::vector<Pixel> image;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) image.push_back(get(bitmap, x, y));
  }
  return image;
}

inline Pixel gray(uint8_t v) { return {v, v, v, 255}; }

// An image (top row first) of random pixels, half the time with alphas that
// lean toward the small values where the fade-out rule and the truncations
// of the alpha-weighted means decide the result.
inline std::vector<Pixel> random_image(int32_t w, int32_t h, std::mt19937& rng) {
  static const uint8_t kAlphas[] = {0, 0, 1, 2, 3, 127, 254, 255, 255};
  std::vector<Pixel> image(static_cast<size_t>(w) * static_cast<size_t>(h));
  const bool mostly_small_alpha = rng() % 2 == 0;
  for (Pixel& p : image) {
    for (int k = 0; k < 3; ++k) p[k] = static_cast<uint8_t>(rng());
    p[3] = mostly_small_alpha ? kAlphas[rng() % 9] : static_cast<uint8_t>(rng());
  }
  return image;
}

// A private copy of a bitmap's stored bytes, which a reference changes in
// place through `pixels`. Movable (the bytes stay where they are), not
// copyable.
struct Copy {
  std::vector<uint8_t> bytes;
  reference::Pixels pixels;

  explicit Copy(const hostsim::Bitmap& bitmap)
      : bytes(snapshot(bitmap)),
        pixels{hostsim::width_of(bitmap), hostsim::height_of(bitmap), bytes.data()} {}
  Copy(Copy&&) = default;
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;

  // The pixels top row first, each row left to right.
  std::vector<Pixel> image() const {
    std::vector<Pixel> out;
    for (int32_t y = 0; y < pixels.height; ++y) {
      for (int32_t x = 0; x < pixels.width; ++x) {
        const uint8_t* p = reference::pixel(pixels, x, y);
        out.push_back({p[0], p[1], p[2], p[3]});
      }
    }
    return out;
  }
};

}  // namespace vtest
