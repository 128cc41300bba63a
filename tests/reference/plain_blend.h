// The eight blend modes: one source pixel combined into one destination pixel.
//
// Notation, per color channel: Cs, Cd the source's and destination's stored
// bytes, As, Ad their alphas, Cn the new destination byte. Every division
// truncates. The kernels are inline because the transfer calls them once per
// pixel pair in its inner loop.
#pragma once

#include <algorithm>
#include <cstdint>

#include "bitmap_view.h"
#include "vellora.h"

namespace vellora::plain {

inline constexpr int32_t kOpacityMax = 255;

// Every kernel reads both pixels whole before it writes, so the source and the
// destination may be the same pixel. `opacity` must lie in 0..255: outside it
// the weights below turn negative and modes 1 and 2 could divide by zero.

// Normal: the source laid over the destination with the opacity, on straight
// colors. Ws = As * opacity is the product itself (scale 255 * 255), a = Ws / 255,
// Wd = (255 - a) * Ad, L = Ws + Wd:
//   Cn = (Cs * Ws + Cd * Wd) / L        alpha = L / 255
// Cn is a weighted mean of two bytes, so it cannot exceed 255.
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
  const int32_t b = (src[kBlue] * ws + dst[kBlue] * wd) / l;
  const int32_t g = (src[kGreen] * ws + dst[kGreen] * wd) / l;
  const int32_t r = (src[kRed] * ws + dst[kRed] * wd) / l;
  dst[kBlue] = static_cast<uint8_t>(b);
  dst[kGreen] = static_cast<uint8_t>(g);
  dst[kRed] = static_cast<uint8_t>(r);
  dst[kAlpha] = static_cast<uint8_t>(l / 255);
}

// Add and subtract scale the color of the more transparent pixel by the ratio
// of the two alphas, a = As * opacity / 255 being the source's:
//   Ad = a: Cd op Cs      Ad > a: Cd op Cs * a / Ad      Ad < a: Cd * Ad / a op Cs
// The scaled term is truncated on its own before the sum.
inline int32_t scaled_dst(int32_t cd, int32_t ad, int32_t a) { return ad < a ? cd * ad / a : cd; }
inline int32_t scaled_src(int32_t cs, int32_t ad, int32_t a) { return ad > a ? cs * a / ad : cs; }

// Add: Cn = scaled Cd + scaled Cs, at most 255; alpha = max(Ad, a).
inline void blend_add(const uint8_t* src, uint8_t* dst, int32_t opacity) {
  const int32_t a = src[kAlpha] * opacity / 255;
  if (a == 0) return;
  const int32_t ad = dst[kAlpha];
  for (int c = kBlue; c <= kRed; ++c) {
    const int32_t cn = scaled_dst(dst[c], ad, a) + scaled_src(src[c], ad, a);
    dst[c] = static_cast<uint8_t>(std::min(cn, 255));
  }
  dst[kAlpha] = static_cast<uint8_t>(std::max(ad, a));
}

// Subtract: Cn = scaled Cd - scaled Cs, at least 0; alpha = max(Ad, a).
inline void blend_subtract(const uint8_t* src, uint8_t* dst, int32_t opacity) {
  const int32_t a = src[kAlpha] * opacity / 255;
  if (a == 0) return;
  const int32_t ad = dst[kAlpha];
  for (int c = kBlue; c <= kRed; ++c) {
    const int32_t cn = scaled_dst(dst[c], ad, a) - scaled_src(src[c], ad, a);
    dst[c] = static_cast<uint8_t>(std::max(cn, 0));
  }
  dst[kAlpha] = static_cast<uint8_t>(std::max(ad, a));
}

// Modes 3..7 work on premultiplied values, Ps = Cs * As / 255 and
// Pd = Cd * Ad / 255 (each in 0..255), and ignore the opacity.
inline int32_t blend_premultiplied(int32_t mode, int32_t ps, int32_t pd) {
  switch (mode) {
    case BLEND_MULTIPLY:  // Ps * Pd / 255
      return ps * pd / 255;
    case BLEND_COLOR_DODGE:  // Ps = 255: 255; else Pd * 255 / (255 - Ps), at most 255
      if (ps == 255) return 255;
      return std::min(pd * 255 / (255 - ps), 255);
    case BLEND_COLOR_BURN:  // Ps = 0: 0; else 255 - ((255 - Pd) * 255 / Ps), at least 0
      if (ps == 0) return 0;
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

}  // namespace vellora::plain
