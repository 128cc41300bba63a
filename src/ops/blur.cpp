#include "ops/blur.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "vellora.h"

namespace vellora {

namespace {

// Sums stay far from wrapping: a window holds at most 2,001 samples, so no
// weighted sum exceeds 2,001 * 255 * 255 = 130,115,025 and no alpha sum
// exceeds 2,001 * 255 = 510,255, in either pass.
//
// Scratch: the row pass's finished records keep only their means, each
// 0..255, so a record is stored as four bytes in the pixel's own order
// (blue, green, red, alpha mean), and only for the rows that the column
// pass's window still holds or is about to take in: a ring of 2r + 2 rows
// (or every row, when the bitmap has fewer). The column pass needs one
// running record per column, kept as four 32-bit sums in the same order
// (blue * alpha, green * alpha, red * alpha, alpha), and one count for the
// whole row, since every column's window spans the same rows.

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

// A row-pass record's means, stored as four bytes at m:
//   alpha_sum < count: red, green, blue, alpha = 0
//   otherwise: red_sum / alpha_sum, green_sum / alpha_sum, blue_sum / alpha_sum,
//              alpha_sum / count
// alpha_sum < count is exactly "the truncated mean alpha is 0", and it keeps
// both divisors nonzero (count >= 1).
void store_means(uint8_t* m, const BlurSums& s) {
  if (s.alpha_sum < s.count) {
    std::memset(m, 0, kBytesPerPixel);
    return;
  }
  m[kBlue] = static_cast<uint8_t>(s.blue_sum / s.alpha_sum);
  m[kGreen] = static_cast<uint8_t>(s.green_sum / s.alpha_sum);
  m[kRed] = static_cast<uint8_t>(s.red_sum / s.alpha_sum);
  m[kAlpha] = static_cast<uint8_t>(s.alpha_sum / s.count);
}

// The row pass over one stored row: means[c] gets the means of the window
// around column c. Each window is the previous one moved right by a column,
// its record finished from the sums before the move.
void row_pass(const uint8_t* row, int32_t width, int32_t r, uint8_t* means) {
  BlurSums sums{};
  const int32_t first_window_end = std::min(r, width - 1);
  for (int32_t c = 0; c <= first_window_end; ++c) add_pixel(sums, row + c * kBytesPerPixel);
  store_means(means, sums);
  for (int32_t j = 1; j < width; ++j) {
    if (j > r) remove_pixel(sums, row + (j - r - 1) * kBytesPerPixel);
    if (j + r < width) add_pixel(sums, row + (j + r) * kBytesPerPixel);
    store_means(means + j * kBytesPerPixel, sums);
  }
}

// The column sums take in (sign +1) or give up (sign -1) one row of finished
// row-pass records, each as a sample of the column pass: its truncated mean
// colors weighted by its truncated mean alpha,
//   blue_sum += blue * alpha, green_sum += green * alpha,
//   red_sum += red * alpha, alpha_sum += alpha
// Unsigned arithmetic wraps, so an addition followed by a subtraction of the
// same amounts is exact.
template <int Sign>
void update_columns(uint32_t* sums, const uint8_t* means, int32_t width) {
  int32_t c = 0;
#if defined(__SSE2__)
  // Four columns at a time: each mean pixel's (B * A, G * A, R * A, A) in
  // 16-bit lanes (products of bytes, at most 65,025), widened to 32 bits.
  const __m128i zero = _mm_setzero_si128();
  const __m128i colors16 = _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0);
  const __m128i alpha_one16 = _mm_setr_epi16(0, 0, 0, 1, 0, 0, 0, 1);
  for (; c + 4 <= width; c += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(means + c * kBytesPerPixel));
    __m128i* s = reinterpret_cast<__m128i*>(sums + static_cast<size_t>(c) * 4);
    for (int half = 0; half < 2; ++half) {
      const __m128i two = half == 0 ? _mm_unpacklo_epi8(x, zero) : _mm_unpackhi_epi8(x, zero);
      const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(two, _MM_SHUFFLE(3, 3, 3, 3)),
                                                _MM_SHUFFLE(3, 3, 3, 3));
      const __m128i weight = _mm_or_si128(_mm_and_si128(alpha, colors16), alpha_one16);
      const __m128i products = _mm_mullo_epi16(two, weight);
      const __m128i first = _mm_unpacklo_epi16(products, zero);
      const __m128i second = _mm_unpackhi_epi16(products, zero);
      __m128i* at = s + 2 * half;
      if constexpr (Sign > 0) {
        _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), first));
        _mm_storeu_si128(at + 1, _mm_add_epi32(_mm_loadu_si128(at + 1), second));
      } else {
        _mm_storeu_si128(at, _mm_sub_epi32(_mm_loadu_si128(at), first));
        _mm_storeu_si128(at + 1, _mm_sub_epi32(_mm_loadu_si128(at + 1), second));
      }
    }
  }
#endif
  for (; c < width; ++c) {
    const uint8_t* m = means + c * kBytesPerPixel;
    uint32_t* s = sums + static_cast<size_t>(c) * 4;
    const uint32_t alpha = m[kAlpha];
    const uint32_t weighted[4] = {m[kBlue] * alpha, m[kGreen] * alpha, m[kRed] * alpha, alpha};
    for (int k = 0; k < 4; ++k) s[k] = Sign > 0 ? s[k] + weighted[k] : s[k] - weighted[k];
  }
}

// One stored row of pixels from the column sums, whose windows all hold
// `count` samples:
//   alpha_sum < count: (0, 0, 0, 0)
//   otherwise: blue_sum / alpha_sum, green_sum / alpha_sum, red_sum / alpha_sum,
//              alpha_sum / count
// Each quotient is a mean of values of at most 255, so it fits a byte.
void write_row(uint8_t* row, const uint32_t* sums, int32_t width, uint32_t count) {
  for (int32_t c = 0; c < width; ++c, row += kBytesPerPixel, sums += 4) {
    const uint32_t alpha_sum = sums[kAlpha];
    if (alpha_sum < count) {
      std::memset(row, 0, kBytesPerPixel);
      continue;
    }
    row[kBlue] = static_cast<uint8_t>(sums[kBlue] / alpha_sum);
    row[kGreen] = static_cast<uint8_t>(sums[kGreen] / alpha_sum);
    row[kRed] = static_cast<uint8_t>(sums[kRed] / alpha_sum);
    row[kAlpha] = static_cast<uint8_t>(alpha_sum / count);
  }
}

}  // namespace

// Rows of row-pass records kept at a time: the column window at row j
// holds rows j - r .. j + r, and row j - r - 1 is still given up at step j.
int32_t ring_rows(int32_t height, int32_t r) {
  return static_cast<int32_t>(std::min<int64_t>(height, 2 * int64_t{r} + 2));
}

uint64_t blur_scratch_bytes(int32_t width, int32_t height, int32_t radius) {
  if (width <= 0 || height <= 0 || radius <= 0) return 0;
  const int32_t r = std::min(radius, kBlurRadiusMax);
  // A ring of row-pass records, four bytes each, and four sums per column.
  return uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(ring_rows(height, r)) +
         uint64_t{4} * sizeof(uint32_t) * static_cast<uint64_t>(width);
}

int32_t blur(const BitmapView& view, int32_t radius) {
  if (radius <= 0 || pixel_count(view) == 0) return VELLORA_OK;
  const int32_t r = std::min(radius, kBlurRadiusMax);
  const int32_t width = view.width, height = view.height;

  // All scratch is had before a pixel is read or written, so a failure
  // leaves the bitmap as it was. A size the address space cannot hold is a
  // failure too, never a short array.
  const uint64_t scratch_bytes = blur_scratch_bytes(width, height, r);
  if (scratch_bytes > SIZE_MAX) return ERR_OUT_OF_MEMORY;
  auto* scratch = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(scratch_bytes)));
  if (scratch == nullptr) return ERR_OUT_OF_MEMORY;
  const size_t row_stride = static_cast<size_t>(width) * kBytesPerPixel;
  const int32_t ring = ring_rows(height, r);
  uint8_t* const means = scratch;
  auto* const sums = reinterpret_cast<uint32_t*>(means + row_stride * static_cast<size_t>(ring));
  std::memset(sums, 0, static_cast<size_t>(width) * 4 * sizeof(uint32_t));

  // The row pass only reads pixels and the column pass only writes them, a
  // stored row at a time; row s's records are made just before the column
  // pass first takes them in (at row s - r), when row s still holds its
  // pixels, and kept until it gives them up (at row s + r + 1), in ring slot
  // s % ring. So the passes run interleaved, and for small radii the whole
  // ring stays in cache.
  const auto means_of = [&](int32_t s) {
    return means + row_stride * static_cast<size_t>(s % ring);
  };
  const int32_t first_window_end = std::min(r, height - 1);
  for (int32_t s = 0; s <= first_window_end; ++s) {
    row_pass(stored_row(view, s), width, r, means_of(s));
    update_columns<+1>(sums, means_of(s), width);
  }
  auto count = static_cast<uint32_t>(first_window_end + 1);
  write_row(stored_row(view, 0), sums, width, count);
  for (int32_t j = 1; j < height; ++j) {
    if (j > r) {
      update_columns<-1>(sums, means_of(j - r - 1), width);
      --count;
    }
    if (j + r < height) {
      row_pass(stored_row(view, j + r), width, r, means_of(j + r));
      update_columns<+1>(sums, means_of(j + r), width);
      ++count;
    }
    write_row(stored_row(view, j), sums, width, count);
  }

  std::free(scratch);
  return VELLORA_OK;
}

}  // namespace vellora
