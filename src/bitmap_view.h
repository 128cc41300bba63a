// A resolved bitmap: the seam between the host binding, which makes one from
// a handle, and the operations, which work on it and know nothing of handles.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora {

// Valid for one call only. After CallResolution::pixels() either both sizes are
// positive and width * height * 4 fits in int32_t, or both are 0.
struct BitmapView {
  int32_t width;
  int32_t height;
  uint8_t* pixels;
};

inline constexpr int32_t kBytesPerPixel = 4;

// BGRA byte order of a stored pixel.
inline constexpr int kBlue = 0;
inline constexpr int kGreen = 1;
inline constexpr int kRed = 2;
inline constexpr int kAlpha = 3;

inline int32_t pixel_count(const BitmapView& view) { return view.width * view.height; }

inline int32_t byte_size(const BitmapView& view) { return pixel_count(view) * kBytesPerPixel; }

inline int32_t row_bytes(const BitmapView& view) { return view.width * kBytesPerPixel; }

// Stored row s (0 is the bottom row of the image).
inline uint8_t* stored_row(const BitmapView& view, int32_t s) {
  return view.pixels + static_cast<size_t>(s) * static_cast<size_t>(row_bytes(view));
}

// Image pixel (x, y), y counted from the top: rows are stored bottom-up.
inline uint8_t* image_pixel(const BitmapView& view, int32_t x, int32_t y) {
  return stored_row(view, view.height - 1 - y) + static_cast<size_t>(x) * kBytesPerPixel;
}

}  // namespace vellora
