#include "ops/tone.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellora {

namespace {

int32_t clamp_amount(int32_t amount) { return std::clamp(amount, -kToneAmountMax, kToneAmountMax); }

#if defined(__SSE2__)
// tone_channel(ch, v) as one multiply-add and shift, with no branch on v:
//   v > 0:  ch + ((255 - ch) * v >> 8) == (ch * (256 - v) + 255 * v) >> 8
//           (ch * 256 is a multiple of 256, so it passes the shift whole)
//   v <= 0: (ch * (256 + v)) >> 8, and v = 0 gives ch
// so tone_channel(ch, v) == (ch * m + k) >> 8 with m = 256 - |v| and
// k = 255 * max(v, 0). ch * m + k is at most 255 * 256 = 65,280 for every
// ch and v, so it is exact in unsigned 16-bit lanes.
inline int32_t tone_factor(int32_t v) { return 256 - (v < 0 ? -v : v); }
inline int32_t tone_offset(int32_t v) { return v > 0 ? 255 * v : 0; }

// Eight 16-bit channel values (two pixels) through their factors and offsets.
inline __m128i tone_lanes(__m128i ch, __m128i m, __m128i k) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(ch, m), k), 8);
}
#endif

}  // namespace

void change_tone(const BitmapView& view, int32_t red, int32_t green, int32_t blue,
                 bool skip_transparent) {
  const int32_t v_red = clamp_amount(red);
  const int32_t v_green = clamp_amount(green);
  const int32_t v_blue = clamp_amount(blue);
  if (v_red == 0 && v_green == 0 && v_blue == 0) return;  // every channel stays as it is

  // Rows play no part: the buffer is one run of pixels.
  uint8_t* p = view.pixels;
  uint8_t* const end = p + byte_size(view);
#if defined(__SSE2__)
  // The alpha lane gets factor 256 and offset 0, which gives it back unchanged.
  const auto lane = [](int32_t x) { return static_cast<short>(x); };
  const __m128i m = _mm_setr_epi16(lane(tone_factor(v_blue)), lane(tone_factor(v_green)),
                                   lane(tone_factor(v_red)), 256, lane(tone_factor(v_blue)),
                                   lane(tone_factor(v_green)), lane(tone_factor(v_red)), 256);
  const __m128i k = _mm_setr_epi16(lane(tone_offset(v_blue)), lane(tone_offset(v_green)),
                                   lane(tone_offset(v_red)), 0, lane(tone_offset(v_blue)),
                                   lane(tone_offset(v_green)), lane(tone_offset(v_red)), 0);
  const __m128i zero = _mm_setzero_si128();
  const __m128i alpha_bits = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; end - p >= 16; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i lo = tone_lanes(_mm_unpacklo_epi8(x, zero), m, k);
    const __m128i hi = tone_lanes(_mm_unpackhi_epi8(x, zero), m, k);
    __m128i out = _mm_packus_epi16(lo, hi);
    if (skip_transparent) {
      // Pixels of alpha 0 keep all four bytes.
      const __m128i keep = _mm_cmpeq_epi32(_mm_and_si128(x, alpha_bits), zero);
      out = _mm_or_si128(_mm_and_si128(keep, x), _mm_andnot_si128(keep, out));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), out);
  }
#endif
  for (; p != end; p += kBytesPerPixel) {
    if (skip_transparent && p[kAlpha] == 0) continue;
    p[kBlue] = static_cast<uint8_t>(tone_channel(p[kBlue], v_blue));
    p[kGreen] = static_cast<uint8_t>(tone_channel(p[kGreen], v_green));
    p[kRed] = static_cast<uint8_t>(tone_channel(p[kRed], v_red));
  }
}

// Each color byte becomes its complement: one XOR with 0x00FFFFFF per pixel
// (alpha is the high byte of the little-endian pixel word).
void invert_color(const BitmapView& view) {
  uint8_t* p = view.pixels;
  uint8_t* const end = p + byte_size(view);
#if defined(__SSE2__)
  const __m128i colors = _mm_set1_epi32(0x00FFFFFF);
  for (; end - p >= 64; p += 64) {
    auto* q = reinterpret_cast<__m128i*>(p);
    const __m128i a = _mm_xor_si128(_mm_loadu_si128(q), colors);
    const __m128i b = _mm_xor_si128(_mm_loadu_si128(q + 1), colors);
    const __m128i c = _mm_xor_si128(_mm_loadu_si128(q + 2), colors);
    const __m128i d = _mm_xor_si128(_mm_loadu_si128(q + 3), colors);
    _mm_storeu_si128(q, a);
    _mm_storeu_si128(q + 1, b);
    _mm_storeu_si128(q + 2, c);
    _mm_storeu_si128(q + 3, d);
  }
  for (; end - p >= 16; p += 16) {
    auto* q = reinterpret_cast<__m128i*>(p);
    _mm_storeu_si128(q, _mm_xor_si128(_mm_loadu_si128(q), colors));
  }
#endif
  for (; p != end; p += kBytesPerPixel) {
    p[kBlue] = static_cast<uint8_t>(~p[kBlue]);
    p[kGreen] = static_cast<uint8_t>(~p[kGreen]);
    p[kRed] = static_cast<uint8_t>(~p[kRed]);
  }
}

}  // namespace vellora
