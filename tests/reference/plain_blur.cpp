#include "reference/plain_blur.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "vellora.h"

namespace vellora::plain {

namespace {

// Sums stay far from wrapping: a window holds at most 2,001 samples, so no
// weighted sum exceeds 2,001 * 255 * 255 = 130,115,025 and no alpha sum
// exceeds 2,001 * 255 = 510,255, in either pass.

// A pixel as a sample of the row pass:
//   red_sum += red * alpha, green_sum += green * alpha, blue_sum += blue * alpha,
//   alpha_sum += alpha, count += 1
void add_pixel(BlurSums& s, const uint8_t* p) {
  const uint32_t alpha = p[kAlpha];
  s.red_sum += p[kRed] * alpha;
  s.green_sum += p[kGreen] * alpha;
  s.blue_sum += p[kBlue] * alpha;
  s.alpha_sum += alpha;
  s.count += 1;
}

void remove_pixel(BlurSums& s, const uint8_t* p) {
  const uint32_t alpha = p[kAlpha];
  s.red_sum -= p[kRed] * alpha;
  s.green_sum -= p[kGreen] * alpha;
  s.blue_sum -= p[kBlue] * alpha;
  s.alpha_sum -= alpha;
  s.count -= 1;
}

// A finished row-pass record h as a sample of the column pass: its truncated
// mean colors weighted by its truncated mean alpha,
//   red_sum += h.red_sum * h.alpha_sum, ..., alpha_sum += h.alpha_sum, count += 1
void add_record(BlurSums& s, const BlurSums& h) {
  s.red_sum += h.red_sum * h.alpha_sum;
  s.green_sum += h.green_sum * h.alpha_sum;
  s.blue_sum += h.blue_sum * h.alpha_sum;
  s.alpha_sum += h.alpha_sum;
  s.count += 1;
}

void remove_record(BlurSums& s, const BlurSums& h) {
  s.red_sum -= h.red_sum * h.alpha_sum;
  s.green_sum -= h.green_sum * h.alpha_sum;
  s.blue_sum -= h.blue_sum * h.alpha_sum;
  s.alpha_sum -= h.alpha_sum;
  s.count -= 1;
}

// Turns a row-pass record's sums into its means, in place:
//   alpha_sum < count: red, green, blue, alpha = 0
//   otherwise: red_sum / alpha_sum, green_sum / alpha_sum, blue_sum / alpha_sum,
//              alpha_sum / count
// alpha_sum < count is exactly "the truncated mean alpha is 0", and it keeps
// both divisors nonzero (count >= 1). count itself is kept.
void finish_record(BlurSums& s) {
  if (s.alpha_sum < s.count) {
    s.red_sum = s.green_sum = s.blue_sum = s.alpha_sum = 0;
    return;
  }
  s.red_sum /= s.alpha_sum;
  s.green_sum /= s.alpha_sum;
  s.blue_sum /= s.alpha_sum;
  s.alpha_sum /= s.count;
}

// A pixel from a column-pass record, which keeps its sums:
//   alpha_sum < count: (0, 0, 0, 0)
//   otherwise: blue_sum / alpha_sum, green_sum / alpha_sum, red_sum / alpha_sum,
//              alpha_sum / count
// Each quotient is a mean of values of at most 255, so it fits a byte.
void write_pixel(uint8_t* p, const BlurSums& v) {
  if (v.alpha_sum < v.count) {
    p[kBlue] = p[kGreen] = p[kRed] = p[kAlpha] = 0;
    return;
  }
  p[kBlue] = static_cast<uint8_t>(v.blue_sum / v.alpha_sum);
  p[kGreen] = static_cast<uint8_t>(v.green_sum / v.alpha_sum);
  p[kRed] = static_cast<uint8_t>(v.red_sum / v.alpha_sum);
  p[kAlpha] = static_cast<uint8_t>(v.alpha_sum / v.count);
}

// Reads only the pixels, writes only the row-pass array: record s * width + c
// ends up holding the means of the window around column c of stored row s.
void horizontal_pass(const BitmapView& view, int32_t r, BlurSums* horizontal) {
  const int32_t width = view.width;
  for (int32_t s = 0; s < view.height; ++s) {
    const uint8_t* row = stored_row(view, s);
    BlurSums* rec = horizontal + static_cast<size_t>(s) * static_cast<size_t>(width);

    rec[0] = BlurSums{};
    const int32_t first_window_end = std::min(r, width - 1);
    for (int32_t c = 0; c <= first_window_end; ++c) add_pixel(rec[0], row + c * kBytesPerPixel);

    // Each window is the previous one moved right by a column; the previous
    // record is finished only once its sums have been carried over.
    for (int32_t j = 1; j < width; ++j) {
      rec[j] = rec[j - 1];
      finish_record(rec[j - 1]);
      if (j > r) remove_pixel(rec[j], row + (j - r - 1) * kBytesPerPixel);
      if (j + r < width) add_pixel(rec[j], row + (j + r) * kBytesPerPixel);
    }
    finish_record(rec[width - 1]);
  }
}

// Reads only the row-pass array, writes only the pixels. A column's records
// depend only on that column, so the columns advance together, a stored row
// at a time, which visits both arrays and the pixels in memory order.
void vertical_pass(const BitmapView& view, int32_t r, const BlurSums* horizontal,
                   BlurSums* vertical) {
  const size_t width = static_cast<size_t>(view.width);
  const int32_t height = view.height;

  for (size_t c = 0; c < width; ++c) vertical[c] = BlurSums{};
  const int32_t first_window_end = std::min(r, height - 1);
  for (int32_t s = 0; s <= first_window_end; ++s) {
    const BlurSums* h = horizontal + static_cast<size_t>(s) * width;
    for (size_t c = 0; c < width; ++c) add_record(vertical[c], h[c]);
  }
  uint8_t* row = stored_row(view, 0);
  for (size_t c = 0; c < width; ++c) write_pixel(row + c * kBytesPerPixel, vertical[c]);

  for (int32_t j = 1; j < height; ++j) {
    const BlurSums* above = vertical + static_cast<size_t>(j - 1) * width;
    BlurSums* v = vertical + static_cast<size_t>(j) * width;
    const BlurSums* leaving = j > r ? horizontal + static_cast<size_t>(j - r - 1) * width : nullptr;
    const BlurSums* entering =
        j + r < height ? horizontal + static_cast<size_t>(j + r) * width : nullptr;
    row = stored_row(view, j);
    for (size_t c = 0; c < width; ++c) {
      v[c] = above[c];
      if (leaving != nullptr) remove_record(v[c], leaving[c]);
      if (entering != nullptr) add_record(v[c], entering[c]);
      write_pixel(row + c * kBytesPerPixel, v[c]);
    }
  }
}

}  // namespace

uint64_t blur_scratch_bytes(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return uint64_t{2} * sizeof(BlurSums) * static_cast<uint64_t>(width) *
         static_cast<uint64_t>(height);
}

int32_t blur(const BitmapView& view, int32_t radius) {
  if (radius <= 0 || pixel_count(view) == 0) return VELLORA_OK;
  const int32_t r = std::min(radius, kBlurRadiusMax);

  // Both arrays are had before a pixel is read or written, so a failure
  // leaves the bitmap as it was. A size the address space cannot hold is a
  // failure too, never a short array.
  const uint64_t scratch_bytes = blur_scratch_bytes(view.width, view.height);
  if (scratch_bytes > SIZE_MAX) return ERR_OUT_OF_MEMORY;
  const size_t array_bytes = static_cast<size_t>(scratch_bytes / 2);
  auto* horizontal = static_cast<BlurSums*>(std::malloc(array_bytes));
  if (horizontal == nullptr) return ERR_OUT_OF_MEMORY;
  auto* vertical = static_cast<BlurSums*>(std::malloc(array_bytes));
  if (vertical == nullptr) {
    std::free(horizontal);
    return ERR_OUT_OF_MEMORY;
  }

  horizontal_pass(view, r, horizontal);
  vertical_pass(view, r, horizontal, vertical);

  std::free(vertical);
  std::free(horizontal);
  return VELLORA_OK;
}

}  // namespace vellora::plain
