// The SSE2 tier's vector primitives (V = one 128-bit lane); kernels/simd.h
// says how the tiers' helpers are laid out. Included by kernels/simd.h only.
#pragma once

namespace vellora::sse2 {

using V = __m128i;
inline constexpr int kLanes128 = 1;
inline constexpr int kPixels = 4 * kLanes128;  // pixels in one V of bytes
inline constexpr int kPairPixels = 2 * kLanes128;

inline V zero() { return _mm_setzero_si128(); }
inline V load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline V set32(int32_t x) { return _mm_set1_epi32(x); }
inline V set16(int16_t x) { return _mm_set1_epi16(x); }
// The same four 16-bit values for each pixel held in 16-bit lanes.
inline V pixel16(int16_t b, int16_t g, int16_t r, int16_t a) {
  return _mm_setr_epi16(b, g, r, a, b, g, r, a);
}
// Four 32-bit values, the same in every 128-bit lane.
inline V lane32(int32_t b, int32_t g, int32_t r, int32_t a) { return _mm_setr_epi32(b, g, r, a); }

inline V add32(V a, V b) { return _mm_add_epi32(a, b); }
inline V sub32(V a, V b) { return _mm_sub_epi32(a, b); }
inline V add16(V a, V b) { return _mm_add_epi16(a, b); }
inline V sub16(V a, V b) { return _mm_sub_epi16(a, b); }
inline V mullo16(V a, V b) { return _mm_mullo_epi16(a, b); }
inline V mulhi_u16(V a, V b) { return _mm_mulhi_epu16(a, b); }
inline V min16(V a, V b) { return _mm_min_epi16(a, b); }  // signed
inline V and_(V a, V b) { return _mm_and_si128(a, b); }
inline V or_(V a, V b) { return _mm_or_si128(a, b); }
inline V xor_(V a, V b) { return _mm_xor_si128(a, b); }
inline V andnot(V a, V b) { return _mm_andnot_si128(a, b); }  // ~a & b
template <int N>
inline V srl16(V a) {
  return _mm_srli_epi16(a, N);
}
template <int N>
inline V sll16(V a) {
  return _mm_slli_epi16(a, N);
}
template <int N>
inline V srl32(V a) {
  return _mm_srli_epi32(a, N);
}
template <int N>
inline V sll32(V a) {
  return _mm_slli_epi32(a, N);
}
inline V eq32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
inline V gt32(V a, V b) { return _mm_cmpgt_epi32(a, b); }  // signed
inline V lt16(V a, V b) { return _mm_cmplt_epi16(a, b); }  // signed
inline V unpacklo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
inline V unpackhi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
inline V unpacklo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
inline V unpackhi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
inline V packus16(V a, V b) { return _mm_packus_epi16(a, b); }
inline V packs32(V a, V b) { return _mm_packs_epi32(a, b); }
inline V adds_u8(V a, V b) { return _mm_adds_epu8(a, b); }
inline V subs_u8(V a, V b) { return _mm_subs_epu8(a, b); }

inline bool all_set(V mask) { return _mm_movemask_epi8(mask) == 0xFFFF; }
inline bool none_set(V mask) { return _mm_movemask_epi8(mask) == 0; }
// a where mask is set, else b.
inline V select(V mask, V a, V b) { return or_(and_(mask, a), andnot(mask, b)); }

// Two pixels in 16-bit lanes: each lane gets its own pixel's alpha.
inline V alpha16(V x) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 3, 3, 3)),
                             _MM_SHUFFLE(3, 3, 3, 3));
}

// One pixel per 128-bit lane in 32-bit lanes: each lane gets the pixel's alpha.
inline V alpha32(V x) { return _mm_shuffle_epi32(x, _MM_SHUFFLE(3, 3, 3, 3)); }

// Four pixels per 128-bit lane with one value each in 32-bit lanes: the
// values of pixels 0 and 1 (low) or 2 and 3 (high) spread over the 16-bit
// lanes of their pixels, matching unpacklo8 / unpackhi8 of the pixels.
inline V spread16_low(V v) {
  const V x = _mm_unpacklo_epi32(v, v);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0), 0);
}
inline V spread16_high(V v) {
  const V x = _mm_unpackhi_epi32(v, v);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0), 0);
}

// x with its alpha lanes (lane 3 of each 128-bit lane, 32-bit lanes) taken
// from y.
inline V with_alpha32(V x, V y) { return select(lane32(0, 0, 0, -1), y, x); }

// a * b in 32-bit lanes where both are below 2^16: the low and high halves of
// the 16-bit product put together (the high 16 bits of each lane are 0 in
// both, so their products vanish).
inline V mul32_small(V a, V b) { return add32(mullo16(a, b), sll32<16>(mulhi_u16(a, b))); }

// The kPairPixels pixels at p, widened to the pair layout.
inline void load_pair(const uint8_t* p, V* a, V* b) {
  const V x = unpacklo8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero());
  *a = unpacklo16(x, zero());
  *b = unpackhi16(x, zero());
}

// The 16-byte records at first[k], k < kPairPixels, in the pair layout.
inline void gather_pair(const uint32_t* const* first, V* a, V* b) {
  *a = load(reinterpret_cast<const uint8_t*>(first[0]));
  *b = load(reinterpret_cast<const uint8_t*>(first[1]));
}

// The 16-byte record at p in every 128-bit lane.
inline V record_everywhere(const uint32_t* p) { return load(reinterpret_cast<const uint8_t*>(p)); }

// k in every 32-bit lane of pixel k of the pair.
inline void pair_indices(V* a, V* b) {
  *a = set32(0);
  *b = set32(1);
}

// values[k] in the alpha lane of pixel k of the pair, 0 in the other lanes.
inline void alpha_pair(const uint32_t* values, V* a, V* b) {
  *a = _mm_setr_epi32(0, 0, 0, static_cast<int32_t>(values[0]));
  *b = _mm_setr_epi32(0, 0, 0, static_cast<int32_t>(values[1]));
}

// The inverse of load_pair: the low byte of every 32-bit lane, each lane
// holding 0..255.
inline void store_pair(uint8_t* p, V a, V b) {
  const V x = packs32(a, b);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packus16(x, x));
}

// (x * m) >> N in each 32-bit lane, the product unsigned and 64 bits wide;
// every result must be below 2^32. The even lanes are multiplied in place,
// the odd ones after a shift down into the even positions.
template <int N>
inline V mul_shift(V x, V m) {
  static_assert(N > 0 && N < 64, "a shift within the 64-bit product");
  const V even = _mm_srli_epi64(_mm_mul_epu32(x, m), N);
  const V odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), _mm_srli_epi64(m, 32)), N);
  return or_(even, _mm_slli_epi64(odd, 32));
}

// values[k] in every 32-bit lane of pixel k of the pair.
inline void pair_values(const uint32_t* values, V* a, V* b) {
  *a = set32(static_cast<int32_t>(values[0]));
  *b = set32(static_cast<int32_t>(values[1]));
}

// One step of divide_small_quotient: x doubled, less d_minus_one where the
// double exceeds it. x stays below 2^31, so a signed comparison serves.
inline V division_step(V x, V d_minus_one) {
  x = add32(x, x);
  return sub32(x, and_(gt32(x, d_minus_one), d_minus_one));
}

// SSE2 has no unsigned minimum of 32-bit lanes: it is made of a signed
// comparison of the values shifted by 2^31, five instructions where the
// division step needs three, so divide_narrow takes the division steps here.
inline constexpr bool kNativeUnsignedMin32 = false;
inline V min_u32(V a, V b) {
  const V bias = set32(INT32_MIN);
  return select(gt32(xor_(a, bias), xor_(b, bias)), b, a);
}

#include "ops/kernels/simd_derived.h"

}  // namespace vellora::sse2
