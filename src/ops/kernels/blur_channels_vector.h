// The blur's two passes with one pixel per 32-bit lane and each channel in a
// vector of its own, for the tiers with lane permutes (AVX2 and AVX-512;
// SSE2 keeps the pixel-per-128-bit-lane kernels of kernels/blur_vector.h).
// Compiled once per such tier from kernels/avx2.cpp and kernels/avx512.cpp.
// A window's samples are weighted as in kernels/blur_plain.cpp, (B * A,
// G * A, R * A, A), and its means follow the same rule (kernels/blur_means.h):
//   alpha_sum < count: (0, 0, 0, 0)
//   otherwise: color_sum / alpha_sum for each color, alpha_sum / count
// With the channels apart, the three colours of kLanes32 pixels share their
// divisor (divide_shared), and the alpha sum's count, which every window of a
// column step and almost every one of a row shares, is a multiply:
//   alpha_sum / count == (alpha_sum * M) >> 30, M = ceil(2^30 / count),
// for alpha_sum <= 255 count and count <= 2,001 (opaque_mean.h: the row
// pass's opaque means, the same argument).
//
// The running sums are kept a channel at a time: the row pass's prefix as
// four (three, for an opaque row) arrays of width + 1 words, the column
// pass's sums as four arrays of width words, in the scratch that the walk
// gives for them. The last columns of a row, fewer than a vector, are taken
// one at a time.

namespace VELLORA_ISA {

// The four channels of kLanes32 pixels, one pixel per lane.
struct Channels {
  V blue, green, red, alpha;
};

inline Channels channels_at(const uint8_t* pixels) {
  const V x = load(pixels);
  return Channels{channel<0>(x), channel<1>(x), channel<2>(x), channel<3>(x)};
}

// (B * A, G * A, R * A, A), or, where every alpha is known to be 255,
// (B * 255, G * 255, R * 255, 255). Each product is below 2^16, so the 16-bit
// product of each lane's low half is all of it (the high halves are 0).
template <bool Opaque>
inline Channels weighted(const Channels& c) {
  const V weight = Opaque ? set32(255) : c.alpha;
  return Channels{mullo16(c.blue, weight), mullo16(c.green, weight), mullo16(c.red, weight),
                  Opaque ? weight : c.alpha};
}

// Four bytes a lane, B | G << 8 | R << 16 | A << 24: one pixel a lane.
inline V pixels_of(V blue, V green, V red, V alpha) {
  return or_(or_(blue, sll32<8>(green)), or_(sll32<16>(red), sll32<24>(alpha)));
}

// The means of windows from their sums, each lane's sample count given (or
// the same count everywhere) with its multiplier.
inline V window_means(const Channels& sums, V count, V count_multiplier) {
  // Wholly transparent windows, common in sprites, need no division.
  if (all_set(eq32(sums.alpha, zero()))) return zero();
  const V faded = gt32(count, sums.alpha);
  const SharedDivisor divisor = prepare_shared_divisor(sums.alpha);
  const V means = pixels_of(divide_shared(sums.blue, divisor), divide_shared(sums.green, divisor),
                            divide_shared(sums.red, divisor),
                            mul_shift<kRowMeanShift>(sums.alpha, count_multiplier));
  return andnot(faded, means);
}

// The means of opaque windows: colour sums (Shift = kRowMeanShift) or
// weighted colour sums (kColumnMeanShift) by their multiplier, alpha 255.
template <int Shift>
inline V opaque_window_means(V blue, V green, V red, V multiplier) {
  return pixels_of(mul_shift<Shift>(blue, multiplier), mul_shift<Shift>(green, multiplier),
                   mul_shift<Shift>(red, multiplier), set32(255));
}

// ---------------------------------------------------------------------------
// The row pass. prefix[channel][k] holds the channel's sum over pixels
// 0 .. k - 1 (weighted, or the plain colours of an opaque row), and a
// window's sums are the difference of two of them. They wrap modulo 2^32,
// and the differences are still exact: a window's true sums are below 2^32.

template <int Count>
struct Prefix {
  uint32_t* channel[Count];
};

template <int Count>
inline Prefix<Count> prefix_arrays(uint32_t* prefix, int32_t width) {
  Prefix<Count> p;
  for (int c = 0; c < Count; ++c) p.channel[c] = prefix + static_cast<size_t>(c) * (width + 1);
  return p;
}

// The running sums of a row, kLanes32 pixels at a time and the rest one by
// one. Opaque: the plain colours, three channels.
template <bool Opaque, int N>
inline void running_sums(const uint8_t* row, int32_t width, const Prefix<N>& p) {
  V carry[N];
  for (int c = 0; c < N; ++c) {
    p.channel[c][0] = 0;
    carry[c] = zero();
  }
  int32_t k = 0;
  for (; k + kLanes32 <= width; k += kLanes32) {
    const Channels pixels = channels_at(row + 4 * static_cast<size_t>(k));
    const Channels w = Opaque ? pixels : weighted<false>(pixels);
    const V values[4] = {w.blue, w.green, w.red, w.alpha};
    for (int c = 0; c < N; ++c) {
      const V sums = add32(inclusive_sum32(values[c]), carry[c]);
      store32(p.channel[c] + k + 1, sums);
      carry[c] = broadcast_last32(sums);
    }
  }
  for (; k < width; ++k) {
    const uint8_t* pixel = row + 4 * static_cast<size_t>(k);
    const uint32_t weight = Opaque ? 1 : pixel[kAlpha];
    for (int c = 0; c < N; ++c) {
      const uint32_t value = c == kAlpha ? pixel[kAlpha] : pixel[c] * weight;
      p.channel[c][k + 1] = p.channel[c][k] + value;
    }
  }
}

// The sums at the first (lo) or last (hi) ends of the windows of columns
// j .. j + kLanes32 - 1, index j + offset + k for lane k, clamped to
// 0 .. width: a run of consecutive running sums, or one sum for all, or, for
// the one group at each end of a row where some lanes are clamped and others
// not, the lanes of a run at that end put in place.
inline V window_ends(const uint32_t* sums, int32_t width, int32_t first) {
  if (first >= 0 && first + kLanes32 - 1 <= width) return load32(sums + first);
  if (first + kLanes32 - 1 <= 0) return set32(static_cast<int32_t>(sums[0]));
  if (first >= width) return set32(static_cast<int32_t>(sums[width]));
  const V index = add32(iota32(), set32(first));
  if (first < 0) {
    // Lanes below 0 take sums[0], which is 0.
    return and_(permute32(load32(sums), index), gt32(index, set32(-1)));
  }
  const int32_t base = width - kLanes32 + 1;
  return permute32(load32(sums + base), sub32(min32(index, set32(width)), set32(base)));
}

// The sample counts of the windows of columns j .. j + kLanes32 - 1.
inline V window_counts(int32_t width, int32_t r, int32_t j) {
  const V column = add32(iota32(), set32(j));
  return sub32(min32(add32(column, set32(r + 1)), set32(width)),
               max32(sub32(column, set32(r)), zero()));
}

// The window sums of column c, one at a time, for the last columns.
template <int N>
inline void window_sums_at(const Prefix<N>& p, int32_t width, int32_t r, int32_t c,
                           uint32_t sums[4], uint32_t* count) {
  const int32_t lo = std::max(c - r, 0), hi = std::min(c + r, width - 1) + 1;
  sums[kAlpha] = 0;
  for (int k = 0; k < N; ++k) sums[k] = p.channel[k][hi] - p.channel[k][lo];
  *count = static_cast<uint32_t>(hi - lo);
}

inline void weighted_row(const uint8_t* row, int32_t width, int32_t r, const uint32_t* multipliers,
                         uint32_t* prefix, uint8_t* means) {
  const Prefix<4> p = prefix_arrays<4>(prefix, width);
  running_sums<false>(row, width, p);
  int32_t j = 0;
  for (; j + kLanes32 <= width; j += kLanes32) {
    Channels sums;
    V* const lanes[4] = {&sums.blue, &sums.green, &sums.red, &sums.alpha};
    for (int c = 0; c < 4; ++c) {
      *lanes[c] = sub32(window_ends(p.channel[c], width, j + r + 1),
                        window_ends(p.channel[c], width, j - r));
    }
    store(means + 4 * static_cast<size_t>(j),
          window_means(sums, window_counts(width, r, j), load32(multipliers + j)));
  }
  for (; j < width; ++j) {
    uint32_t sums[4], count;
    window_sums_at(p, width, r, j, sums, &count);
    store_means(means + 4 * static_cast<size_t>(j), sums, count);
  }
}

inline void opaque_row(const uint8_t* row, int32_t width, int32_t r, const uint32_t* multipliers,
                       uint32_t* prefix, uint8_t* means) {
  const Prefix<3> p = prefix_arrays<3>(prefix, width);
  running_sums<true>(row, width, p);
  int32_t j = 0;
  for (; j + kLanes32 <= width; j += kLanes32) {
    V sums[3];
    for (int c = 0; c < 3; ++c) {
      sums[c] = sub32(window_ends(p.channel[c], width, j + r + 1),
                      window_ends(p.channel[c], width, j - r));
    }
    store(means + 4 * static_cast<size_t>(j),
          opaque_window_means<kRowMeanShift>(sums[0], sums[1], sums[2], load32(multipliers + j)));
  }
  for (; j < width; ++j) {
    uint32_t sums[4], count;
    window_sums_at(p, width, r, j, sums, &count);
    store_opaque_means<kRowMeanShift>(means + 4 * static_cast<size_t>(j), sums, multipliers[j]);
  }
}

// ---------------------------------------------------------------------------
// The column pass: wide[channel][c] is the channel's running sum of column c
// (and, while narrow, narrow[channel] the colours' 16-bit sums, below).

struct ColumnSums {
  uint32_t* wide[4];   // B * A, G * A, R * A, A: one word a column each
  uint8_t* narrow[3];  // B, G, R: two bytes a column each, over wide[0 .. 2]
  uint32_t* state;     // [0]: narrow or not; [1]: rows held while narrow
};

inline ColumnSums column_sums(uint32_t* sums, int32_t width) {
  ColumnSums s;
  for (int c = 0; c < 4; ++c)
    s.wide[c] = sums + static_cast<size_t>(c) * static_cast<size_t>(width);
  for (int c = 0; c < 3; ++c) s.narrow[c] = reinterpret_cast<uint8_t*>(s.wide[c]);
  s.state = sums + 4 * static_cast<size_t>(width);
  return s;
}

template <bool Opaque>
inline void column_step(const ColumnSums& sums, const uint8_t* leaving, const uint8_t* entering,
                        int32_t width, const BlurColumnWindows& windows, uint8_t* out) {
  const V count = set32(static_cast<int32_t>(windows.count));
  const V multiplier =
      set32(static_cast<int32_t>(Opaque ? windows.opaque_multiplier : windows.count_multiplier));
  int32_t c = 0;
  for (; c + kLanes32 <= width; c += kLanes32) {
    Channels s{load32(sums.wide[0] + c), load32(sums.wide[1] + c), load32(sums.wide[2] + c),
               load32(sums.wide[3] + c)};
    if (leaving != nullptr) {
      const Channels w = weighted<Opaque>(channels_at(leaving + 4 * static_cast<size_t>(c)));
      s = Channels{sub32(s.blue, w.blue), sub32(s.green, w.green), sub32(s.red, w.red),
                   sub32(s.alpha, w.alpha)};
    }
    if (entering != nullptr) {
      const Channels w = weighted<Opaque>(channels_at(entering + 4 * static_cast<size_t>(c)));
      s = Channels{add32(s.blue, w.blue), add32(s.green, w.green), add32(s.red, w.red),
                   add32(s.alpha, w.alpha)};
    }
    store32(sums.wide[0] + c, s.blue);
    store32(sums.wide[1] + c, s.green);
    store32(sums.wide[2] + c, s.red);
    store32(sums.wide[3] + c, s.alpha);
    if (out == nullptr) continue;
    const V means = Opaque
                        ? opaque_window_means<kColumnMeanShift>(s.blue, s.green, s.red, multiplier)
                        : window_means(s, count, multiplier);
    store(out + 4 * static_cast<size_t>(c), means);
  }
  // The last columns, as the plain kernel takes them.
  for (; c < width; ++c) {
    uint32_t column[4];
    for (int k = 0; k < 4; ++k) column[k] = sums.wide[k][c];
    const auto update = [&](const uint8_t* pixel, bool add) {
      const uint32_t alpha = pixel[kAlpha];
      for (int k = kBlue; k <= kRed; ++k) {
        column[k] = add ? column[k] + pixel[k] * alpha : column[k] - pixel[k] * alpha;
      }
      column[kAlpha] = add ? column[kAlpha] + alpha : column[kAlpha] - alpha;
    };
    if (leaving != nullptr) update(leaving + 4 * static_cast<size_t>(c), false);
    if (entering != nullptr) update(entering + 4 * static_cast<size_t>(c), true);
    for (int k = 0; k < 4; ++k) sums.wide[k][c] = column[k];
    if (out == nullptr) continue;
    uint8_t* at = out + 4 * static_cast<size_t>(c);
    if (Opaque) {
      store_opaque_means<kColumnMeanShift>(at, column, windows.opaque_multiplier);
    } else {
      store_means(at, column, windows.count);
    }
  }
}

// ---------------------------------------------------------------------------
// Narrow sums. While every row a step gives up, takes in or holds is opaque
// and the rows held stay at most kNarrowRowsMax, each column's colour sums are
// plain sums of bytes, t <= 255 * 257 = 65,535, in 16-bit lanes: half the
// width, twice the lanes of the weighted 32-bit sums, whose weights are 255
// then (S = 255 t) and whose alpha sums are 255 times the rows held. The
// step converts the sums where it enters or leaves such a run, and a run of
// opaque steps (a snapshot of the screen) keeps them narrow throughout.
//
// Where they live: each colour's 16-bit sums in the first half of its own
// 32-bit array, a run of 2 * kLanes32 columns as packus32 leaves them (the
// two halves' four columns of each 128-bit lane side by side), the last
// columns one a column; and, past the four arrays, in the spare record that
// the walk zeroes with them, whether they are narrow and how many rows they
// hold.
inline constexpr uint32_t kNarrowRowsMax = 257;
inline constexpr int kNarrowRun = 2 * kLanes32;

// The runs of kNarrowRun columns, and where the columns taken one at a time begin.
inline int32_t narrow_runs_end(int32_t width) { return width - width % kNarrowRun; }

inline uint16_t narrow_at(const uint8_t* narrow, int32_t c) {
  uint16_t t;
  std::memcpy(&t, narrow + 2 * static_cast<size_t>(c), sizeof t);
  return t;
}
inline void set_narrow_at(uint8_t* narrow, int32_t c, uint32_t t) {
  const auto value = static_cast<uint16_t>(t);
  std::memcpy(narrow + 2 * static_cast<size_t>(c), &value, sizeof value);
}

// S = 255 t, so t = S / 255 exactly: S times the inverse of 255 modulo 2^32
// (255 * 0xFEFEFEFF = 1 modulo 2^32). Each run's 16-bit sums overwrite 32-bit
// ones that it or an earlier run has read: columns are taken in order.
inline void to_narrow(const ColumnSums& s, int32_t width) {
  constexpr uint32_t kInverse255 = 0xFEFEFEFFu;
  const int32_t runs_end = narrow_runs_end(width);
  for (int ch = 0; ch < 3; ++ch) {
    const V inverse = set32(static_cast<int32_t>(kInverse255));
    for (int32_t c = 0; c < runs_end; c += kNarrowRun) {
      const V a = mullo32(load32(s.wide[ch] + c), inverse);
      const V b = mullo32(load32(s.wide[ch] + c + kLanes32), inverse);
      store(s.narrow[ch] + 2 * static_cast<size_t>(c), packus32(a, b));
    }
    for (int32_t c = runs_end; c < width; ++c) {
      set_narrow_at(s.narrow[ch], c, s.wide[ch][c] * kInverse255);
    }
  }
  s.state[0] = 1;
  s.state[1] = s.wide[kAlpha][0] / 255;  // every row held is opaque
}

// The other way, S = 255 t and the alpha sums 255 times the rows held. Each
// column's 32-bit sum overwrites 16-bit ones of itself and of later columns:
// columns are taken from the last.
inline void to_wide(const ColumnSums& s, int32_t width) {
  const int32_t runs_end = narrow_runs_end(width);
  for (int ch = 0; ch < 3; ++ch) {
    for (int32_t c = width - 1; c >= runs_end; --c)
      s.wide[ch][c] = 255u * narrow_at(s.narrow[ch], c);
    for (int32_t c = runs_end - kNarrowRun; c >= 0; c -= kNarrowRun) {
      const V t = load(s.narrow[ch] + 2 * static_cast<size_t>(c));
      const V a = unpacklo16(t, zero()), b = unpackhi16(t, zero());
      store32(s.wide[ch] + c, sub32(sll32<8>(a), a));
      store32(s.wide[ch] + c + kLanes32, sub32(sll32<8>(b), b));
    }
  }
  const uint32_t alpha_sum = 255 * s.state[1];
  for (int32_t c = 0; c < width; ++c) s.wide[kAlpha][c] = alpha_sum;
  s.state[0] = 0;
}

// Channel C of the pixels of a run of kNarrowRun columns, in the run's order.
template <int C>
inline V narrow_channel(const uint8_t* pixels) {
  return packus32(channel<C>(load(pixels)), channel<C>(load(pixels + 4 * kLanes32)));
}

inline void narrow_step(const ColumnSums& s, const uint8_t* leaving, const uint8_t* entering,
                        int32_t width, uint32_t count, uint8_t* out) {
  const int32_t runs_end = narrow_runs_end(width);
  const uint32_t multiplier = narrow_mean_multiplier(count);
  const V n = set16(static_cast<int16_t>(count)), m = set16(static_cast<int16_t>(multiplier));
  for (int32_t c = 0; c < runs_end; c += kNarrowRun) {
    const size_t at = 4 * static_cast<size_t>(c);
    V t[3];
    for (int ch = 0; ch < 3; ++ch) t[ch] = load(s.narrow[ch] + 2 * static_cast<size_t>(c));
    if (leaving != nullptr) {
      t[0] = sub16(t[0], narrow_channel<0>(leaving + at));
      t[1] = sub16(t[1], narrow_channel<1>(leaving + at));
      t[2] = sub16(t[2], narrow_channel<2>(leaving + at));
    }
    if (entering != nullptr) {
      t[0] = add16(t[0], narrow_channel<0>(entering + at));
      t[1] = add16(t[1], narrow_channel<1>(entering + at));
      t[2] = add16(t[2], narrow_channel<2>(entering + at));
    }
    for (int ch = 0; ch < 3; ++ch) store(s.narrow[ch] + 2 * static_cast<size_t>(c), t[ch]);
    if (out == nullptr) continue;
    // B | G << 8 and R | 255 << 8 in 16-bit lanes; interleaved, the pixels
    // of the run's two halves in column order.
    const V blue_green = or_(narrow_mean(t[0], n, m), sll16<8>(narrow_mean(t[1], n, m)));
    const V red_alpha = or_(narrow_mean(t[2], n, m), set16(static_cast<int16_t>(0xFF00)));
    store(out + at, unpacklo16(blue_green, red_alpha));
    store(out + at + 4 * kLanes32, unpackhi16(blue_green, red_alpha));
  }
  for (int32_t c = runs_end; c < width; ++c) {
    uint32_t column[4] = {0, 0, 0, 0};
    for (int ch = 0; ch < 3; ++ch) {
      uint32_t t = narrow_at(s.narrow[ch], c);
      if (leaving != nullptr) t -= leaving[4 * static_cast<size_t>(c) + ch];
      if (entering != nullptr) t += entering[4 * static_cast<size_t>(c) + ch];
      set_narrow_at(s.narrow[ch], c, t);
      column[ch] = t / count;
    }
    if (out == nullptr) continue;
    uint8_t* pixel = out + 4 * static_cast<size_t>(c);
    for (int ch = 0; ch < 3; ++ch) pixel[ch] = static_cast<uint8_t>(column[ch]);
    pixel[kAlpha] = 255;
  }
  s.state[1] = s.state[1] - (leaving != nullptr ? 1 : 0) + (entering != nullptr ? 1 : 0);
}

}  // namespace VELLORA_ISA

#include "ops/kernels/blur_opaque_rows_vector.h"

template <>
void BlurRowKernels<InstructionSet::VELLORA_ISA_SET>::weighted_row_means(
    const uint8_t* row, int32_t width, int32_t r, const uint32_t* multipliers, uint32_t* prefix,
    uint8_t* means) {
  VELLORA_ISA::weighted_row(row, width, r, multipliers, prefix, means);
}

template <>
void BlurRowKernels<InstructionSet::VELLORA_ISA_SET>::opaque_row_means(const uint8_t* row,
                                                                       int32_t width, int32_t r,
                                                                       const uint32_t* multipliers,
                                                                       uint32_t* prefix,
                                                                       uint8_t* means) {
  VELLORA_ISA::opaque_row(row, width, r, multipliers, prefix, means);
}

template <>
void BlurColumnKernels<InstructionSet::VELLORA_ISA_SET>::column_step(
    uint32_t* sums, const uint8_t* leaving, const uint8_t* entering, int32_t width,
    const BlurColumnWindows& windows, uint8_t* out) {
  using namespace VELLORA_ISA;
  const ColumnSums s = column_sums(sums, width);
  // The rows held stay within count + 1 through the step.
  const bool narrow = windows.opaque && windows.count + 1 <= kNarrowRowsMax;
  if (narrow != (s.state[0] != 0)) {
    if (narrow) {
      to_narrow(s, width);
    } else {
      to_wide(s, width);
    }
  }
  if (narrow) {
    narrow_step(s, leaving, entering, width, windows.count, out);
  } else if (windows.opaque) {
    VELLORA_ISA::column_step<true>(s, leaving, entering, width, windows, out);
  } else {
    VELLORA_ISA::column_step<false>(s, leaving, entering, width, windows, out);
  }
}
