// The AVX-512 tier's vector primitives (V = four 128-bit lanes, AVX-512F, BW
// and CD); kernels/simd.h says how the tiers' helpers are laid out. Included
// by kernels/simd.h only.
//
// The kernels treat a comparison's result as a vector of all-ones and zero
// lanes, as SSE2 and AVX2 give it; AVX-512 gives a mask register, which the
// comparisons here turn into such a vector (one instruction more), and which
// select, all_set and none_set read with one instruction each. In 32-bit code
// there are eight vector registers, as for the other tiers, so the kernels
// keep to the same few live vectors.
#pragma once

VELLORA_AVX512_BEGIN
namespace vellora::avx512 {

using V = __m512i;
inline constexpr int kLanes128 = 4;
inline constexpr int kPixels = 4 * kLanes128;
inline constexpr int kPairPixels = 2 * kLanes128;

inline V zero() { return _mm512_setzero_si512(); }
inline V load(const uint8_t* p) { return _mm512_loadu_si512(p); }
inline void store(uint8_t* p, V v) { _mm512_storeu_si512(p, v); }
inline V set32(int32_t x) { return _mm512_set1_epi32(x); }
inline V set16(int16_t x) { return _mm512_set1_epi16(x); }
inline V pixel16(int16_t b, int16_t g, int16_t r, int16_t a) {
  return _mm512_set4_epi32(
      static_cast<int32_t>(static_cast<uint16_t>(a)) << 16 | static_cast<uint16_t>(r),
      static_cast<int32_t>(static_cast<uint16_t>(g)) << 16 | static_cast<uint16_t>(b),
      static_cast<int32_t>(static_cast<uint16_t>(a)) << 16 | static_cast<uint16_t>(r),
      static_cast<int32_t>(static_cast<uint16_t>(g)) << 16 | static_cast<uint16_t>(b));
}
inline V lane32(int32_t b, int32_t g, int32_t r, int32_t a) {
  return _mm512_set4_epi32(a, r, g, b);
}

inline V add32(V a, V b) { return _mm512_add_epi32(a, b); }
inline V sub32(V a, V b) { return _mm512_sub_epi32(a, b); }
inline V add16(V a, V b) { return _mm512_add_epi16(a, b); }
inline V sub16(V a, V b) { return _mm512_sub_epi16(a, b); }
inline V mullo16(V a, V b) { return _mm512_mullo_epi16(a, b); }
inline V mulhi_u16(V a, V b) { return _mm512_mulhi_epu16(a, b); }
inline V min16(V a, V b) { return _mm512_min_epi16(a, b); }
inline V and_(V a, V b) { return _mm512_and_si512(a, b); }
inline V or_(V a, V b) { return _mm512_or_si512(a, b); }
inline V xor_(V a, V b) { return _mm512_xor_si512(a, b); }
inline V andnot(V a, V b) { return _mm512_andnot_si512(a, b); }
template <int N>
inline V srl16(V a) {
  return _mm512_srli_epi16(a, N);
}
template <int N>
inline V sll16(V a) {
  return _mm512_slli_epi16(a, N);
}
template <int N>
inline V srl32(V a) {
  return _mm512_srli_epi32(a, N);
}
template <int N>
inline V sll32(V a) {
  return _mm512_slli_epi32(a, N);
}
inline V lanes_where(__mmask16 k) { return _mm512_maskz_set1_epi32(k, -1); }
inline V eq32(V a, V b) { return lanes_where(_mm512_cmpeq_epi32_mask(a, b)); }
inline V gt32(V a, V b) { return lanes_where(_mm512_cmpgt_epi32_mask(a, b)); }
inline V lt16(V a, V b) { return _mm512_movm_epi16(_mm512_cmplt_epi16_mask(a, b)); }
inline V unpacklo8(V a, V b) { return _mm512_unpacklo_epi8(a, b); }
inline V unpackhi8(V a, V b) { return _mm512_unpackhi_epi8(a, b); }
inline V unpacklo16(V a, V b) { return _mm512_unpacklo_epi16(a, b); }
inline V unpackhi16(V a, V b) { return _mm512_unpackhi_epi16(a, b); }
inline V packus16(V a, V b) { return _mm512_packus_epi16(a, b); }
inline V packs32(V a, V b) { return _mm512_packs_epi32(a, b); }
inline V adds_u8(V a, V b) { return _mm512_adds_epu8(a, b); }
inline V subs_u8(V a, V b) { return _mm512_subs_epu8(a, b); }

// The top bit of every byte, as movemask reads it for the other tiers.
inline bool all_set(V mask) { return _mm512_movepi8_mask(mask) == ~__mmask64{0}; }
inline bool none_set(V mask) { return _mm512_movepi8_mask(mask) == 0; }

// a where mask is set, else b: one bitwise select.
inline V select(V mask, V a, V b) { return _mm512_ternarylogic_epi32(mask, a, b, 0xCA); }

inline V alpha16(V x) {
  return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(x, _MM_SHUFFLE(3, 3, 3, 3)),
                                _MM_SHUFFLE(3, 3, 3, 3));
}
inline V alpha32(V x) { return _mm512_shuffle_epi32(x, _MM_PERM_DDDD); }
inline V spread16_low(V v) {
  const V x = _mm512_unpacklo_epi32(v, v);
  return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(x, 0), 0);
}
inline V spread16_high(V v) {
  const V x = _mm512_unpackhi_epi32(v, v);
  return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(x, 0), 0);
}
inline V with_alpha32(V x, V y) { return _mm512_mask_blend_epi32(0x8888, x, y); }

// Both factors below 2^16, so the low 32 bits of the product are all of it.
inline V mul32_small(V a, V b) { return _mm512_mullo_epi32(a, b); }

inline void load_pair(const uint8_t* p, V* a, V* b) {
  *a = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  *b = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
}

// Four 16-byte records, one per 128-bit lane.
inline V lanes_of(const uint32_t* const* first) {
  const auto record = [](const uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  const __m256i low =
      _mm256_inserti128_si256(_mm256_castsi128_si256(record(first[0])), record(first[1]), 1);
  const __m256i high =
      _mm256_inserti128_si256(_mm256_castsi128_si256(record(first[2])), record(first[3]), 1);
  return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}
inline void gather_pair(const uint32_t* const* first, V* a, V* b) {
  *a = lanes_of(first);
  *b = lanes_of(first + 4);
}

inline V record_everywhere(const uint32_t* p) {
  return _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

inline void pair_indices(V* a, V* b) {
  *a = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
  *b = _mm512_setr_epi32(4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7);
}

// values[k] in every lane of pixel k (index) or in its alpha lane alone.
inline void pair_values(const uint32_t* values, V* a, V* b) {
  const V eight =
      _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(values)));
  *a = _mm512_permutexvar_epi32(_mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3),
                                eight);
  *b = _mm512_permutexvar_epi32(_mm512_setr_epi32(4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7),
                                eight);
}
inline void alpha_pair(const uint32_t* values, V* a, V* b) {
  pair_values(values, a, b);
  *a = _mm512_maskz_mov_epi32(0x8888, *a);
  *b = _mm512_maskz_mov_epi32(0x8888, *b);
}

// Every 32-bit lane holds 0..255: its low byte is the whole of it, and one
// truncating narrowing stores four pixels.
inline void store_pair(uint8_t* p, V a, V b) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(a));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm512_cvtepi32_epi8(b));
}

template <int N>
inline V mul_shift(V x, V m) {
  static_assert(N > 0 && N < 64, "a shift within the 64-bit product");
  const V even = _mm512_srli_epi64(_mm512_mul_epu32(x, m), N);
  const V odd =
      _mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(x, 32), _mm512_srli_epi64(m, 32)), N);
  return or_(even, _mm512_slli_epi64(odd, 32));
}

// As for AVX2: where 2x > D - 1, 2x - (D - 1) is the smaller; where
// 2x < D - 1, 2x - (D - 1) wraps above 2^32 - D > 2x. 2x is even and D - 1
// odd, so they are never equal.
inline V division_step(V x, V d_minus_one) {
  x = add32(x, x);
  return _mm512_min_epu32(x, sub32(x, d_minus_one));
}

inline constexpr bool kNativeUnsignedMin32 = true;
inline V min_u32(V a, V b) { return _mm512_min_epu32(a, b); }

// One pixel per 32-bit lane, sixteen in a V (kernels/blur_channels_vector.h).
inline constexpr int kLanes32 = 16;
inline V load32(const uint32_t* p) { return _mm512_loadu_si512(p); }
inline void store32(uint32_t* p, V v) { _mm512_storeu_si512(p, v); }
inline V iota32() {
  return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}
inline V min32(V a, V b) { return _mm512_min_epi32(a, b); }  // signed
inline V max32(V a, V b) { return _mm512_max_epi32(a, b); }  // signed
// Lane k of the result is lane idx[k] of x (idx in 0..15).
inline V permute32(V x, V idx) { return _mm512_permutexvar_epi32(idx, x); }
inline V broadcast_last32(V x) { return permute32(x, set32(15)); }
// 32-bit lanes of 0 .. 65,535 to 16-bit ones, a's and b's four of each
// 128-bit lane side by side; unpacklo16 / unpackhi16 with zero undo it.
inline V packus32(V a, V b) { return _mm512_packus_epi32(a, b); }
inline V eq16(V a, V b) { return _mm512_movm_epi16(_mm512_cmpeq_epi16_mask(a, b)); }
inline V max_u16(V a, V b) { return _mm512_max_epu16(a, b); }
// Lane k gets x[0] + ... + x[k]: four steps of adding the lanes shifted up by
// 1, 2, 4 and 8, zeros shifted in.
inline V inclusive_sum32(V x) {
  x = add32(x, _mm512_alignr_epi32(x, zero(), 15));
  x = add32(x, _mm512_alignr_epi32(x, zero(), 14));
  x = add32(x, _mm512_alignr_epi32(x, zero(), 12));
  return add32(x, _mm512_alignr_epi32(x, zero(), 8));
}

inline V sllv32(V a, V n) { return _mm512_sllv_epi32(a, n); }  // 0 where n > 31
inline V srlv32(V a, V n) { return _mm512_srlv_epi32(a, n); }  // 0 where n > 31
inline V mullo32(V a, V b) { return _mm512_mullo_epi32(a, b); }

// The leading zeros of d less 16 (AVX-512CD counts them).
inline V normalizing_shift(V d) { return sub32(_mm512_lzcnt_epi32(d), set32(16)); }

#include "ops/kernels/simd_derived.h"
#include "ops/kernels/simd_narrow_mean.h"
#include "ops/kernels/simd_shared_divisor.h"

}  // namespace vellora::avx512
VELLORA_AVX512_END
