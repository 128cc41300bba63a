#include <algorithm>

#include "reference/reference.h"

namespace reference {

namespace {

constexpr int B = 0, G = 1, R = 2, A = 3;

// Mode 0: Ws = As * opacity; a = Ws / 255; nothing happens when a = 0.
// Wd = (255 - a) * Ad. When Wd = 0 the destination takes the source's colors
// and alpha a; otherwise L = Ws + Wd, each color (Cs * Ws + Cd * Wd) / L, at
// most 255, and alpha L / 255.
void normal(uint8_t* dst, const uint8_t* src, int32_t opacity) {
  const int32_t ws = src[A] * opacity;
  const int32_t a = ws / 255;
  if (a == 0) return;
  const int32_t wd = (255 - a) * dst[A];
  if (wd == 0) {
    for (int c = B; c <= R; ++c) dst[c] = src[c];
    dst[A] = static_cast<uint8_t>(a);
    return;
  }
  const int32_t l = ws + wd;
  for (int c = B; c <= R; ++c) {
    dst[c] = static_cast<uint8_t>(std::min((src[c] * ws + dst[c] * wd) / l, 255));
  }
  dst[A] = static_cast<uint8_t>(l / 255);
}

// Modes 1 and 2: a = As * opacity / 255; nothing happens when a = 0. The
// color of the pixel with the lower alpha is scaled by the ratio of the
// alphas before the two are added or subtracted:
//   Ad = a: Cd op Cs;  Ad > a: Cd op Cs * a / Ad;  Ad < a: Cd * Ad / a op Cs.
// Add stops at 255, subtract at 0; alpha becomes a where Ad < a.
void add_or_subtract(uint8_t* dst, const uint8_t* src, int32_t opacity, bool add) {
  const int32_t a = src[A] * opacity / 255;
  if (a == 0) return;
  const int32_t ad = dst[A];
  for (int c = B; c <= R; ++c) {
    int32_t d = dst[c], s = src[c];
    if (ad > a) s = s * a / ad;
    if (ad < a) d = d * ad / a;
    dst[c] = static_cast<uint8_t>(add ? std::min(d + s, 255) : std::max(d - s, 0));
  }
  if (ad < a) dst[A] = static_cast<uint8_t>(a);
}

// Modes 3 to 7 on the premultiplied values Ps = Cs * As / 255 and
// Pd = Cd * Ad / 255.
int32_t premultiplied(int32_t mode, int32_t ps, int32_t pd) {
  switch (mode) {
    case 3:  // multiply
      return ps * pd / 255;
    case 4:  // color dodge
      return ps == 255 ? 255 : std::min(pd * 255 / (255 - ps), 255);
    case 5:  // color burn
      return ps == 0 ? 0 : std::max(255 - (255 - pd) * 255 / ps, 0);
    case 6:  // screen
      return 255 - (255 - ps) * (255 - pd) / 255;
    default:  // 7, overlay: the destination chooses the branch
      if (pd < 128) return 2 * ps * pd / 255;
      return std::min(2 * (ps + pd - ps * pd / 255) - 255, 255);
  }
}

}  // namespace

void blend_pixel(uint8_t* dst, const uint8_t* src, int32_t mode, int32_t opacity) {
  if (mode == 0) {
    normal(dst, src, opacity);
  } else if (mode == 1 || mode == 2) {
    add_or_subtract(dst, src, opacity, mode == 1);
  } else if (mode >= 3 && mode <= 7) {
    const uint8_t s[4] = {src[B], src[G], src[R], src[A]};
    for (int c = B; c <= R; ++c) {
      dst[c] = static_cast<uint8_t>(premultiplied(mode, s[c] * s[A] / 255, dst[c] * dst[A] / 255));
    }
    dst[A] = 255;
  }
}

void blend_blt(const Pixels& dst, const Pixels& src, int32_t dst_x, int32_t dst_y, int32_t src_x,
               int32_t src_y, int32_t area_width, int32_t area_height, int32_t mode,
               int32_t opacity) {
  opacity = std::clamp(opacity, 0, 255);
  // Pair (i, j) joins destination (dst_x + i, dst_y + j) with source
  // (src_x + i, src_y + j). Walking the destination's columns from the left
  // and its rows from the top visits the pairs in the order of i, then j.
  for (int64_t x = 0; x < dst.width; ++x) {
    const int64_t i = x - dst_x;
    if (i < 0 || i >= area_width) continue;
    for (int64_t y = 0; y < dst.height; ++y) {
      const int64_t j = y - dst_y;
      if (j < 0 || j >= area_height || !contains(src, src_x + i, src_y + j)) continue;
      blend_pixel(pixel(dst, x, y), pixel(src, src_x + i, src_y + j), mode, opacity);
    }
  }
}

}  // namespace reference
