// The blur's means of opaque windows by a multiply and a shift, in place of
// the divisions by their alpha sums.
//
// A window of n samples (1 <= n <= kOpaqueWindowMax) whose alphas are all 255
// has mean alpha 255, and mean colours t / n (truncated), t being the sum of
// a colour over the window (at most 255 n): its weighted sum is y = 255 t and
// its alpha sum 255 n, and the common factor 255 cancels. The count n is
// shared by a run of windows (the same column of every row in the row pass,
// a whole row of the column pass), so a multiplier M is prepared once for the
// run and every window's division becomes one multiply:
//
//   row pass, from t:     t / n == (t * M) >> 30,         M = ceil(2^30 / n)
//   column pass, from y:  y / (255 n) == (y * M) >> 38,   M = ceil(2^38 / (255 n))
//
// Both are one argument. Let D be the divisor (n, or 255 n), 2^s the power
// of two, and e = D M - 2^s, so 0 <= e < D. For a dividend x = k t (k = 1 or
// 255):
//   x M / 2^s = k t M / 2^s = t / n + t e / (n 2^s)    (as k / D = 1 / n)
// With t = q n + r (0 <= r < n) that is q + (r + t e / 2^s) / n, and the
// fraction stays below 1 while t e < 2^s, which holds for every t <= 255 n
// and n <= 2001:
//   row pass:     t e < 255 n * n     <= 255 * 2001^2    = 1,021,019,255   < 2^30
//   column pass:  t e < 255 n * 255 n <= 65,025 * 2001^2 = 260,360,165,025 < 2^38
// So the floor is q, exactly. Every M is below 2^31 and every dividend below
// 2^27, so the products fit in 64 bits.
#pragma once

#include <cstdint>

namespace vellora {

inline constexpr uint32_t kOpaqueWindowMax = 2001;  // 2 * the largest radius + 1
inline constexpr int kRowMeanShift = 30;
inline constexpr int kColumnMeanShift = 38;

inline uint32_t ceil_power_of_two_over(int shift, uint64_t divisor) {
  return static_cast<uint32_t>(((uint64_t{1} << shift) + divisor - 1) / divisor);
}

// M of the row pass for a window of n samples, 1 <= n <= kOpaqueWindowMax.
inline uint32_t opaque_row_multiplier(uint32_t n) {
  return ceil_power_of_two_over(kRowMeanShift, n);
}

// M of the column pass for a window of n samples, 1 <= n <= kOpaqueWindowMax.
inline uint32_t opaque_column_multiplier(uint32_t n) {
  return ceil_power_of_two_over(kColumnMeanShift, uint64_t{255} * n);
}

// (x * M) >> Shift: an opaque window's mean colour from its colour sum
// (Shift = kRowMeanShift) or its weighted colour sum (kColumnMeanShift).
template <int Shift>
inline uint32_t opaque_mean(uint32_t x, uint32_t multiplier) {
  return static_cast<uint32_t>((uint64_t{x} * multiplier) >> Shift);
}

}  // namespace vellora
