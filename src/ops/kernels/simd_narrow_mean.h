// The blur's means of opaque windows from 16-bit colour sums
// (kernels/blur_channels_vector.h), for the tiers with unsigned 16-bit
// maxima (AVX2, AVX-512). Included by kernels/simd_avx2.h and
// kernels/simd_avx512.h inside their namespaces; kernels_test tries every
// sum of every count.

// The multiplier of narrow_mean for n samples, 1 <= n <= 256.
inline uint32_t narrow_mean_multiplier(uint32_t n) { return n == 1 ? 65535 : 65536 / n; }

// t / n in 16-bit lanes for t <= 65,535 and 1 <= n <= 256: with
// M = floor(65,536 / n) (65,535 for n = 1), 65,536 / n - M lies in 0 .. 1, so
// t M / 2^16 is below t / n by less than t / 2^16 < 1: q0 = t M >> 16 is the
// quotient or one less, and the remainder t - q0 n (at most t) tells which.
inline V narrow_mean(V t, V n, V m) {
  const V q0 = mulhi_u16(t, m);
  const V remainder = sub16(t, mullo16(q0, n));
  return sub16(q0, eq16(max_u16(remainder, n), remainder));  // the comparison's -1 where r >= n
}
