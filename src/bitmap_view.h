// A resolved bitmap: the seam between the host binding, which makes one from
// a handle, and the operations, which work on it and know nothing of handles.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora {

// Two kinds of view, kept apart by their types; both are valid for one call
// only.
//
// A bitmap as its info header describes it: the sizes as the header stores
// them (any value, 0 and negative ones included) and the record's pixels
// pointer. What GetAddress, the PNG save (whose encoder judges the sizes
// itself) and the resize work from.
struct HeaderView {
  int32_t width;
  int32_t height;
  uint8_t* pixels;
};

// A bitmap with its sizes normalised, what the pixel operations take: either
// both sizes are positive and width * height * 4 fits in int32_t, or both are
// 0 (a header with a side of 0 or less has no pixels).
struct BitmapView {
  int32_t width;
  int32_t height;
  uint8_t* pixels;
};

// The operations that touch only some rows of a bitmap (an area's rows) ask
// before they touch them: rows_ready(first, count), for image rows first ..
// first + count - 1, returns 0 when they may be touched, or the status to
// return with nothing touched. The exports pass the host's check of those
// rows; tests and tools that own the memory pass this one.
struct RowsAlwaysReady {
  int32_t operator()(int32_t, int32_t) const { return 0; }
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
