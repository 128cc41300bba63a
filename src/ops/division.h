// Truncating division by 255 without a divider, for sums of byte products.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellora {

// For p in 0..65279 (every product of two bytes, and twice a product of a
// byte and a value below 128):
//   p / 255 == (p + 1 + (p >> 8)) >> 8
// Writing p = 255q + r (0 <= r <= 254, q <= 255): p >> 8 is q when r >= q
// and q - 1 when r < q, so the sum is 256q + r + 1 or 256q + r, both within
// 256q .. 256q + 255; the tests also check every p of the range. The sum is at
// most 65,534, so it is exact in unsigned 16-bit lanes too.
inline constexpr uint32_t kDiv255Max = 65279;

inline uint32_t div255(uint32_t p) { return (p + 1 + (p >> 8)) >> 8; }

#if defined(__SSE2__)
// div255 in each unsigned 16-bit lane, every lane in 0..kDiv255Max.
inline __m128i div255_epu16(__m128i p) {
  const __m128i sum = _mm_add_epi16(_mm_add_epi16(p, _mm_set1_epi16(1)), _mm_srli_epi16(p, 8));
  return _mm_srli_epi16(sum, 8);
}
#endif

}  // namespace vellora
