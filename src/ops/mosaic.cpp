#include "ops/mosaic.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellora {

namespace {

using Bgra = std::array<uint8_t, 4>;

// A block: columns xb ... xb + ww - 1 and image rows yb ... yb + hh - 1, all
// inside the view.
struct Block {
  int32_t xb;
  int32_t yb;
  int32_t ww;
  int32_t hh;
};

// The block's value, with Sum wide enough for its weighted sums:
//   alpha_sum < n: (0, 0, 0, 0)
//   otherwise: color = min(color_alpha_sum / alpha_sum, 255), alpha = alpha_sum / n
// over its n = ww * hh pixels, where color_alpha_sum = sum of color * alpha.
// alpha_sum < n is exactly "the truncated mean alpha is 0", and it keeps both
// divisors nonzero. The quotients are exact means of bytes, so the cap at
// 255 never changes one.
#if defined(__SSE2__)
// Two pixels in 16-bit lanes -> their (B * A, G * A, R * A, A), each at most
// 65,025, added to the four 32-bit lanes of acc.
inline __m128i add_weighted(__m128i acc, __m128i two) {
  const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(two, _MM_SHUFFLE(3, 3, 3, 3)),
                                            _MM_SHUFFLE(3, 3, 3, 3));
  // Weight A for the colors, 1 for alpha itself.
  const __m128i weight =
      _mm_or_si128(_mm_and_si128(alpha, _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0)),
                   _mm_setr_epi16(0, 0, 0, 1, 0, 0, 0, 1));
  const __m128i products = _mm_mullo_epi16(two, weight);
  const __m128i zero = _mm_setzero_si128();
  acc = _mm_add_epi32(acc, _mm_unpacklo_epi16(products, zero));
  return _mm_add_epi32(acc, _mm_unpackhi_epi16(products, zero));
}
#endif

template <typename Sum>
Bgra block_value(const BitmapView& view, const Block& b) {
  Sum blue_sum = 0, green_sum = 0, red_sum = 0, alpha_sum = 0;
#if defined(__SSE2__)
  // The vector part of every row goes into one accumulator, in 32-bit lanes:
  // only for blocks of at most kMosaicBlockPixelsMax32 pixels, whose sums
  // fit in int32_t.
  const bool vector = sizeof(Sum) == 4;
  const int32_t vector_width = vector ? b.ww & ~3 : 0;
  __m128i acc = _mm_setzero_si128();
#else
  const int32_t vector_width = 0;
#endif
  for (int32_t y = b.yb; y < b.yb + b.hh; ++y) {
    const uint8_t* p = image_pixel(view, b.xb, y);
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i < vector_width; i += 4, p += 4 * kBytesPerPixel) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      acc = add_weighted(acc, _mm_unpacklo_epi8(x, zero));
      acc = add_weighted(acc, _mm_unpackhi_epi8(x, zero));
    }
#endif
    for (; i < b.ww; ++i, p += kBytesPerPixel) {
      const Sum alpha = p[kAlpha];
      blue_sum += p[kBlue] * alpha;
      green_sum += p[kGreen] * alpha;
      red_sum += p[kRed] * alpha;
      alpha_sum += alpha;
    }
  }
#if defined(__SSE2__)
  if (vector) {
    alignas(16) int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
    blue_sum += lanes[kBlue];
    green_sum += lanes[kGreen];
    red_sum += lanes[kRed];
    alpha_sum += lanes[kAlpha];
  }
#endif

  const Sum n = static_cast<Sum>(b.ww) * b.hh;
  Bgra value{};
  if (alpha_sum < n) return value;
  value[kBlue] = static_cast<uint8_t>(std::min<Sum>(blue_sum / alpha_sum, 255));
  value[kGreen] = static_cast<uint8_t>(std::min<Sum>(green_sum / alpha_sum, 255));
  value[kRed] = static_cast<uint8_t>(std::min<Sum>(red_sum / alpha_sum, 255));
  value[kAlpha] = static_cast<uint8_t>(alpha_sum / n);
  return value;
}

void fill_block(const BitmapView& view, const Block& b, const Bgra& value) {
  uint32_t word;
  std::memcpy(&word, value.data(), sizeof word);
  for (int32_t y = b.yb; y < b.yb + b.hh; ++y) {
    uint8_t* p = image_pixel(view, b.xb, y);
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(static_cast<int>(word));
    for (; i + 4 <= b.ww; i += 4, p += 4 * kBytesPerPixel) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), four);
    }
#endif
    for (; i < b.ww; ++i, p += kBytesPerPixel) std::memcpy(p, &word, sizeof word);
  }
}

}  // namespace

void mosaic(const BitmapView& view, int32_t x, int32_t y, int32_t area_width, int32_t area_height,
            int32_t block_width, int32_t block_height) {
  // The far edges come from the requested corner, before it is clipped. In
  // 64 bits x + area_width and y + area_height can neither wrap past
  // INT32_MAX nor below INT32_MIN; once the area is known to be nonempty they
  // lie within the view and fit 32 bits again.
  const int32_t x0 = std::max(x, 0);
  const int32_t y0 = std::max(y, 0);
  const int64_t x1_wide = std::min<int64_t>(int64_t{x} + area_width, view.width);
  const int64_t y1_wide = std::min<int64_t>(int64_t{y} + area_height, view.height);
  if (x1_wide <= x0 || y1_wide <= y0) return;
  const auto x1 = static_cast<int32_t>(x1_wide);
  const auto y1 = static_cast<int32_t>(y1_wide);

  const int32_t bw = std::max(block_width, 1);
  const int32_t bh = std::max(block_height, 1);

  // The grid starts at the clipped corner (x0, y0). A block is cut at the
  // area's edge (ww = min(bw, x1 - xb)), and the next one starts where it
  // ends: the block starts never pass x1 or y1, so they cannot wrap either.
  for (int32_t yb = y0; yb < y1;) {
    const int32_t hh = std::min(bh, y1 - yb);
    for (int32_t xb = x0; xb < x1;) {
      const Block b{xb, yb, std::min(bw, x1 - xb), hh};
      // ww * hh <= width * height, which fits int32_t for a resolved view.
      const Bgra value = b.ww * b.hh <= kMosaicBlockPixelsMax32 ? block_value<int32_t>(view, b)
                                                                : block_value<int64_t>(view, b);
      fill_block(view, b, value);
      xb += b.ww;
    }
    yb += hh;
  }
}

}  // namespace vellora
