// The blur's two passes on whole vectors of pixels, one pixel per 128-bit
// lane: the SSE2 tier's (kernels/sse2.cpp), which has no lane permutes for the
// channel-apart kernels of kernels/blur_channels_vector.h. A window's samples are
// weighted as in kernels/blur_plain.cpp, (B * A, G * A, R * A, A), and its
// means follow the same rule:
//   alpha_sum < count: (0, 0, 0, 0)
//   otherwise: color_sum / alpha_sum for each color, alpha_sum / count
// Both passes work in 32-bit lanes, one pixel per 128-bit lane.

namespace VELLORA_ISA {

// (B * A, G * A, R * A, A) of pixels in 32-bit lanes; each product is at
// most 65,025, so the low 16 bits of the lanes' 16-bit products are all of it.
inline V weighted32(V x) { return mullo16(x, with_alpha32(alpha32(x), set32(1))); }

// The same where every alpha is known to be 255.
template <bool Opaque>
inline V weighted32_as(V x) {
  return Opaque ? mullo16(x, lane32(255, 255, 255, 1)) : weighted32(x);
}

// The means of window sums, with each window's sample count in the alpha lane
// of `counts` (the other lanes are not read). A color sum is at most 255 * alpha_sum (a weighted
// mean of bytes), an alpha sum below 256 * count and at most 2,001 * 255 = 510,255: within
// divide_small_quotient. Faded windows (alpha_sum < count) also keep every divisor they would have
// had from being 0 elsewhere.
inline V window_means(V sums, V counts) {
  const V alpha_sum = alpha32(sums);
  // Wholly transparent windows, common in sprites, need no division.
  if (all_set(eq32(alpha_sum, zero()))) return zero();
  const V faded = gt32(alpha32(counts), alpha_sum);
  return andnot(faded, divide_small_quotient(sums, with_alpha32(alpha_sum, counts)));
}

// prefix + 4k gets the weighted sums of pixels 0 .. k - 1 of the row, for k
// = 0 .. width. They wrap modulo 2^32, and a window's sums, the difference of
// two of them, are exact: the true sums are below 2^32. One pixel follows the
// other, so this part runs in one 128-bit lane whatever V is.
inline __m128i add_pixels(__m128i sum, __m128i two_pixels16, uint32_t* prefix) {
  const __m128i products = sse2::weighted16(two_pixels16);
  sum = _mm_add_epi32(sum, _mm_unpacklo_epi16(products, _mm_setzero_si128()));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix), sum);
  sum = _mm_add_epi32(sum, _mm_unpackhi_epi16(products, _mm_setzero_si128()));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix + 4), sum);
  return sum;
}

inline void running_sums(const uint8_t* row, int32_t width, uint32_t* prefix) {
  const __m128i zero128 = _mm_setzero_si128();
  __m128i sum = zero128;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix), sum);
  int32_t k = 0;
  for (; k + 4 <= width; k += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * k));
    sum = add_pixels(sum, _mm_unpacklo_epi8(x, zero128), prefix + 4 * (k + 1));
    sum = add_pixels(sum, _mm_unpackhi_epi8(x, zero128), prefix + 4 * (k + 3));
  }
  for (; k < width; ++k) {
    int32_t word;
    std::memcpy(&word, row + 4 * k, sizeof word);
    const __m128i one = _mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero128);
    sum = _mm_add_epi32(sum, _mm_unpacklo_epi16(sse2::weighted16(one), zero128));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix + 4 * (k + 1)), sum);
  }
}

// The running sums of an opaque row: its colours unweighted (opaque_mean.h),
// the alpha lanes unused.
inline void opaque_running_sums(const uint8_t* row, int32_t width, uint32_t* prefix) {
  const __m128i zero128 = _mm_setzero_si128();
  __m128i sum = zero128;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix), sum);
  const auto add = [&](__m128i pixel, int32_t k) {
    sum = _mm_add_epi32(sum, pixel);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix + 4 * (k + 1)), sum);
  };
  int32_t k = 0;
  for (; k + 4 <= width; k += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * k));
    const __m128i lo = _mm_unpacklo_epi8(x, zero128), hi = _mm_unpackhi_epi8(x, zero128);
    add(_mm_unpacklo_epi16(lo, zero128), k);
    add(_mm_unpackhi_epi16(lo, zero128), k + 1);
    add(_mm_unpacklo_epi16(hi, zero128), k + 2);
    add(_mm_unpackhi_epi16(hi, zero128), k + 3);
  }
  for (; k < width; ++k) {
    int32_t word;
    std::memcpy(&word, row + 4 * k, sizeof word);
    add(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero128), zero128), k);
  }
}

// The means of opaque windows from their colour sums (Shift =
// kRowMeanShift) or weighted colour sums (kColumnMeanShift), each pixel's
// multiplier in all of its lanes (opaque_mean.h).
template <int Shift>
inline V opaque_means(V sums, V multipliers) {
  return with_alpha32(mul_shift<Shift>(sums, multipliers), set32(255));
}

// The sums and sample counts (in the alpha lanes) of the windows of columns
// j .. j + kPairPixels - 1, found one by one; columns past the row repeat its
// last one.
inline void gather_window_sums(const uint32_t* prefix, int32_t width, int32_t r, int32_t j,
                               V* sum_a, V* sum_b, V* count_a, V* count_b) {
  const uint32_t* first[kPairPixels];
  const uint32_t* end[kPairPixels];
  uint32_t counts[kPairPixels];
  for (int k = 0; k < kPairPixels; ++k) {
    const int32_t c = std::min(j + k, width - 1);
    const int32_t window_lo = std::max(c - r, 0);
    const int32_t window_hi = std::min(c + r, width - 1) + 1;
    first[k] = prefix + 4 * window_lo;
    end[k] = prefix + 4 * window_hi;
    counts[k] = static_cast<uint32_t>(window_hi - window_lo);
  }
  V la, lb, ha, hb;
  gather_pair(first, &la, &lb);
  gather_pair(end, &ha, &hb);
  alpha_pair(counts, count_a, count_b);
  *sum_a = sub32(ha, la);
  *sum_b = sub32(hb, lb);
}

// The group's means into means + 4j; a last group that runs past the row
// stores only what belongs to it.
inline void store_group(uint8_t* means, int32_t width, int32_t j, V qa, V qb) {
  uint8_t* to = means + 4 * j;
  if (j + kPairPixels <= width) {
    store_pair(to, qa, qb);
  } else {
    uint8_t group[4 * kPairPixels];
    store_pair(group, qa, qb);
    std::memcpy(to, group, static_cast<size_t>(4 * (width - j)));
  }
}

// The row pass: each window's sums from two running sums, kPairPixels
// windows at a time. For a group whose windows' first ends are all past the
// row's start (or all clamped to it), and whose last ends are all before the
// row's end (or all clamped to it), each end is a run of consecutive running
// sums (or one sum for all), and the windows' sample counts step by -1, 0 or
// 1 from one to the next; in the other groups each window's ends are found
// one by one.
inline void row_window_means(int32_t width, int32_t r, const uint32_t* prefix, uint8_t* means) {
  const V row_total = record_everywhere(prefix + 4 * width);  // the end of every clamped window
  V index_a, index_b;
  pair_indices(&index_a, &index_b);
  for (int32_t j = 0; j < width; j += kPairPixels) {
    const int32_t lo = j - r, hi = j + r + 1;  // the first window's ends, unclamped
    const bool lo_runs = lo >= 0, lo_clamped = lo + kPairPixels - 1 <= 0;
    const bool hi_runs = hi + kPairPixels - 1 <= width, hi_clamped = hi >= width;
    V sum_a, sum_b, count_a, count_b;
    if ((lo_runs || lo_clamped) && (hi_runs || hi_clamped) && j + kPairPixels <= width) {
      // Running sum 0 is all zero: a clamped first end adds nothing.
      V la = zero(), lb = zero(), ha = row_total, hb = row_total;
      if (lo_runs) {
        const auto* at = reinterpret_cast<const uint8_t*>(prefix + 4 * lo);
        la = load(at);
        lb = load(at + 16 * kLanes128);
      }
      if (hi_runs) {
        const auto* at = reinterpret_cast<const uint8_t*>(prefix + 4 * hi);
        ha = load(at);
        hb = load(at + 16 * kLanes128);
      }
      sum_a = sub32(ha, la);
      sum_b = sub32(hb, lb);
      const V base = set32((hi_runs ? hi : width) - (lo_runs ? lo : 0));
      if (hi_runs == lo_runs) {
        count_a = count_b = base;
      } else if (hi_runs) {
        count_a = add32(base, index_a);
        count_b = add32(base, index_b);
      } else {
        count_a = sub32(base, index_a);
        count_b = sub32(base, index_b);
      }
    } else {
      gather_window_sums(prefix, width, r, j, &sum_a, &sum_b, &count_a, &count_b);
    }
    store_group(means, width, j, window_means(sum_a, count_a), window_means(sum_b, count_b));
  }
}

// A run of whole groups j .. end - 1 (steps of kPairPixels) of an opaque
// row whose windows' first ends all run (LoRuns) or are all clamped to the
// row's start, and whose last ends all run (HiRuns) or are all clamped to
// its end: the same loads for every group, no branch.
template <bool LoRuns, bool HiRuns>
inline int32_t opaque_group_run(const uint32_t* prefix, int32_t width, int32_t r,
                                const uint32_t* opaque_multipliers, uint8_t* means, int32_t j,
                                int32_t end) {
  const V row_total = record_everywhere(prefix + 4 * width);
  for (; j < end; j += kPairPixels) {
    V la = zero(), lb = zero(), ha = row_total, hb = row_total;
    if constexpr (LoRuns) {
      const auto* at = reinterpret_cast<const uint8_t*>(prefix + 4 * (j - r));
      la = load(at);
      lb = load(at + 16 * kLanes128);
    }
    if constexpr (HiRuns) {
      const auto* at = reinterpret_cast<const uint8_t*>(prefix + 4 * (j + r + 1));
      ha = load(at);
      hb = load(at + 16 * kLanes128);
    }
    V ma, mb;
    pair_values(opaque_multipliers + j, &ma, &mb);
    store_pair(means + 4 * j, opaque_means<kRowMeanShift>(sub32(ha, la), ma),
               opaque_means<kRowMeanShift>(sub32(hb, lb), mb));
  }
  return j;
}

// The row pass of an opaque row, from its colour sums: groups as above, in
// runs that keep their kind of ends, so that each run is one tight loop.
inline void opaque_row_means(int32_t width, int32_t r, const uint32_t* opaque_multipliers,
                             const uint32_t* prefix, uint8_t* means) {
  for (int32_t j = 0; j < width;) {
    const bool lo_runs = j - r >= 0, lo_clamped = j + kPairPixels - 1 - r <= 0;
    const bool hi_runs = j + kPairPixels + r <= width, hi_clamped = j + r + 1 >= width;
    if ((lo_runs || lo_clamped) && (hi_runs || hi_clamped) && j + kPairPixels <= width) {
      // Running first ends and clamped last ends stay so; the run ends where
      // a clamped first end or a running last end, or a whole group, would not.
      int32_t end = width - kPairPixels + 1;
      if (!lo_runs) end = std::min(end, r - kPairPixels + 2);
      if (hi_runs) end = std::min(end, width - r - kPairPixels + 1);
      if (lo_runs && hi_runs) {
        j = opaque_group_run<true, true>(prefix, width, r, opaque_multipliers, means, j, end);
      } else if (lo_runs) {
        j = opaque_group_run<true, false>(prefix, width, r, opaque_multipliers, means, j, end);
      } else if (hi_runs) {
        j = opaque_group_run<false, true>(prefix, width, r, opaque_multipliers, means, j, end);
      } else {
        j = opaque_group_run<false, false>(prefix, width, r, opaque_multipliers, means, j, end);
      }
      continue;
    }
    V sum_a, sum_b, count_a, count_b, ma, mb;
    gather_window_sums(prefix, width, r, j, &sum_a, &sum_b, &count_a, &count_b);
    pair_values(opaque_multipliers + j, &ma, &mb);
    store_group(means, width, j, opaque_means<kRowMeanShift>(sum_a, ma),
                opaque_means<kRowMeanShift>(sum_b, mb));
    j += kPairPixels;
  }
}

// The column pass: each column's four sums, kPairPixels columns at a time;
// the columns past the last whole group are the plain kernel's.
template <bool Opaque>
inline void column_step(uint32_t* sums, const uint8_t* leaving, const uint8_t* entering,
                        int32_t width, const BlurColumnWindows& windows, uint8_t* out) {
  const V counts = lane32(0, 0, 0, static_cast<int32_t>(windows.count));
  const V multiplier = set32(static_cast<int32_t>(windows.opaque_multiplier));
  int32_t c = 0;
  for (; c + kPairPixels <= width; c += kPairPixels) {
    uint8_t* at = reinterpret_cast<uint8_t*>(sums + 4 * c);
    V a = load(at), b = load(at + 16 * kLanes128);
    if (leaving != nullptr) {
      V la, lb;
      load_pair(leaving + 4 * c, &la, &lb);
      a = sub32(a, weighted32_as<Opaque>(la));
      b = sub32(b, weighted32_as<Opaque>(lb));
    }
    if (entering != nullptr) {
      V ea, eb;
      load_pair(entering + 4 * c, &ea, &eb);
      a = add32(a, weighted32_as<Opaque>(ea));
      b = add32(b, weighted32_as<Opaque>(eb));
    }
    store(at, a);
    store(at + 16 * kLanes128, b);
    if (out == nullptr) continue;
    if constexpr (Opaque) {
      store_pair(out + 4 * c, opaque_means<kColumnMeanShift>(a, multiplier),
                 opaque_means<kColumnMeanShift>(b, multiplier));
    } else {
      store_pair(out + 4 * c, window_means(a, counts), window_means(b, counts));
    }
  }
  BlurColumnKernels<InstructionSet::kPlain>::column_step(
      sums + 4 * c, leaving != nullptr ? leaving + 4 * c : nullptr,
      entering != nullptr ? entering + 4 * c : nullptr, width - c, windows,
      out != nullptr ? out + 4 * c : nullptr);
}

}  // namespace VELLORA_ISA

#include "ops/kernels/blur_opaque_rows_vector.h"

template <>
void BlurRowKernels<InstructionSet::VELLORA_ISA_SET>::weighted_row_means(const uint8_t* row,
                                                                         int32_t width, int32_t r,
                                                                         const uint32_t*,
                                                                         uint32_t* prefix,
                                                                         uint8_t* means) {
  using namespace VELLORA_ISA;
  running_sums(row, width, prefix);
  row_window_means(width, r, prefix, means);
}

template <>
void BlurRowKernels<InstructionSet::VELLORA_ISA_SET>::opaque_row_means(const uint8_t* row,
                                                                       int32_t width, int32_t r,
                                                                       const uint32_t* multipliers,
                                                                       uint32_t* prefix,
                                                                       uint8_t* means) {
  using namespace VELLORA_ISA;
  opaque_running_sums(row, width, prefix);
  VELLORA_ISA::opaque_row_means(width, r, multipliers, prefix, means);
}

template <>
void BlurColumnKernels<InstructionSet::VELLORA_ISA_SET>::column_step(
    uint32_t* sums, const uint8_t* leaving, const uint8_t* entering, int32_t width,
    const BlurColumnWindows& windows, uint8_t* out) {
  using namespace VELLORA_ISA;
  if (windows.opaque) {
    VELLORA_ISA::column_step<true>(sums, leaving, entering, width, windows, out);
  } else {
    VELLORA_ISA::column_step<false>(sums, leaving, entering, width, windows, out);
  }
}
