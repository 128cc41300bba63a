// BlendBlt's runs of pairs on whole vectors of pixels. Compiled once per
// vector instruction set (kernels/vector_kernels.h). Notation as in
// kernels/blend_pixel.h: Cs, Cd the source's and the destination's color bytes, As, Ad
// their alphas, a = As * opacity / 255.
//
// A run goes kPixels pairs at a time. Groups that need no division (in
// sprites, most pixels are fully transparent or fully opaque) take the short
// paths; every other group is computed with each pixel in a 32-bit lane of
// its own, with divide_narrow for the divisions by a value that changes from
// pixel to pixel. The pairs left over go to the
// plain kernel.

namespace VELLORA_ISA {

// ---------------------------------------------------------------------------
// Modes 0..2 where every pair of the group is one of these (no division but
// by 255; every dividend by 255 is at most 65,025, within div255):
//   a = 0:                 the destination is left as it is (all three modes)
//   normal, Ad = 0 or a = 255 (Wd = 0): Cn = Cs, alpha a
//   normal, Ad = 255 and Ws = 255 a (opacity 255, or As = 255: a layer over
//       an opaque screen, or an opaque sprite): Wd = 255 (255 - a) and
//       L = 255 a + 255 (255 - a) = 65,025, so
//       Cn = (Cs * 255 a + Cd * 255 (255 - a)) / 65,025
//          = (Cs * a + Cd * (255 - a)) / 255, alpha 255
//       (the common factor 255 leaves the truncating quotient unchanged).
//       Under a lower opacity Ws = 255 a + k, 0 < k < 255, L = 65,025 + k
//       varies from pixel to pixel: a group whose destinations are all
//       opaque takes it by over_opaque_quotient (blend_over_opaque_at).
//   add, Ad = 0 (< a):     Cn = Cd * 0 / a + Cs = Cs, alpha a
//   add, Ad = 255 (>= a):  Cn = min(Cd + Cs * a / 255, 255), alpha 255
//       (a = 255 gives Cs * 255 / 255 = Cs, the Ad = a case)
//   subtract, Ad = 0:      Cn = max(0 - Cs, 0) = 0, alpha a
//   subtract, Ad = 255:    Cn = max(Cd - Cs * a / 255, 0), alpha 255

// The last step of add and subtract: Cn = Cd + Cs at most 255, or Cd - Cs at
// least 0, on bytes (MoveBytes) or on 32-bit lanes of 0..255.
template <BlendMode Mode>
inline V add_or_subtract_bytes(V cd, V cs) {
  if constexpr (Mode == BlendMode::kAdd) {
    return adds_u8(cd, cs);
  } else if constexpr (Mode == BlendMode::kSubtract) {
    return subs_u8(cd, cs);
  } else {
    static_assert(kNoFormulaFor<Mode>, "a scaled sum without its last step");
  }
}
template <BlendMode Mode>
inline V add_or_subtract_lanes(V cd, V cs) {
  // Both terms are at most 255, so 16-bit minimums serve in 32-bit lanes.
  if constexpr (Mode == BlendMode::kAdd) {
    return min16(add32(cd, cs), set32(255));
  } else if constexpr (Mode == BlendMode::kSubtract) {
    return sub32(cd, min16(cd, cs));
  } else {
    static_assert(kNoFormulaFor<Mode>, "a scaled sum without its last step");
  }
}

// Cs * a / 255 for the colors of the group's pixels, a given per pixel in
// 32-bit lanes; the alpha bytes come out as junk.
inline V scale_colors(V s, V a) {
  const V lo = div255(mullo16(unpacklo8(s, zero()), spread16_low(a)));
  const V hi = div255(mullo16(unpackhi8(s, zero()), spread16_high(a)));
  return packus16(lo, hi);
}

// The pixels of the group that are one of the cases above: their lanes set.
// `opacity` is in every 32-bit lane. In normal mode, Ws = 255 a holds for
// every pixel at opacity 255 (a = As), and below it is taken only where
// As = 255 (a = opacity), which spares the pixels' own a in the 16-bit lanes.
template <BlendMode Mode, bool FullOpacity>
inline V without_division(V sv, V dv, V opacity) {
  const V full = set32(255);
  const V a = div255(mullo16(srl32<24>(sv), opacity));
  const V ad = srl32<24>(dv);
  const V keep_or_clear = or_(eq32(a, zero()), eq32(ad, zero()));
  const V opaque_dst = eq32(ad, full);
  if constexpr (kBlendGroup<Mode> == BlendGroup::kWeightedMean) {
    const V whole = FullOpacity ? opaque_dst : and_(eq32(srl32<24>(sv), full), opaque_dst);
    return or_(or_(keep_or_clear, eq32(a, full)), whole);
  } else if constexpr (kBlendGroup<Mode> == BlendGroup::kScaledSum) {
    return or_(keep_or_clear, opaque_dst);
  } else {
    static_assert(kNoFormulaFor<Mode>, "only modes 0..2 weigh straight colours");
  }
}

// The group's new pixels where every pair is one of the cases above.
template <BlendMode Mode, bool FullOpacity>
inline V blend_without_division(V sv, V dv, V opacity) {
  const V colors = set32(0x00FFFFFF);
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  const V full = set32(255);
  const V ws = mullo16(srl32<24>(sv), opacity);  // below 2^16: the low 16 bits are all of it
  const V a = div255(ws);
  const V ad = srl32<24>(dv);
  const V keep = eq32(a, zero());
  const V clear_dst = eq32(ad, zero());
  // Destination transparent: Cs (normal; add: 0 + Cs) or 0 (subtract:
  // max(0 - Cs, 0)), alpha a.
  V onto_clear;
  if constexpr (Mode == BlendMode::kNormal || Mode == BlendMode::kAdd) {
    onto_clear = and_(sv, colors);
  } else if constexpr (Mode == BlendMode::kSubtract) {
    onto_clear = zero();
  } else {
    static_assert(kNoFormulaFor<Mode>, "only modes 0..2 weigh straight colours");
  }
  const V from_clear = or_(onto_clear, sll32<24>(a));
  V from_opaque;
  if constexpr (kBlendGroup<Mode> == BlendGroup::kWeightedMean) {
    const V cover = eq32(a, full);  // Wd = 0
    // a and 255 - a in the 16-bit lanes of each pixel's colours.
    const V s_lo = unpacklo8(sv, zero()), s_hi = unpackhi8(sv, zero());
    const V a_lo = FullOpacity ? alpha16(s_lo) : or_(opacity, sll32<16>(opacity));
    const V a_hi = FullOpacity ? alpha16(s_hi) : a_lo;
    const V c255 = set16(255);
    const V lo =
        div255(add16(mullo16(s_lo, a_lo), mullo16(unpacklo8(dv, zero()), sub16(c255, a_lo))));
    const V hi =
        div255(add16(mullo16(s_hi, a_hi), mullo16(unpackhi8(dv, zero()), sub16(c255, a_hi))));
    const V mixed = or_(packus16(lo, hi), alpha_bits);
    const V covered = or_(and_(sv, colors), sll32<24>(a));
    from_opaque = select(cover, covered, mixed);
  } else if constexpr (kBlendGroup<Mode> == BlendGroup::kScaledSum) {
    const V scaled = and_(scale_colors(sv, a), colors);
    from_opaque = or_(add_or_subtract_bytes<Mode>(dv, scaled), alpha_bits);
  } else {
    static_assert(kNoFormulaFor<Mode>, "only modes 0..2 weigh straight colours");
  }
  return select(keep, dv, select(clear_dst, from_clear, from_opaque));
}

// ---------------------------------------------------------------------------
// Modes 0..2 in general, each pixel in a 32-bit lane of its own (s, d the
// group's source and destination pixels as loaded) and each color in turn:
//   Ws = As * op (at most 65,025), a = Ws / 255, Wd = (255 - a) * Ad,
//   L = Ws + Wd (at most 255 * a + 254 + (255 - a) * 255 <= 65,279).
//   normal:   Cn = (Cs * Ws + Cd * Wd) / L, a weighted mean of bytes, so
//             below 256; alpha = L / 255. Where Wd = 0 the quotient is
//             Cs * Ws / Ws = Cs and the alpha a, as they should be.
//   add, subtract: lo = min(Ad, a), hi = max(Ad, a) (at least 1, since
//             a is); the pixel of the lower alpha is scaled by lo / hi
//             (Cs * a / Ad where Ad >= a, which for Ad = a is Cs, else
//             Cd * Ad / a), a quotient of at most 255; then Cn = Cd + Cs
//             at most 255, or Cd - Cs at least 0; alpha = hi.
// Every quotient is below 256 and every divisor below 2^16, within
// divide_narrow, which takes the three colours of a pixel by their shared
// divisor, prepared once. (The shared divisor of kernels/simd_shared_divisor.h
// takes fewer instructions still, but its prepared divisor holds four
// vectors, which eight registers cannot keep beside the colours: in 32-bit
// code it measured slower here.) Where a = 0 the destination is kept.

// The parts of the formulas that every color of a pixel shares.
struct WeightedPixels {
  V a;          // the effective source alpha
  V ws, wd;     // normal: the weights
  V scale_dst;  // add, subtract: Ad < a, the destination's color is scaled
  V lo;         // add, subtract: the factor of the scaled color
  V divisor;    // L (normal) or hi (add, subtract), prepared
  V alpha;      // the new alpha, in place
};

template <BlendMode Mode>
inline WeightedPixels weighted_pixels(V s, V d, V opacity) {
  WeightedPixels w;
  const V ad = channel<3>(d);
  w.ws = mullo16(channel<3>(s), opacity);  // below 2^16: the low 16 bits are all of it
  w.a = div255(w.ws);
  if constexpr (kBlendGroup<Mode> == BlendGroup::kWeightedMean) {
    w.wd = mullo16(sub32(set32(255), w.a), ad);
    const V l = add32(w.ws, w.wd);
    w.divisor = prepare_narrow_divisor(l);
    w.alpha = sll32<24>(div255(l));
  } else if constexpr (kBlendGroup<Mode> == BlendGroup::kScaledSum) {
    w.scale_dst = gt32(w.a, ad);
    w.lo = select(w.scale_dst, ad, w.a);
    const V hi = select(w.scale_dst, w.a, ad);
    w.divisor = prepare_narrow_divisor(hi);
    w.alpha = sll32<24>(hi);
  } else {
    static_assert(kNoFormulaFor<Mode>, "only modes 0..2 weigh straight colours");
  }
  return w;
}

// The dividend of color C: Cs * Ws + Cd * Wd (normal), or the color of the
// pixel of the lower alpha times lo (add, subtract).
template <BlendMode Mode, int C>
inline V weighted_dividend(V s, V d, const WeightedPixels& w) {
  const V cs = channel<C>(s), cd = channel<C>(d);
  if constexpr (kBlendGroup<Mode> == BlendGroup::kWeightedMean) {
    return add32(mul32_small(cs, w.ws), mul32_small(cd, w.wd));
  } else if constexpr (kBlendGroup<Mode> == BlendGroup::kScaledSum) {
    return mullo16(select(w.scale_dst, cd, cs), w.lo);
  } else {
    static_assert(kNoFormulaFor<Mode>, "only modes 0..2 weigh straight colours");
  }
}

// Color C of the group's new pixels, in place, from its quotient.
template <BlendMode Mode, int C>
inline V weighted_color(V s, V d, const WeightedPixels& w, V quotient) {
  if constexpr (kBlendGroup<Mode> == BlendGroup::kWeightedMean) {
    return sll32<8 * C>(quotient);
  } else if constexpr (kBlendGroup<Mode> == BlendGroup::kScaledSum) {
    const V cs = channel<C>(s), cd = channel<C>(d);
    return sll32<8 * C>(add_or_subtract_lanes<Mode>(select(w.scale_dst, quotient, cd),
                                                    select(w.scale_dst, cs, quotient)));
  } else {
    static_assert(kNoFormulaFor<Mode>, "only modes 0..2 weigh straight colours");
  }
}

template <BlendMode Mode>
inline V blend_weighted(V s, V d, V opacity) {
  const WeightedPixels w = weighted_pixels<Mode>(s, d, opacity);
  V q[3] = {weighted_dividend<Mode, 0>(s, d, w), weighted_dividend<Mode, 1>(s, d, w),
            weighted_dividend<Mode, 2>(s, d, w)};
  divide_narrow(q, w.divisor);
  const V out =
      or_(or_(weighted_color<Mode, 0>(s, d, w, q[0]), weighted_color<Mode, 1>(s, d, w, q[1])),
          or_(weighted_color<Mode, 2>(s, d, w, q[2]), w.alpha));
  return select(eq32(w.a, zero()), d, out);
}

// ---------------------------------------------------------------------------
// Modes 3..7 on premultiplied values Ps = Cs * As / 255, Pd = Cd * Ad / 255.

// Multiply, screen and overlay, two pixels per 128-bit lane in 16-bit lanes;
// every division is by 255 and every dividend at most 2 * 255 * 127 =
// 64,770 in the lanes whose result is used, so div255 is exact:
//   multiply: Ps * Pd / 255
//   screen:   255 - (255 - Ps) * (255 - Pd) / 255
//   overlay:  Pd < 128: 2 * Ps * Pd / 255 (at most 2 * 255 * 127 = 64,770)
//             else:     2 * (Ps + Pd - Ps * Pd / 255) - 255
// The caller's unsigned saturating pack is the "at most 255" of overlay.
// The alpha lanes compute nonsense that the caller replaces with 255.
template <BlendMode Mode>
inline V premultiplied_lanes(V s, V d) {
  const V ps = div255(mullo16(s, alpha16(s)));
  const V pd = div255(mullo16(d, alpha16(d)));
  const V c255 = set16(255);
  if constexpr (Mode == BlendMode::kMultiply) {
    return div255(mullo16(ps, pd));
  } else if constexpr (Mode == BlendMode::kScreen) {
    return sub16(c255, div255(mullo16(sub16(c255, ps), sub16(c255, pd))));
  } else if constexpr (Mode == BlendMode::kOverlay) {
    const V low = lt16(pd, set16(128));
    // Lanes that take the second branch compute junk in the first (its
    // product wraps), which is not used.
    const V first = div255(sll16<1>(mullo16(ps, pd)));
    const V sum = sub16(add16(ps, pd), div255(mullo16(ps, pd)));
    const V second = sub16(sll16<1>(sum), c255);
    return select(low, first, second);
  } else {
    static_assert(kNoFormulaFor<Mode>, "a mode that divides by 255 only, without its formula");
  }
}

// Color dodge and burn divide by a different amount in every channel. With
// N the dividend and D the divisor of the quotient, a quotient of 255 or
// more is all that "at most 255" (dodge) or "at least 0" (burn, 255 - q)
// needs to know; otherwise N < 255 * D and divide_narrow (D at most 255)
// gives the quotient exactly:
//   dodge: Ps = 255: 255; else min(Pd * 255 / (255 - Ps), 255)
//          N = Pd * 255 >= 255 * (255 - Ps)  exactly when  Ps + Pd >= 255
//   burn:  Ps = 0: 0;     else max(255 - (255 - Pd) * 255 / Ps, 0)
//          N = (255 - Pd) * 255 >= 255 * Ps  exactly when  Ps + Pd <= 255
// The cases Ps = 255 (dodge) and Ps = 0 (burn) fall in those too, and take
// the saturated value as they should. Each pixel in a 32-bit lane of its own,
// each color in turn; every product is at most 65,025.
template <BlendMode Mode, int C>
inline V dodge_or_burn_color(V s, V d, V as, V ad) {
  const V c255 = set32(255);
  const V ps = div255(mullo16(channel<C>(s), as));
  const V pd = div255(mullo16(channel<C>(d), ad));
  const V sum = add32(ps, pd);
  V cn;
  if constexpr (Mode == BlendMode::kColorDodge) {
    V q[1] = {mullo16(pd, c255)};
    divide_narrow(q, prepare_narrow_divisor(sub32(c255, ps)));
    cn = select(gt32(sum, set32(254)), c255, q[0]);
  } else if constexpr (Mode == BlendMode::kColorBurn) {
    V q[1] = {mullo16(sub32(c255, pd), c255)};
    divide_narrow(q, prepare_narrow_divisor(ps));
    cn = select(gt32(sum, c255), sub32(c255, q[0]), zero());
  } else {
    static_assert(kNoFormulaFor<Mode>, "a mode that divides by a channel, without its formula");
  }
  return sll32<8 * C>(cn);
}

template <BlendMode Mode>
inline V dodge_or_burn(V s, V d) {
  const V as = channel<3>(s), ad = channel<3>(d);
  return or_(
      or_(dodge_or_burn_color<Mode, 0>(s, d, as, ad), dodge_or_burn_color<Mode, 1>(s, d, as, ad)),
      or_(dodge_or_burn_color<Mode, 2>(s, d, as, ad), set32(static_cast<int32_t>(0xFF000000u))));
}

// Where a source is fully transparent (Ps = 0) no division is needed: dodge
// gives Pd * 255 / 255 = Pd and burn gives 0. The group's new pixels where
// every source is.
inline V clear_sources(V sv) {
  return eq32(and_(sv, set32(static_cast<int32_t>(0xFF000000u))), zero());
}
template <BlendMode Mode>
inline V dodge_or_burn_from_clear_sources(V dv) {
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  if constexpr (Mode == BlendMode::kColorDodge) {
    const V lo = unpacklo8(dv, zero()), hi = unpackhi8(dv, zero());
    return or_(packus16(div255(mullo16(lo, alpha16(lo))), div255(mullo16(hi, alpha16(hi)))),
               alpha_bits);
  } else if constexpr (Mode == BlendMode::kColorBurn) {
    return alpha_bits;
  } else {
    static_assert(kNoFormulaFor<Mode>, "a mode that divides by a channel, without its formula");
  }
}

// ---------------------------------------------------------------------------

// Normal at any opacity where every destination of the group is opaque:
// over_opaque_quotient (kernels/blend_pixel.h) for each color, each pixel in a 32-bit
// lane of its own; where a = 0 the destination is kept. Q = N / 65,025 by a
// multiply and a shift:
//   Q = (N * M) >> 40,   M = ceil(2^40 / 65,025)
// With e = 65,025 M - 2^40 (0 <= e < 65,025) and N = 65,025 Q + r,
// N M / 2^40 = Q + (r + N e / 2^40) / 65,025, and N <= 255 * 65,279 < 2^24
// makes N e < 2^40: the fraction stays below 1. N M < 2^49. Every factor
// of the products below is below 2^16.
inline constexpr int kOverOpaqueShift = 40;
inline constexpr uint32_t kOverOpaqueMultiplier = static_cast<uint32_t>(
    ((uint64_t{1} << kOverOpaqueShift) + kOverOpaqueDivisor - 1) / kOverOpaqueDivisor);

template <int C>
inline V over_opaque_color(V s, V d, V ws, V wd, V l) {
  const V n = add32(mul32_small(channel<C>(s), ws), mul32_small(channel<C>(d), wd));
  const V q = mul_shift<kOverOpaqueShift>(n, set32(static_cast<int32_t>(kOverOpaqueMultiplier)));
  return sll32<8 * C>(add32(q, gt32(mul32_small(q, l), n)));  // the comparison's -1 where Q L > N
}

inline V blend_over_opaque_at(V sv, V dv, V opacity) {
  const V ws = mullo16(channel<3>(sv), opacity);
  const V a = div255(ws);
  const V wd = mullo16(sub32(set32(255), a), set32(255));
  const V l = add32(ws, wd);
  const V out =
      or_(or_(over_opaque_color<0>(sv, dv, ws, wd, l), over_opaque_color<1>(sv, dv, ws, wd, l)),
          or_(over_opaque_color<2>(sv, dv, ws, wd, l), set32(static_cast<int32_t>(0xFF000000u))));
  return select(eq32(a, zero()), dv, out);
}

// Modes 0, 1, 2, 4 and 5: the short results where every pair of the group
// takes them (in sprites, most groups), else the general computation, which
// is exact for every pair, the short cases among them. Mixing the two by
// lanes would cost both computations, and on noise a branch that nothing
// predicts (about one group in eight has a short case).
template <BlendMode Mode, bool FullOpacity>
inline void blend_group_with_divisions(uint8_t* d, const uint8_t* s, V opacity) {
  const V sv = load(s), dv = load(d);
  // Modes 0..2 weigh straight colours; 4 and 5 divide premultiplied ones.
  if constexpr (kUsesOpacity<Mode>) {
    if (all_set(without_division<Mode, FullOpacity>(sv, dv, opacity))) {
      store(d, blend_without_division<Mode, FullOpacity>(sv, dv, opacity));
      return;
    }
  } else {
    if (all_set(clear_sources(sv))) {
      store(d, dodge_or_burn_from_clear_sources<Mode>(dv));
      return;
    }
  }
  // At opacity 255 the run has already taken groups whose destinations are
  // all opaque (blend_over_opaque), so only a lower opacity asks here.
  if constexpr (Mode == BlendMode::kNormal && !FullOpacity) {
    const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
    if (all_set(eq32(and_(dv, alpha_bits), alpha_bits))) {
      store(d, blend_over_opaque_at(sv, dv, opacity));
      return;
    }
  }
  if constexpr (kUsesOpacity<Mode>) {
    store(d, blend_weighted<Mode>(sv, dv, opacity));
  } else {
    store(d, dodge_or_burn<Mode>(sv, dv));
  }
}

// Normal at opacity 255 where every destination of the group is opaque: a
// = As, and Ws = 255 a, so every pair is the "Ad = 255, Ws = 255 a" case
// above, Cn = (Cs * As + Cd * (255 - As)) / 255 with alpha 255. That holds
// for As = 0 (Cn = Cd * 255 / 255 = Cd: the destination kept) and As = 255
// (Cn = Cs: covered) too, so one formula serves the whole group. Every
// dividend is at most 255 * 255, within div255. Returns false, writing
// nothing, where a destination is not opaque.
inline bool blend_over_opaque(uint8_t* d, const uint8_t* s) {
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  const V dv = load(d);
  if (!all_set(eq32(and_(dv, alpha_bits), alpha_bits))) return false;
  const V sv = load(s);
  const V c255 = set16(255);
  const V s_lo = unpacklo8(sv, zero()), s_hi = unpackhi8(sv, zero());
  const V a_lo = alpha16(s_lo), a_hi = alpha16(s_hi);
  const V lo =
      div255(add16(mullo16(s_lo, a_lo), mullo16(unpacklo8(dv, zero()), sub16(c255, a_lo))));
  const V hi =
      div255(add16(mullo16(s_hi, a_hi), mullo16(unpackhi8(dv, zero()), sub16(c255, a_hi))));
  store(d, or_(packus16(lo, hi), alpha_bits));
  return true;
}

template <BlendMode Mode>
inline void blend_run_vector(uint8_t* d, const uint8_t* s, int32_t n, int32_t opacity) {
  const V op = set32(opacity);
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  const bool full_opacity = opacity == kOpacityMax;
  int32_t i = 0;
  for (; i + kPixels <= n; i += kPixels) {
    uint8_t* dg = d + static_cast<size_t>(i) * kBytesPerPixel;
    const uint8_t* sg = s + static_cast<size_t>(i) * kBytesPerPixel;
    if constexpr (Mode == BlendMode::kNormal) {
      if (full_opacity && blend_over_opaque(dg, sg)) continue;
    }
    if constexpr (kBlendGroup<Mode> == BlendGroup::kPremultipliedBy255) {
      const V sv = load(sg), dv = load(dg);
      const V lo = premultiplied_lanes<Mode>(unpacklo8(sv, zero()), unpacklo8(dv, zero()));
      const V hi = premultiplied_lanes<Mode>(unpackhi8(sv, zero()), unpackhi8(dv, zero()));
      store(dg, or_(packus16(lo, hi), alpha_bits));
    } else if (full_opacity) {
      blend_group_with_divisions<Mode, true>(dg, sg, op);
    } else {
      blend_group_with_divisions<Mode, false>(dg, sg, op);
    }
  }
  BlendKernels<InstructionSet::kPlain>::blend_pairs<Mode>(
      d + static_cast<size_t>(i) * kBytesPerPixel, s + static_cast<size_t>(i) * kBytesPerPixel,
      n - i, opacity);
}

}  // namespace VELLORA_ISA

template <>
template <BlendMode Mode>
void BlendKernels<InstructionSet::VELLORA_ISA_SET>::blend_pairs(uint8_t* d, const uint8_t* s,
                                                                int32_t n, int32_t opacity) {
  VELLORA_ISA::blend_run_vector<Mode>(d, s, n, opacity);
}

// Every mode's run, for the walks.
VELLORA_BLEND_PAIRS_OF_EVERY_MODE(InstructionSet::VELLORA_ISA_SET)
