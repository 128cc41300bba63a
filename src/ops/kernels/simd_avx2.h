// The AVX2 tier's vector primitives (V = two 128-bit lanes); kernels/simd.h
// says how the tiers' helpers are laid out. Included by kernels/simd.h only.
#pragma once

VELLORA_AVX2_BEGIN
namespace vellora::avx2 {

using V = __m256i;
inline constexpr int kLanes128 = 2;
inline constexpr int kPixels = 4 * kLanes128;
inline constexpr int kPairPixels = 2 * kLanes128;

inline V zero() { return _mm256_setzero_si256(); }
inline V load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline V set32(int32_t x) { return _mm256_set1_epi32(x); }
inline V set16(int16_t x) { return _mm256_set1_epi16(x); }
inline V pixel16(int16_t b, int16_t g, int16_t r, int16_t a) {
  return _mm256_setr_epi16(b, g, r, a, b, g, r, a, b, g, r, a, b, g, r, a);
}
inline V lane32(int32_t b, int32_t g, int32_t r, int32_t a) {
  return _mm256_setr_epi32(b, g, r, a, b, g, r, a);
}

inline V add32(V a, V b) { return _mm256_add_epi32(a, b); }
inline V sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
inline V add16(V a, V b) { return _mm256_add_epi16(a, b); }
inline V sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
inline V mullo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
inline V mulhi_u16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
inline V min16(V a, V b) { return _mm256_min_epi16(a, b); }
inline V and_(V a, V b) { return _mm256_and_si256(a, b); }
inline V or_(V a, V b) { return _mm256_or_si256(a, b); }
inline V xor_(V a, V b) { return _mm256_xor_si256(a, b); }
inline V andnot(V a, V b) { return _mm256_andnot_si256(a, b); }
template <int N>
inline V srl16(V a) {
  return _mm256_srli_epi16(a, N);
}
template <int N>
inline V sll16(V a) {
  return _mm256_slli_epi16(a, N);
}
template <int N>
inline V srl32(V a) {
  return _mm256_srli_epi32(a, N);
}
template <int N>
inline V sll32(V a) {
  return _mm256_slli_epi32(a, N);
}
inline V eq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
inline V gt32(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
inline V lt16(V a, V b) { return _mm256_cmpgt_epi16(b, a); }
inline V unpacklo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
inline V unpackhi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
inline V unpacklo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
inline V unpackhi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
inline V packus16(V a, V b) { return _mm256_packus_epi16(a, b); }
inline V packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
inline V adds_u8(V a, V b) { return _mm256_adds_epu8(a, b); }
inline V subs_u8(V a, V b) { return _mm256_subs_epu8(a, b); }

inline bool all_set(V mask) { return _mm256_movemask_epi8(mask) == -1; }
inline bool none_set(V mask) { return _mm256_movemask_epi8(mask) == 0; }

inline V select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }

inline V alpha16(V x) {
  return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, _MM_SHUFFLE(3, 3, 3, 3)),
                                _MM_SHUFFLE(3, 3, 3, 3));
}
inline V alpha32(V x) { return _mm256_shuffle_epi32(x, _MM_SHUFFLE(3, 3, 3, 3)); }
inline V spread16_low(V v) {
  const V x = _mm256_unpacklo_epi32(v, v);
  return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, 0), 0);
}
inline V spread16_high(V v) {
  const V x = _mm256_unpackhi_epi32(v, v);
  return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, 0), 0);
}
inline V with_alpha32(V x, V y) { return _mm256_blend_epi32(x, y, 0x88); }

// Both factors below 2^16, so the low 32 bits of the product are all of it.
inline V mul32_small(V a, V b) { return _mm256_mullo_epi32(a, b); }

inline void load_pair(const uint8_t* p, V* a, V* b) {
  *a = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  *b = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8)));
}

inline V lanes_of(const uint32_t* low, const uint32_t* high) {
  const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low));
  const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(l), h, 1);
}
inline void gather_pair(const uint32_t* const* first, V* a, V* b) {
  *a = lanes_of(first[0], first[1]);
  *b = lanes_of(first[2], first[3]);
}

inline V record_everywhere(const uint32_t* p) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

inline void pair_indices(V* a, V* b) {
  *a = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  *b = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
}

inline void alpha_pair(const uint32_t* values, V* a, V* b) {
  const auto* v = reinterpret_cast<const int32_t*>(values);
  *a = _mm256_setr_epi32(0, 0, 0, v[0], 0, 0, 0, v[1]);
  *b = _mm256_setr_epi32(0, 0, 0, v[2], 0, 0, 0, v[3]);
}

// The packs work within 128-bit lanes: pixels 0 and 2 come out in the low
// lane, 1 and 3 in the high one, each twice; a 32-bit permute puts them in
// order.
inline void store_pair(uint8_t* p, V a, V b) {
  const V x = packs32(a, b);
  const V bytes =
      _mm256_permutevar8x32_epi32(packus16(x, x), _mm256_setr_epi32(0, 4, 1, 5, 0, 4, 1, 5));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(bytes));
}

template <int N>
inline V mul_shift(V x, V m) {
  static_assert(N > 0 && N < 64, "a shift within the 64-bit product");
  const V even = _mm256_srli_epi64(_mm256_mul_epu32(x, m), N);
  const V odd =
      _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(x, 32), _mm256_srli_epi64(m, 32)), N);
  return or_(even, _mm256_slli_epi64(odd, 32));
}

inline void pair_values(const uint32_t* values, V* a, V* b) {
  const __m256i four =
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values)));
  *a = _mm256_permutevar8x32_epi32(four, _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1));
  *b = _mm256_permutevar8x32_epi32(four, _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3));
}

// The step of divide_small_quotient with the subtraction done by an unsigned
// minimum: where 2x > D - 1, 2x - (D - 1) is the smaller; where 2x < D - 1,
// 2x - (D - 1) wraps above 2^32 - D > 2x. 2x is even and D - 1 odd, so they
// are never equal.
inline V division_step(V x, V d_minus_one) {
  x = add32(x, x);
  return _mm256_min_epu32(x, sub32(x, d_minus_one));
}

inline constexpr bool kNativeUnsignedMin32 = true;
inline V min_u32(V a, V b) { return _mm256_min_epu32(a, b); }

// One pixel per 32-bit lane, eight in a V (kernels/blur_channels_vector.h).
inline constexpr int kLanes32 = 8;
inline V load32(const uint32_t* p) { return load(reinterpret_cast<const uint8_t*>(p)); }
inline void store32(uint32_t* p, V v) { store(reinterpret_cast<uint8_t*>(p), v); }
inline V iota32() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
inline V min32(V a, V b) { return _mm256_min_epi32(a, b); }  // signed
inline V max32(V a, V b) { return _mm256_max_epi32(a, b); }  // signed
// Lane k of the result is lane idx[k] of x (idx in 0..7).
inline V permute32(V x, V idx) { return _mm256_permutevar8x32_epi32(x, idx); }
inline V broadcast_last32(V x) { return permute32(x, set32(7)); }
inline V mullo32(V a, V b) { return _mm256_mullo_epi32(a, b); }
// 32-bit lanes of 0 .. 65,535 to 16-bit ones, a's and b's four of each
// 128-bit lane side by side; unpacklo16 / unpackhi16 with zero undo it.
inline V packus32(V a, V b) { return _mm256_packus_epi32(a, b); }
inline V eq16(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
inline V max_u16(V a, V b) { return _mm256_max_epu16(a, b); }
// Lane k gets x[0] + ... + x[k]: three steps of adding the lanes shifted up
// by 1, 2 and 4 (the low 128-bit lane's top lanes carried into the high one).
inline V inclusive_sum32(V x) {
  x = add32(x, _mm256_alignr_epi8(x, _mm256_permute2x128_si256(x, x, 0x08), 12));
  x = add32(x, _mm256_alignr_epi8(x, _mm256_permute2x128_si256(x, x, 0x08), 8));
  return add32(x, _mm256_permute2x128_si256(x, x, 0x08));
}

#include "ops/kernels/simd_derived.h"
#include "ops/kernels/simd_narrow_mean.h"

// Several dividends over one divisor (kernels/blur_channels_vector.h): the
// shared divisor's reciprocal wants its divisor normalised, and AVX2 counts
// no leading zeros, so here each dividend takes the restoring steps (every
// n < 256 d); a binary search for the leading zeros measured as costly as the
// multiplies save.
using SharedDivisor = V;
inline V prepare_shared_divisor(V d) { return prepare_divisor(d); }
inline V divide_shared(V n, V prepared) { return divide_small_quotient_prepared(n, prepared); }

}  // namespace vellora::avx2
VELLORA_AVX2_END
