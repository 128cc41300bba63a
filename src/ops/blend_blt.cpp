#include "ops/blend_blt.h"

#include <algorithm>
#include <cstddef>

#include "ops/blend.h"
#include "ops/division.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellora {

namespace {

// One axis of the clip, on an origin d in the destination (size dst_size), an
// origin s in the source (size src_size) and a length n. Cutting one origin
// moves the other by the same amount, so the pairing is kept. In 64 bits, so
// that no sum of 32-bit arguments can overflow; in-range values clip exactly
// as they would in 32 bits.
void clip_axis(int64_t* d, int64_t* s, int64_t* n, int64_t dst_size, int64_t src_size) {
  if (*s < 0) {
    *d -= *s;
    *n += *s;
    *s = 0;
  }
  if (*s + *n > src_size) *n = src_size - *s;
  if (*d < 0) {
    *s -= *d;
    *n += *d;
    *d = 0;
  }
  if (*d + *n > dst_size) *n = dst_size - *d;
}

}  // namespace

bool clip_blend_area(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
                     int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height,
                     BlendArea* area) {
  if (dst_x >= dst.width || dst_y >= dst.height) return false;

  int64_t dx = dst_x, sx = src_x, w = area_width;
  int64_t dy = dst_y, sy = src_y, h = area_height;
  clip_axis(&dx, &sx, &w, dst.width, src.width);
  clip_axis(&dy, &sy, &h, dst.height, src.height);
  if (w <= 0 || h <= 0) return false;

  // Now 0 <= dx, dx + w <= DW and 0 <= sx, sx + w <= SW (likewise in y), so
  // every value fits in 32 bits.
  *area = BlendArea{static_cast<int32_t>(dx), static_cast<int32_t>(dy), static_cast<int32_t>(sx),
                    static_cast<int32_t>(sy), static_cast<int32_t>(w),  static_cast<int32_t>(h)};
  return true;
}

namespace {

#if defined(__SSE2__)
// Two pixels in 16-bit lanes (B, G, R, A, B, G, R, A): each lane gets its
// pixel's alpha.
inline __m128i alpha_lanes(__m128i x) {
  const __m128i lo = _mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm_shufflehi_epi16(lo, _MM_SHUFFLE(3, 3, 3, 3));
}

// Modes 3, 6 and 7 on two pixels in 16-bit lanes; every division is by 255
// and every dividend at most 65,279, so div255 is exact (see division.h):
//   Ps = Cs * As / 255, Pd = Cd * Ad / 255
//   multiply: Ps * Pd / 255
//   screen:   255 - (255 - Ps) * (255 - Pd) / 255
//   overlay:  Pd < 128: 2 * Ps * Pd / 255 (at most 2 * 255 * 127 = 64,770)
//             else:     2 * (Ps + Pd - Ps * Pd / 255) - 255
// The caller's unsigned saturating pack is the "at most 255" of overlay.
// The alpha lanes compute nonsense that the caller replaces with 255.
template <int32_t Mode>
inline __m128i premultiplied_lanes(__m128i s, __m128i d) {
  const __m128i ps = div255_epu16(_mm_mullo_epi16(s, alpha_lanes(s)));
  const __m128i pd = div255_epu16(_mm_mullo_epi16(d, alpha_lanes(d)));
  const __m128i c255 = _mm_set1_epi16(255);
  if constexpr (Mode == BLEND_MULTIPLY) {
    return div255_epu16(_mm_mullo_epi16(ps, pd));
  } else if constexpr (Mode == BLEND_SCREEN) {
    const __m128i inv = _mm_mullo_epi16(_mm_sub_epi16(c255, ps), _mm_sub_epi16(c255, pd));
    return _mm_sub_epi16(c255, div255_epu16(inv));
  } else {
    const __m128i low = _mm_cmplt_epi16(pd, _mm_set1_epi16(128));
    // Lanes that take the second branch compute the first with Pd cut to
    // 127, which keeps its dividend in range; the result is not used.
    const __m128i pd_low = _mm_min_epi16(pd, _mm_set1_epi16(127));
    const __m128i first = div255_epu16(_mm_slli_epi16(_mm_mullo_epi16(ps, pd_low), 1));
    const __m128i sum = _mm_sub_epi16(_mm_add_epi16(ps, pd), div255_epu16(_mm_mullo_epi16(ps, pd)));
    const __m128i second = _mm_sub_epi16(_mm_slli_epi16(sum, 1), c255);
    return _mm_or_si128(_mm_and_si128(low, first), _mm_andnot_si128(low, second));
  }
}
#endif

#if defined(__SSE2__)
// In the sprites that games blend, most pixels are fully transparent or fully
// opaque, and there modes 0..2 need no division. Four pairs at a time are
// sorted into those cases; a group with any other pair goes to the scalar
// kernel. Per pair, with a = As * opacity / 255:
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
// Every dividend by 255 is at most 65,025, so div255 is exact.

// The four pairs' a in 32-bit lanes, from As * opacity (at most 65,025).
inline __m128i effective_alpha(__m128i s, __m128i opacity) {
  return div255_epu16(_mm_mullo_epi16(_mm_srli_epi32(s, 24), opacity));
}

// Each of two pixels' 32-bit lane value spread over that pixel's four 16-bit
// lanes: lanes 0 and 1 of v (low) or lanes 2 and 3 (high).
inline __m128i spread_low(__m128i v) {
  const __m128i x = _mm_unpacklo_epi32(v, v);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(0, 0, 0, 0)),
                             _MM_SHUFFLE(0, 0, 0, 0));
}
inline __m128i spread_high(__m128i v) {
  const __m128i x = _mm_unpackhi_epi32(v, v);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(0, 0, 0, 0)),
                             _MM_SHUFFLE(0, 0, 0, 0));
}

// v where mask is set, else w.
inline __m128i select(__m128i mask, __m128i v, __m128i w) {
  return _mm_or_si128(_mm_and_si128(mask, v), _mm_andnot_si128(mask, w));
}

// Cs * a / 255 for the colors of four pixels, a given per pixel in 32-bit
// lanes; the alpha bytes come out as junk.
inline __m128i scale_colors(__m128i s, __m128i a) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = div255_epu16(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), spread_low(a)));
  const __m128i hi = div255_epu16(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), spread_high(a)));
  return _mm_packus_epi16(lo, hi);
}

// Four pairs of a run in mode 0, 1 or 2 where each pair is one of the cases
// above: writes them and returns true; otherwise writes nothing.
template <int32_t Mode>
inline bool blend_four_simple(uint8_t* d, const uint8_t* s, __m128i opacity) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi32(255);
  const __m128i colors = _mm_set1_epi32(0x00FFFFFF);
  const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
  const __m128i a = effective_alpha(sv, opacity);
  const __m128i ad = _mm_srli_epi32(dv, 24);
  const __m128i keep = _mm_cmpeq_epi32(a, zero);
  const __m128i clear_dst = _mm_cmpeq_epi32(ad, zero);
  const __m128i opaque_dst = _mm_cmpeq_epi32(ad, full);
  // Destination transparent: Cs (normal, add) or 0 (subtract), alpha a.
  const __m128i from_clear = _mm_or_si128(Mode == BLEND_SUBTRACT ? zero : _mm_and_si128(sv, colors),
                                          _mm_slli_epi32(a, 24));
  __m128i simple = _mm_or_si128(keep, clear_dst);
  __m128i from_opaque;
  if constexpr (Mode == BLEND_NORMAL) {
    const __m128i opaque_src = _mm_cmpeq_epi32(_mm_srli_epi32(sv, 24), full);
    // a = 255 (opaque source at full opacity) also has Wd = 0.
    simple = _mm_or_si128(simple, _mm_cmpeq_epi32(a, full));
    simple = _mm_or_si128(simple, _mm_and_si128(opaque_src, opaque_dst));
    if (_mm_movemask_epi8(simple) != 0xFFFF) return false;
    const __m128i cover = _mm_or_si128(clear_dst, _mm_cmpeq_epi32(a, full));
    const __m128i op16 = _mm_shufflelo_epi16(opacity, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128i op_lanes = _mm_unpacklo_epi64(op16, op16);  // opacity in every 16-bit lane
    const __m128i inv_lanes = _mm_sub_epi16(_mm_set1_epi16(255), op_lanes);
    const __m128i lo =
        div255_epu16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), op_lanes),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), inv_lanes)));
    const __m128i hi =
        div255_epu16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), op_lanes),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), inv_lanes)));
    const __m128i mixed = _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(~0x00FFFFFF));
    const __m128i covered = _mm_or_si128(_mm_and_si128(sv, colors), _mm_slli_epi32(a, 24));
    from_opaque = select(cover, covered, mixed);
  } else {
    simple = _mm_or_si128(simple, opaque_dst);
    if (_mm_movemask_epi8(simple) != 0xFFFF) return false;
    const __m128i scaled = _mm_and_si128(scale_colors(sv, a), colors);
    const __m128i moved = Mode == BLEND_ADD ? _mm_adds_epu8(dv, scaled) : _mm_subs_epu8(dv, scaled);
    from_opaque = _mm_or_si128(moved, _mm_set1_epi32(~0x00FFFFFF));
  }
  const __m128i out = select(keep, dv, select(clear_dst, from_clear, from_opaque));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), out);
  return true;
}
#endif

// A run of n pairs in mode 0, 1 or 2 (opacity 1..255).
template <int32_t Mode>
void blend_run_weighted(uint8_t* d, const uint8_t* s, int32_t n, int32_t opacity) {
  const size_t bytes = static_cast<size_t>(n) * kBytesPerPixel;
  size_t at = 0;
#if defined(__SSE2__)
  const __m128i op = _mm_set1_epi32(opacity);
  for (; at + 16 <= bytes; at += 16) {
    if (blend_four_simple<Mode>(d + at, s + at, op)) continue;
    for (size_t k = at; k < at + 16; k += kBytesPerPixel) blend_pixel(d + k, s + k, Mode, opacity);
  }
#endif
  for (; at < bytes; at += kBytesPerPixel) blend_pixel(d + at, s + at, Mode, opacity);
}

// A run of n pairs in one of modes 3..7, the destination's alpha becoming
// 255. Multiply, screen and overlay go four pairs at a time in the vector
// unit. Color dodge and burn divide by a different amount in every channel,
// so only four fully transparent sources at a time (Ps = 0) go there:
// dodge gives Pd * 255 / 255 = Pd and burn gives 0.
template <int32_t Mode>
void blend_run_premultiplied(uint8_t* d, const uint8_t* s, int32_t n) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; i + 4 <= n; i += 4) {
    const size_t at = static_cast<size_t>(i) * kBytesPerPixel;
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + at));
    __m128i out;
    if constexpr (Mode == BLEND_COLOR_DODGE || Mode == BLEND_COLOR_BURN) {
      const __m128i clear_src = _mm_cmpeq_epi32(_mm_and_si128(sv, opaque), zero);
      if (_mm_movemask_epi8(clear_src) != 0xFFFF) {
        for (size_t k = at; k < at + 16; k += kBytesPerPixel) blend_pixel(d + k, s + k, Mode, 0);
        continue;
      }
      if constexpr (Mode == BLEND_COLOR_DODGE) {
        const __m128i lo = _mm_unpacklo_epi8(dv, zero), hi = _mm_unpackhi_epi8(dv, zero);
        out = _mm_packus_epi16(div255_epu16(_mm_mullo_epi16(lo, alpha_lanes(lo))),
                               div255_epu16(_mm_mullo_epi16(hi, alpha_lanes(hi))));
      } else {
        out = zero;
      }
    } else {
      const __m128i lo =
          premultiplied_lanes<Mode>(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero));
      const __m128i hi =
          premultiplied_lanes<Mode>(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero));
      out = _mm_packus_epi16(lo, hi);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + at), _mm_or_si128(out, opaque));
  }
#endif
  for (; i < n; ++i) {
    const size_t at = static_cast<size_t>(i) * kBytesPerPixel;
    blend_pixel(d + at, s + at, Mode, 0);
  }
}

// A run of n pairs, pair k joining d + 4k with s + 4k, in `mode` (0..7).
// The mode is chosen once per run, not once per pixel.
void blend_run(uint8_t* d, const uint8_t* s, int32_t n, int32_t mode, int32_t opacity) {
  switch (mode) {
    case BLEND_NORMAL:
      blend_run_weighted<BLEND_NORMAL>(d, s, n, opacity);
      return;
    case BLEND_ADD:
      blend_run_weighted<BLEND_ADD>(d, s, n, opacity);
      return;
    case BLEND_SUBTRACT:
      blend_run_weighted<BLEND_SUBTRACT>(d, s, n, opacity);
      return;
    case BLEND_MULTIPLY:
      blend_run_premultiplied<BLEND_MULTIPLY>(d, s, n);
      return;
    case BLEND_SCREEN:
      blend_run_premultiplied<BLEND_SCREEN>(d, s, n);
      return;
    case BLEND_OVERLAY:
      blend_run_premultiplied<BLEND_OVERLAY>(d, s, n);
      return;
    case BLEND_COLOR_DODGE:
      blend_run_premultiplied<BLEND_COLOR_DODGE>(d, s, n);
      return;
    default:  // BLEND_COLOR_BURN
      blend_run_premultiplied<BLEND_COLOR_BURN>(d, s, n);
      return;
  }
}

// Whether no byte read as a source pixel of the area is also written as a
// destination pixel: then no pair sees another's result, and the pairs may
// be visited in any order. Buffers that share memory count as disjoint only
// in the case that can be decided exactly, one buffer of one width (the same
// bitmap as source and destination) whose two rectangles do not meet.
bool areas_disjoint(const BitmapView& dst, const BitmapView& src, const BlendArea& area) {
  const auto d0 = reinterpret_cast<uintptr_t>(dst.pixels);
  const auto s0 = reinterpret_cast<uintptr_t>(src.pixels);
  const uintptr_t d1 = d0 + static_cast<uintptr_t>(byte_size(dst));
  const uintptr_t s1 = s0 + static_cast<uintptr_t>(byte_size(src));
  if (d1 <= s0 || s1 <= d0) return true;
  if (d0 != s0 || dst.width != src.width) return false;
  // Stored rows are what the addresses follow: image row y is stored row
  // height - 1 - y, and the heights of the two views may differ.
  const int32_t d_top = dst.height - 1 - area.dst_y, s_top = src.height - 1 - area.src_y;
  const bool rows_apart = d_top < s_top - (area.height - 1) || s_top < d_top - (area.height - 1);
  const bool columns_apart =
      area.dst_x + area.width <= area.src_x || area.src_x + area.width <= area.dst_x;
  return rows_apart || columns_apart;
}

}  // namespace

void blend_area(const BitmapView& dst, const BitmapView& src, const BlendArea& area, int32_t mode,
                int32_t opacity) {
  // Rows are stored bottom-up: one row down the image is one stored row back.
  const size_t dst_stride = static_cast<size_t>(row_bytes(dst));
  const size_t src_stride = static_cast<size_t>(row_bytes(src));
  if (areas_disjoint(dst, src, area)) {
    // The order is not observable: walk the rows in memory order, from the
    // area's bottom row up, each row left to right.
    uint8_t* d = image_pixel(dst, area.dst_x, area.dst_y + area.height - 1);
    const uint8_t* s = image_pixel(src, area.src_x, area.src_y + area.height - 1);
    for (int32_t j = 0;;) {
      blend_run(d, s, area.width, mode, opacity);
      if (++j == area.height) break;  // no step past the area's top row
      d += dst_stride;
      s += src_stride;
    }
    return;
  }
  for (int32_t i = 0; i < area.width; ++i) {
    uint8_t* d = image_pixel(dst, area.dst_x + i, area.dst_y);
    const uint8_t* s = image_pixel(src, area.src_x + i, area.src_y);
    for (int32_t j = 0;;) {
      blend_pixel(d, s, mode, opacity);
      if (++j == area.height) break;  // no step past the area's bottom row
      d -= dst_stride;
      s -= src_stride;
    }
  }
}

void blend_blt(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
               int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height, int32_t mode,
               int32_t opacity) {
  BlendArea area;
  if (!clip_blend_area(dst, src, dst_x, dst_y, src_x, src_y, area_width, area_height, &area)) {
    return;
  }
  // A mode outside 0..7 changes no pixel, and neither does opacity 0 in
  // modes 0..2 (the source's weight is 0): the walk can be skipped.
  if (static_cast<uint32_t>(mode) > BLEND_OVERLAY) return;
  const int32_t clamped = std::clamp(opacity, 0, kOpacityMax);
  if (clamped == 0 && mode <= BLEND_SUBTRACT) return;
  blend_area(dst, src, area, mode, clamped);
}

}  // namespace vellora
