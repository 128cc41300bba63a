// Truncating division of several dividends by one divisor per lane (the
// three colours of a blur window over its alpha sum), for a tier that counts
// leading zeros and has per-lane shifts and 32-bit products (AVX-512): the
// divisor is prepared once, and each quotient then takes a multiply, a shift
// and one correction, where the restoring steps of simd_derived.h take eight
// steps each. Included by kernels/simd_avx512.h inside its namespace, after
// simd_derived.h.
//
// For d in 1 .. 2^19 - 1 (kDivisorMax, the blur's alpha sums, is the
// largest) and n in 0 .. 255 d (every quotient at most 255):
//
// Normalise: t = 15 - floor(log2 d) (-3 .. 15) and D = d * 2^t, truncated
// for t < 0, so that 2^15 <= D < 2^16.
//
// Reciprocal: R approximates 2^31 / D from below, by a linear start and two
// Newton steps in 32-bit lanes (x = D / 2^16 in 0.5 .. 1, y = 1 / x kept as
// Y = y * 2^15):
//   Y0 = 92521 - (61681 * D >> 16)              (48/17 - 32/17 x)
//   Y' = Y * (2^16 - (D * Y >> 16)) >> 15       (y (2 - x y))
//   R  = Y2 - 4
// Every product stays below 2^32, and for every D of the range
//   floor(2^31 / D) - 5 <= R <= floor(2^31 / D) - 2
// (kernels_test tries every divisor, so every D, against truncating division).
//
// Quotient: n' = n * 2^(t - 8), truncated (below 2^16, as n * 2^t <= 255 D),
// and q0 = n' R >> 23 (below 2^32, as n' < 2^16 and R <= 2^16). With
// R_d = 2^31 / (d 2^t) the exact reciprocal of the unrounded D (R <= R_d:
// for t < 0 the truncated D is smaller, so 2^31 / D exceeds R_d by at most
// 2^31 / D^2 <= 2), n' R / 2^23 lies below n / d by less than
//   2^16 / 2^23 (the truncation of n') + 2^16 (R_d - R) / 2^23
//   <= 2^-7 + 126 * 2^-7 < 1,
// so q0 is the quotient or one less, and q = q0 + 1 exactly where
// (q0 + 1) d <= n (a product below 256 * 2^19 = 2^27).

struct SharedDivisor {
  V d;           // the divisor
  V reciprocal;  // R
  V left;        // t - 8, as a count of a left shift (0 where negative)
  V right;       // 8 - t, as a count of a right shift (0 where negative)
};

inline SharedDivisor prepare_shared_divisor(V d) {
  const V t = normalizing_shift(d);
  // A negative count is above 31 as unsigned: its shift gives 0.
  const V normalized = or_(sllv32(d, t), srlv32(d, sub32(zero(), t)));
  V y = sub32(set32(92521), srl32<16>(mullo32(normalized, set32(61681))));
  for (int newton = 0; newton < 2; ++newton) {
    y = srl32<15>(mullo32(y, sub32(set32(1 << 16), srl32<16>(mullo32(normalized, y)))));
  }
  const V left = sub32(t, set32(8));
  return SharedDivisor{d, sub32(y, set32(4)), left, sub32(zero(), left)};
}

inline V divide_shared(V n, const SharedDivisor& s) {
  const V scaled = or_(sllv32(n, s.left), srlv32(n, s.right));
  const V next = add32(srl32<23>(mullo32(scaled, s.reciprocal)), set32(1));
  return add32(next, gt32(mullo32(next, s.d), n));  // the comparison's -1 where (q0 + 1) d > n
}
