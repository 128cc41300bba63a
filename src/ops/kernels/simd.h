// The vector helpers that the vector tiers' kernels share. Each tier has a
// namespace (sse2, avx2, avx512) with the same names over its vector type V,
// so that a kernel written once in kernels/*_vector.h compiles for each. A V
// is one (SSE2), two (AVX2) or four (AVX-512) 128-bit lanes, and every helper
// works within each 128-bit lane, so a kernel never has to know how many
// there are.
//
// Pixels in 32-bit lanes come in pairs of vectors (a, b) holding
// kPairPixels = 2 * kLanes128 consecutive pixels in order, one pixel per
// 128-bit lane and one channel per 32-bit lane in the stored order B, G, R,
// A: the first kLanes128 pixels in a, the others in b. So a run of 16-byte
// records loads into a pair as two plain vector loads.
//
// The helpers built on these primitives, the same for every tier (among them
// the exact replacements of division, each with its range and what
// kernels_test tries of it), are in kernels/simd_derived.h, which each
// namespace includes.
#pragma once

#include <cstdint>
#include <cstring>

#include "ops/kernels/instruction_set.h"

#if VELLORA_VECTOR_KERNELS
// GCC 12 warns of the vectors that its own AVX-512 intrinsics leave undefined
// on purpose, at their lines in its headers (its bug 105593, mended in 13):
// the warning is off for those lines only.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif

// Code between these is compiled for AVX2 (AVX-512F, BW and CD) whatever the
// build's baseline, and runs only where best_instruction_set() says kAvx2
// (kAvx512) or better.
// _Pragma takes one string literal, however long the line.
// clang-format off
#if defined(__clang__)
#define VELLORA_AVX2_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define VELLORA_AVX2_END _Pragma("clang attribute pop")
#define VELLORA_AVX512_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"avx2,avx512f,avx512bw,avx512cd\"))), apply_to = function)")
#define VELLORA_AVX512_END _Pragma("clang attribute pop")
#else
#define VELLORA_AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define VELLORA_AVX2_END _Pragma("GCC pop_options")
#define VELLORA_AVX512_BEGIN \
  _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,avx512f,avx512bw,avx512cd\")")
#define VELLORA_AVX512_END _Pragma("GCC pop_options")
#endif
// clang-format on

#include "ops/kernels/simd_avx2.h"
#include "ops/kernels/simd_avx512.h"
#include "ops/kernels/simd_sse2.h"

#endif  // VELLORA_VECTOR_KERNELS
