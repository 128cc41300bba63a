// BlendBlt's runs of pairs on whole vectors of pixels. Included by
// kernels/sse2.cpp and kernels/avx2.cpp inside their instruction set's
// namespace. Notation as in ops/blend.h: Cs, Cd the source's and the
// destination's color bytes, As, Ad their alphas, a = As * opacity / 255.
//
// A run goes kPixels pairs at a time. Groups that need no division (in
// sprites, most pixels are fully transparent or fully opaque) take the short
// paths; every other group is computed in 32-bit lanes, one pixel per 128-bit
// lane, with divide_small_quotient for the divisions by a value that changes
// from pixel to pixel. The pairs left over go to the plain kernel.

// ---------------------------------------------------------------------------
// Modes 0..2 where every pair of the group is one of these (no division but
// by 255; every dividend by 255 is at most 65,025, within div255_16):
//   a = 0:                 the destination is left as it is (all three modes)
//   normal, Ad = 0 or a = 255 (Wd = 0): Cn = Cs, alpha a
//   normal, As = Ad = 255: L = 255 * op + (255 - op) * 255 = 65,025, so
//       Cn = (Cs * 255 * op + Cd * (255 - op) * 255) / 65,025
//          = (Cs * op + Cd * (255 - op)) / 255, alpha 255
//   add, Ad = 0 (< a):     Cn = Cd * 0 / a + Cs = Cs, alpha a
//   add, Ad = 255 (>= a):  Cn = min(Cd + Cs * a / 255, 255), alpha 255
//       (a = 255 gives Cs * 255 / 255 = Cs, the Ad = a case)
//   subtract, Ad = 0:      Cn = max(0 - Cs, 0) = 0, alpha a
//   subtract, Ad = 255:    Cn = max(Cd - Cs * a / 255, 0), alpha 255

// Cs * a / 255 for the colors of the group's pixels, a given per pixel in
// 32-bit lanes; the alpha bytes come out as junk.
inline V scale_colors(V s, V a) {
  const V lo = div255_16(mullo16(unpacklo8(s, zero()), spread16_low(a)));
  const V hi = div255_16(mullo16(unpackhi8(s, zero()), spread16_high(a)));
  return packus16(lo, hi);
}

// Writes the group and returns true when every pair is one of the cases
// above; otherwise writes nothing. `opacity` is in every 32-bit lane.
template <int32_t Mode>
inline bool blend_without_division(uint8_t* d, const uint8_t* s, V opacity) {
  const V colors = set32(0x00FFFFFF);
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  const V full = set32(255);
  const V sv = load(s);
  const V dv = load(d);
  const V a = div255_32(mullo16(srl32<24>(sv), opacity));
  const V ad = srl32<24>(dv);
  const V keep = eq32(a, zero());
  const V clear_dst = eq32(ad, zero());
  const V opaque_dst = eq32(ad, full);
  // Destination transparent: Cs (normal, add) or 0 (subtract), alpha a.
  const V from_clear = or_(Mode == BLEND_SUBTRACT ? zero() : and_(sv, colors), sll32<24>(a));
  V simple = or_(keep, clear_dst);
  V from_opaque;
  if constexpr (Mode == BLEND_NORMAL) {
    const V opaque_src = eq32(srl32<24>(sv), full);
    simple = or_(simple, eq32(a, full));  // a = 255 also has Wd = 0
    simple = or_(simple, and_(opaque_src, opaque_dst));
    if (!all_set(simple)) return false;
    const V cover = or_(clear_dst, eq32(a, full));
    const V op16 = or_(opacity, sll32<16>(opacity));  // opacity in every 16-bit lane
    const V inv16 = sub16(set16(255), op16);
    const V lo = div255_16(
        add16(mullo16(unpacklo8(sv, zero()), op16), mullo16(unpacklo8(dv, zero()), inv16)));
    const V hi = div255_16(
        add16(mullo16(unpackhi8(sv, zero()), op16), mullo16(unpackhi8(dv, zero()), inv16)));
    const V mixed = or_(packus16(lo, hi), alpha_bits);
    const V covered = or_(and_(sv, colors), sll32<24>(a));
    from_opaque = select(cover, covered, mixed);
  } else {
    simple = or_(simple, opaque_dst);
    if (!all_set(simple)) return false;
    const V scaled = and_(scale_colors(sv, a), colors);
    const V moved = Mode == BLEND_ADD ? adds_u8(dv, scaled) : subs_u8(dv, scaled);
    from_opaque = or_(moved, alpha_bits);
  }
  store(d, select(keep, dv, select(clear_dst, from_clear, from_opaque)));
  return true;
}

// ---------------------------------------------------------------------------
// Modes 0..2 in general, one pixel per 128-bit lane (s, d in 32-bit lanes):
//   Ws = As * op (at most 65,025), a = Ws / 255, Wd = (255 - a) * Ad,
//   L = Ws + Wd (at most 255 * a + 254 + (255 - a) * 255 <= 65,279).
//   normal:   Cn = (Cs * Ws + Cd * Wd) / L, a weighted mean of bytes, so
//             below 256; alpha = L / 255, below 256 since L < 65,280. Where
//             Wd = 0 the quotient is Cs * Ws / Ws = Cs and the alpha a, as
//             they should be.
//   add, subtract: lo = min(Ad, a), hi = max(Ad, a) (at least 1, since
//             a is); the pixel of the lower alpha is scaled by lo / hi
//             (Cs * a / Ad where Ad >= a, which for Ad = a is Cs, else
//             Cd * Ad / a), a quotient of at most 255; then Cn = Cd + Cs
//             at most 255, or Cd - Cs at least 0; alpha = hi.
// Every quotient is below 256 and every divisor below 2^17, within
// divide_small_quotient. Where a = 0 the destination is kept.
template <int32_t Mode>
inline V blend_weighted(V s, V d, V opacity) {
  const V ws = mullo16(alpha32(s), opacity);  // below 2^16: the low 16 bits are all of it
  const V a = div255_32(ws);
  const V ad = alpha32(d);
  V out;
  if constexpr (Mode == BLEND_NORMAL) {
    const V wd = mullo16(sub32(set32(255), a), ad);
    const V l = add32(ws, wd);
    const V numerators = with_alpha32(add32(mul32_small(s, ws), mul32_small(d, wd)), l);
    out = divide_small_quotient(numerators, with_alpha32(l, set32(255)));
  } else {
    const V scale_dst = gt32(a, ad);  // Ad < a
    const V lo = select(scale_dst, ad, a);
    const V hi = select(scale_dst, a, ad);
    const V scaled = divide_small_quotient(mullo16(select(scale_dst, d, s), lo), hi);
    const V left = select(scale_dst, scaled, d);
    const V right = select(scale_dst, s, scaled);
    // Both terms are at most 255, so 16-bit minimums serve in 32-bit lanes.
    const V colors =
        Mode == BLEND_ADD ? min16(add32(left, right), set32(255)) : sub32(left, min16(left, right));
    out = with_alpha32(colors, hi);
  }
  return select(eq32(a, zero()), d, out);
}

template <int32_t Mode>
inline void blend_weighted_pairs(uint8_t* d, const uint8_t* s, V opacity) {
  V sa, sb, da, db;
  load_pair(s, &sa, &sb);
  load_pair(d, &da, &db);
  store_pair(d, blend_weighted<Mode>(sa, da, opacity), blend_weighted<Mode>(sb, db, opacity));
}

// ---------------------------------------------------------------------------
// Modes 3..7 on premultiplied values Ps = Cs * As / 255, Pd = Cd * Ad / 255.

// Multiply, screen and overlay, two pixels per 128-bit lane in 16-bit lanes;
// every division is by 255 and every dividend at most 65,279, so div255_16
// is exact:
//   multiply: Ps * Pd / 255
//   screen:   255 - (255 - Ps) * (255 - Pd) / 255
//   overlay:  Pd < 128: 2 * Ps * Pd / 255 (at most 2 * 255 * 127 = 64,770)
//             else:     2 * (Ps + Pd - Ps * Pd / 255) - 255
// The caller's unsigned saturating pack is the "at most 255" of overlay.
// The alpha lanes compute nonsense that the caller replaces with 255.
template <int32_t Mode>
inline V premultiplied_lanes(V s, V d) {
  const V ps = div255_16(mullo16(s, alpha16(s)));
  const V pd = div255_16(mullo16(d, alpha16(d)));
  const V c255 = set16(255);
  if constexpr (Mode == BLEND_MULTIPLY) {
    return div255_16(mullo16(ps, pd));
  } else if constexpr (Mode == BLEND_SCREEN) {
    return sub16(c255, div255_16(mullo16(sub16(c255, ps), sub16(c255, pd))));
  } else {
    const V low = lt16(pd, set16(128));
    // Lanes that take the second branch compute the first with Pd cut to
    // 127, which keeps its dividend in range; the result is not used.
    const V first = div255_16(sll16<1>(mullo16(ps, min16(pd, set16(127)))));
    const V sum = sub16(add16(ps, pd), div255_16(mullo16(ps, pd)));
    const V second = sub16(sll16<1>(sum), c255);
    return select(low, first, second);
  }
}

// Color dodge and burn divide by a different amount in every channel. With
// N the dividend and D the divisor of the quotient, a quotient of 255 or
// more is all that "at most 255" (dodge) or "at least 0" (burn, 255 - q)
// needs to know, and N >= 255 * D says it; otherwise N < 255 * D and
// divide_small_quotient gives the quotient exactly:
//   dodge: Ps = 255: 255; else min(Pd * 255 / (255 - Ps), 255)
//   burn:  Ps = 0: 0;     else max(255 - (255 - Pd) * 255 / Ps, 0)
// D = 0 (the Ps = 255 of dodge, the Ps = 0 of burn) makes 255 * D - 1 = -1,
// which every N exceeds: those lanes take the saturated value as they
// should. Every product is at most 65,025 and stays in the low 16 bits.
template <int32_t Mode>
inline V dodge_or_burn(V s, V d) {
  const V c255 = set32(255);
  const V ps = div255_32(mullo16(s, alpha32(s)));
  const V pd = div255_32(mullo16(d, alpha32(d)));
  const V n = mullo16(Mode == BLEND_COLOR_DODGE ? pd : sub32(c255, pd), c255);
  const V divisor = Mode == BLEND_COLOR_DODGE ? sub32(c255, ps) : ps;
  const V saturated = gt32(n, sub32(mullo16(divisor, c255), set32(1)));
  const V q = divide_small_quotient(n, divisor);
  const V colors = Mode == BLEND_COLOR_DODGE ? select(saturated, c255, q)
                                             : select(saturated, zero(), sub32(c255, q));
  return with_alpha32(colors, c255);
}

template <int32_t Mode>
inline void dodge_or_burn_pairs(uint8_t* d, const uint8_t* s) {
  V sa, sb, da, db;
  load_pair(s, &sa, &sb);
  load_pair(d, &da, &db);
  store_pair(d, dodge_or_burn<Mode>(sa, da), dodge_or_burn<Mode>(sb, db));
}

// A group whose sources are all fully transparent (Ps = 0) needs no
// division: dodge gives Pd * 255 / 255 = Pd and burn gives 0. Writes the
// group and returns true, or writes nothing.
template <int32_t Mode>
inline bool dodge_or_burn_clear_sources(uint8_t* d, const uint8_t* s) {
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  if (!all_set(eq32(and_(load(s), alpha_bits), zero()))) return false;
  V out = zero();
  if constexpr (Mode == BLEND_COLOR_DODGE) {
    const V dv = load(d);
    const V lo = unpacklo8(dv, zero()), hi = unpackhi8(dv, zero());
    out = packus16(div255_16(mullo16(lo, alpha16(lo))), div255_16(mullo16(hi, alpha16(hi))));
  }
  store(d, or_(out, alpha_bits));
  return true;
}

// ---------------------------------------------------------------------------

template <int32_t Mode>
inline void blend_run_vector(uint8_t* d, const uint8_t* s, int32_t n, int32_t opacity) {
  const V op = set32(opacity);
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  constexpr size_t kPairBytes = kPairPixels * kBytesPerPixel;
  int32_t i = 0;
  for (; i + kPixels <= n; i += kPixels) {
    uint8_t* dg = d + static_cast<size_t>(i) * kBytesPerPixel;
    const uint8_t* sg = s + static_cast<size_t>(i) * kBytesPerPixel;
    if constexpr (Mode <= BLEND_SUBTRACT) {
      if (blend_without_division<Mode>(dg, sg, op)) continue;
      blend_weighted_pairs<Mode>(dg, sg, op);
      blend_weighted_pairs<Mode>(dg + kPairBytes, sg + kPairBytes, op);
    } else if constexpr (Mode == BLEND_COLOR_DODGE || Mode == BLEND_COLOR_BURN) {
      if (dodge_or_burn_clear_sources<Mode>(dg, sg)) continue;
      dodge_or_burn_pairs<Mode>(dg, sg);
      dodge_or_burn_pairs<Mode>(dg + kPairBytes, sg + kPairBytes);
    } else {
      const V sv = load(sg), dv = load(dg);
      const V lo = premultiplied_lanes<Mode>(unpacklo8(sv, zero()), unpacklo8(dv, zero()));
      const V hi = premultiplied_lanes<Mode>(unpackhi8(sv, zero()), unpackhi8(dv, zero()));
      store(dg, or_(packus16(lo, hi), alpha_bits));
    }
  }
  blend_pairs<InstructionSet::kPlain>(d + static_cast<size_t>(i) * kBytesPerPixel,
                                      s + static_cast<size_t>(i) * kBytesPerPixel, n - i, Mode,
                                      opacity);
}

inline void blend_pairs_vector(uint8_t* d, const uint8_t* s, int32_t n, int32_t mode,
                               int32_t opacity) {
  with_blend_mode(mode,
                  [&](auto tag) { blend_run_vector<decltype(tag)::value>(d, s, n, opacity); });
}
