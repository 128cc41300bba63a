// The eight blend modes: one source pixel combined into one destination pixel.
//
// Notation, per color channel: Cs, Cd the source's and destination's stored
// bytes, As, Ad their alphas, Cn the new destination byte. Every division
// truncates. The kernels are inline because the transfer calls them once per
// pixel pair in its inner loop.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "bitmap_view.h"
#include "vellora.h"

namespace vellora {

inline constexpr int32_t kOpacityMax = 255;

// Every kernel reads both pixels whole before it writes, so the source and the
// destination may be the same pixel. `opacity` must lie in 0..255: outside it
// the weights below turn negative and modes 1 and 2 could divide by zero.

// Normal: the source laid over the destination with the opacity, on straight
// colors. Ws = As * opacity is the product itself (scale 255 * 255), a = Ws / 255,
// Wd = (255 - a) * Ad, L = Ws + Wd:
//   Cn = (Cs * Ws + Cd * Wd) / L        alpha = L / 255
// Cn is a weighted mean of two bytes, so it cannot exceed 255.
// Normal mode over an opaque destination (Ad = 255): with Ws = 255 a + k
// (0 <= k < 255), Wd = 255 (255 - a) and L = Ws + Wd = 65,025 + k, so the new
// alpha L / 255 is 255, and each color's N = Cs * Ws + Cd * Wd (at most
// 255 L) is divided by a number just above 65,025:
//   N / 65,025 - N / L = N k / (65,025 L) <= 255 k / 65,025 = k / 255 < 1
// So N / L is Q = N / 65,025 or Q - 1 (all truncated), Q - 1 exactly where
// Q L > N: a division by a constant and a check in place of one by L. Where
// k = 0 (opacity 255, or an opaque source) L = 65,025 and N / L =
// (Cs * a + Cd * (255 - a)) / 255, the common factor 255 cancelling: the
// vector kernels take that as one division by 255.
inline constexpr int32_t kOverOpaqueDivisor = 65025;
inline int32_t over_opaque_quotient(int32_t n, int32_t l) {
  const int32_t q = n / kOverOpaqueDivisor;
  return q - (q * l > n ? 1 : 0);
}

inline void blend_normal(const uint8_t* src, uint8_t* dst, int32_t opacity) {
  const int32_t ws = src[kAlpha] * opacity;
  if (ws < 255) return;  // a = 0: nothing of the source shows
  const int32_t a = ws / 255;
  const int32_t wd = (255 - a) * dst[kAlpha];
  if (wd == 0) {
    // L = Ws: the formula gives the source's colors and alpha a exactly.
    const uint8_t b = src[kBlue], g = src[kGreen], r = src[kRed];
    dst[kBlue] = b;
    dst[kGreen] = g;
    dst[kRed] = r;
    dst[kAlpha] = static_cast<uint8_t>(a);
    return;
  }
  const int32_t l = ws + wd;
  if (dst[kAlpha] == 255) {
    // Over an opaque destination the alpha stays 255 (over_opaque_quotient).
    for (int c = kBlue; c <= kRed; ++c) {
      dst[c] = static_cast<uint8_t>(over_opaque_quotient(src[c] * ws + dst[c] * wd, l));
    }
    return;
  }
  const int32_t nb = src[kBlue] * ws + dst[kBlue] * wd;
  const int32_t ng = src[kGreen] * ws + dst[kGreen] * wd;
  const int32_t nr = src[kRed] * ws + dst[kRed] * wd;
  dst[kBlue] = static_cast<uint8_t>(nb / l);
  dst[kGreen] = static_cast<uint8_t>(ng / l);
  dst[kRed] = static_cast<uint8_t>(nr / l);
  dst[kAlpha] = static_cast<uint8_t>(l / 255);
}

// Add and subtract scale the color of the more transparent pixel by the ratio
// of the two alphas, a = As * opacity / 255 being the source's:
//   Ad = a: Cd op Cs      Ad > a: Cd op Cs * a / Ad      Ad < a: Cd * Ad / a op Cs
// The scaled term is truncated on its own before the sum.
//
// All three colors at once: the pixel of lower alpha is scaled by lo / hi,
// lo = min(Ad, a) and hi = max(Ad, a) (at least 1, since a is). With
// Ad >= a that is Cs * a / Ad, which for Ad = a is Cs * a / a = Cs, the
// unscaled sum; else Cd * Ad / a. The scaled pixel is picked by selection
// rather than by a branch, which noise would mispredict. Cn is then clamped
// to 0..255: add cannot go below 0, nor subtract above 255.
template <typename Op>
inline void add_or_subtract(const uint8_t* src, uint8_t* dst, int32_t a, Op op) {
  const int32_t ad = dst[kAlpha];
  const bool src_scaled = ad >= a;
  const int32_t lo = src_scaled ? a : ad;
  const int32_t hi = src_scaled ? ad : a;
  int32_t cn[3];
  for (int c = kBlue; c <= kRed; ++c) {
    const int32_t cs = src[c], cd = dst[c];
    const int32_t scaled = (src_scaled ? cs : cd) * lo / hi;
    cn[c] = op(src_scaled ? cd : scaled, src_scaled ? scaled : cs);
  }
  for (int c = kBlue; c <= kRed; ++c) {
    dst[c] = static_cast<uint8_t>(std::clamp(cn[c], 0, 255));
  }
  dst[kAlpha] = static_cast<uint8_t>(std::max(ad, a));
}

// Add: Cn = scaled Cd + scaled Cs, at most 255; alpha = max(Ad, a).
inline void blend_add(const uint8_t* src, uint8_t* dst, int32_t opacity) {
  const int32_t a = src[kAlpha] * opacity / 255;
  if (a == 0) return;
  add_or_subtract(src, dst, a, [](int32_t d, int32_t s) { return d + s; });
}

// Subtract: Cn = scaled Cd - scaled Cs, at least 0; alpha = max(Ad, a).
inline void blend_subtract(const uint8_t* src, uint8_t* dst, int32_t opacity) {
  const int32_t a = src[kAlpha] * opacity / 255;
  if (a == 0) return;
  add_or_subtract(src, dst, a, [](int32_t d, int32_t s) { return d - s; });
}

// Modes 3..7 work on premultiplied values, Ps = Cs * As / 255 and
// Pd = Cd * Ad / 255 (each in 0..255), and ignore the opacity.
inline int32_t blend_premultiplied(int32_t mode, int32_t ps, int32_t pd) {
  switch (mode) {
    case BLEND_MULTIPLY:  // Ps * Pd / 255
      return ps * pd / 255;
    case BLEND_COLOR_DODGE:  // Ps = 255: 255; else Pd * 255 / (255 - Ps), at most 255
      if (ps == 255) return 255;
      if (ps == 0) return pd;  // Pd * 255 / 255
      return std::min(pd * 255 / (255 - ps), 255);
    case BLEND_COLOR_BURN:  // Ps = 0: 0; else 255 - ((255 - Pd) * 255 / Ps), at least 0
      if (ps == 0) return 0;
      if (ps == 255) return pd;  // 255 - (255 - Pd) * 255 / 255
      return std::max(255 - (255 - pd) * 255 / ps, 0);
    case BLEND_SCREEN:  // 255 - (255 - Ps) * (255 - Pd) / 255
      return 255 - (255 - ps) * (255 - pd) / 255;
    default:  // BLEND_OVERLAY; the destination picks the branch, 128 the second
      if (pd < 128) return 2 * ps * pd / 255;
      return std::min(2 * (ps + pd - ps * pd / 255) - 255, 255);
  }
}

// Writes dst in `mode` (BLEND_NORMAL ... BLEND_OVERLAY). The mode is taken as
// unsigned, so negative values and values above 7 leave dst unchanged.
inline void blend_pixel(uint8_t* dst, const uint8_t* src, int32_t mode, int32_t opacity) {
  switch (static_cast<uint32_t>(mode)) {
    case BLEND_NORMAL:
      blend_normal(src, dst, opacity);
      return;
    case BLEND_ADD:
      blend_add(src, dst, opacity);
      return;
    case BLEND_SUBTRACT:
      blend_subtract(src, dst, opacity);
      return;
    case BLEND_MULTIPLY:
    case BLEND_COLOR_DODGE:
    case BLEND_COLOR_BURN:
    case BLEND_SCREEN:
    case BLEND_OVERLAY: {
      // Even a fully transparent source takes part (as Ps = 0): the result is opaque.
      const int32_t as = src[kAlpha], ad = dst[kAlpha];
      for (int c = kBlue; c <= kRed; ++c) {
        const int32_t ps = src[c] * as / 255;
        const int32_t pd = dst[c] * ad / 255;
        dst[c] = static_cast<uint8_t>(blend_premultiplied(mode, ps, pd));
      }
      dst[kAlpha] = 255;
      return;
    }
    default:
      return;
  }
}

template <int32_t Mode>
using BlendModeTag = std::integral_constant<int32_t, Mode>;

// Calls work(BlendModeTag<mode>{}) for a mode in 0..7, so that a run of pairs
// picks its mode once and every pair's code is the mode's own.
template <typename Work>
void with_blend_mode(int32_t mode, Work&& work) {
  switch (mode) {
    case BLEND_NORMAL:
      return work(BlendModeTag<BLEND_NORMAL>{});
    case BLEND_ADD:
      return work(BlendModeTag<BLEND_ADD>{});
    case BLEND_SUBTRACT:
      return work(BlendModeTag<BLEND_SUBTRACT>{});
    case BLEND_MULTIPLY:
      return work(BlendModeTag<BLEND_MULTIPLY>{});
    case BLEND_COLOR_DODGE:
      return work(BlendModeTag<BLEND_COLOR_DODGE>{});
    case BLEND_COLOR_BURN:
      return work(BlendModeTag<BLEND_COLOR_BURN>{});
    case BLEND_SCREEN:
      return work(BlendModeTag<BLEND_SCREEN>{});
    default:
      return work(BlendModeTag<BLEND_OVERLAY>{});
  }
}

}  // namespace vellora
