#include "ops/clip_mask.h"

#include <algorithm>

#include "ops/division.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellora {

namespace {

#if defined(__SSE2__)
// Four BGRA pixels t, four mask values m (0..255, one in the low byte of each
// 32-bit lane, the rest of the lane 0): t's alphas become m * alpha / 255,
// its color bytes are kept.
inline __m128i clip_four(__m128i t, __m128i m) {
  const __m128i alpha = _mm_srli_epi32(t, 24);
  // Each 32-bit lane is a * m in its low half and 0 in its high half.
  const __m128i p = _mm_mullo_epi16(alpha, m);
  // a * m <= 65,025: within div255's range.
  const __m128i q = div255_epu16(p);
  const __m128i colors = _mm_and_si128(t, _mm_set1_epi32(0x00FFFFFF));
  return _mm_or_si128(colors, _mm_slli_epi32(q, 24));
}
#endif

// alpha = blue * alpha / 255 over `count` pixels, blue taken from the mask
// pixel at the same position of `mask`.
void clip_span_by_mask(uint8_t* dst, const uint8_t* mask, int32_t count) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i blue_mask = _mm_set1_epi32(0xFF);
  for (; i + 4 <= count; i += 4) {
    const size_t at = static_cast<size_t>(i) * kBytesPerPixel;
    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + at));
    const __m128i m =
        _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + at)), blue_mask);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at), clip_four(t, m));
  }
#endif
  for (; i < count; ++i) {
    const size_t at = static_cast<size_t>(i) * kBytesPerPixel;
    dst[at + kAlpha] = static_cast<uint8_t>(div255(uint32_t{mask[at + kBlue]} * dst[at + kAlpha]));
  }
}

// alpha = m * alpha / 255 over `count` pixels, for one mask value m.
void clip_span_by_value(uint8_t* dst, int32_t m, int32_t count) {
  if (m == 255) return;  // a * 255 / 255 == a: nothing changes
  int32_t i = 0;
  if (m >= 0 && m <= 255) {
#if defined(__SSE2__)
    const __m128i mv = _mm_set1_epi32(m);
    for (; i + 4 <= count; i += 4) {
      uint8_t* p = dst + static_cast<size_t>(i) * kBytesPerPixel;
      const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), clip_four(t, mv));
    }
#endif
    for (; i < count; ++i) {
      uint8_t* p = dst + static_cast<size_t>(i) * kBytesPerPixel;
      p[kAlpha] = static_cast<uint8_t>(div255(static_cast<uint32_t>(m) * p[kAlpha]));
    }
    return;
  }
  for (; i < count; ++i) {
    uint8_t* p = dst + static_cast<size_t>(i) * kBytesPerPixel;
    p[kAlpha] = clip_alpha(m, p[kAlpha]);
  }
}

// v clamped to lo..hi, where lo <= hi fit in int32_t.
int32_t clamp_to(int64_t v, int32_t lo, int32_t hi) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, lo, hi));
}

}  // namespace

void clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value) {
  const int32_t w = target.width;
  const int32_t h = target.height;
  // The covered part of the target: columns x0..x1 - 1, rows y0..y1 - 1.
  // Offsets may be anything, so the far edges are formed in 64 bits. A mask
  // without pixels is 0 x 0 and covers nothing.
  const int32_t x0 = clamp_to(offset_x, 0, w);
  const int32_t x1 = clamp_to(int64_t{offset_x} + mask.width, 0, w);
  const int32_t y0 = clamp_to(offset_y, 0, h);
  const int32_t y1 = clamp_to(int64_t{offset_y} + mask.height, 0, h);

  // Each pixel depends only on itself and one mask byte, so the rows are
  // walked in stored order.
  for (int32_t s = 0; s < h; ++s) {
    const int32_t y = h - 1 - s;
    uint8_t* row = stored_row(target, s);
    if (y < y0 || y >= y1 || x0 == x1) {
      clip_span_by_value(row, outside_value, w);
      continue;
    }
    const int32_t mask_y = static_cast<int32_t>(int64_t{y} - offset_y);
    const int32_t mask_x = static_cast<int32_t>(int64_t{x0} - offset_x);
    const uint8_t* mask_row = image_pixel(mask, mask_x, mask_y);
    clip_span_by_value(row, outside_value, x0);
    clip_span_by_mask(row + static_cast<size_t>(x0) * kBytesPerPixel, mask_row, x1 - x0);
    clip_span_by_value(row + static_cast<size_t>(x1) * kBytesPerPixel, outside_value, w - x1);
  }
}

}  // namespace vellora
