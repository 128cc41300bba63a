// The eight blend modes: one source pixel combined into one destination
// pixel, each mode one function headed by its formula, and each mode's
// traits, which every formula that treats modes alike goes by.
//
// Notation, per color channel: Cs, Cd the source's and destination's stored
// bytes, As, Ad their alphas, Cn the new destination byte. Every division
// truncates. They are inline because the transfer's walks and the plain
// kernel call them once per pixel pair.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "bitmap_view.h"
#include "vellora.h"

namespace vellora {

inline constexpr int32_t kOpacityMax = 255;

// A blend mode that is one of the eight. Only blend_mode_of makes one from a
// caller's number, so nothing past it holds a mode out of range.
enum class BlendMode : int32_t {
  kNormal = BLEND_NORMAL,
  kAdd = BLEND_ADD,
  kSubtract = BLEND_SUBTRACT,
  kMultiply = BLEND_MULTIPLY,
  kColorDodge = BLEND_COLOR_DODGE,
  kColorBurn = BLEND_COLOR_BURN,
  kScreen = BLEND_SCREEN,
  kOverlay = BLEND_OVERLAY,
};
inline constexpr int32_t kBlendModeCount = BLEND_MODE_COUNT;
static_assert(static_cast<int32_t>(BlendMode::kOverlay) == kBlendModeCount - 1,
              "the modes are numbered 0 .. kBlendModeCount - 1");

// How a mode computes, which decides its formulas in every kernel:
//   kWeightedMean       straight colours weighted by alpha and opacity, divided
//                       by their total weight (normal)
//   kScaledSum          straight colours, the more transparent pixel's scaled by
//                       the alpha ratio, then added or subtracted (add, subtract)
//   kPremultipliedBy255 premultiplied colours, every division by 255 (multiply,
//                       screen, overlay)
//   kPremultipliedRatio premultiplied colours divided by an amount that varies
//                       from channel to channel (color dodge, color burn)
enum class BlendGroup { kWeightedMean, kScaledSum, kPremultipliedBy255, kPremultipliedRatio };

// Each mode's traits: one specialisation a mode, so that a new mode fails to
// compile until it has its row.
template <BlendMode>
struct BlendModeTraits;
template <>
struct BlendModeTraits<BlendMode::kNormal> {
  static constexpr BlendGroup kGroup = BlendGroup::kWeightedMean;
};
template <>
struct BlendModeTraits<BlendMode::kAdd> {
  static constexpr BlendGroup kGroup = BlendGroup::kScaledSum;
};
template <>
struct BlendModeTraits<BlendMode::kSubtract> {
  static constexpr BlendGroup kGroup = BlendGroup::kScaledSum;
};
template <>
struct BlendModeTraits<BlendMode::kMultiply> {
  static constexpr BlendGroup kGroup = BlendGroup::kPremultipliedBy255;
};
template <>
struct BlendModeTraits<BlendMode::kColorDodge> {
  static constexpr BlendGroup kGroup = BlendGroup::kPremultipliedRatio;
};
template <>
struct BlendModeTraits<BlendMode::kColorBurn> {
  static constexpr BlendGroup kGroup = BlendGroup::kPremultipliedRatio;
};
template <>
struct BlendModeTraits<BlendMode::kScreen> {
  static constexpr BlendGroup kGroup = BlendGroup::kPremultipliedBy255;
};
template <>
struct BlendModeTraits<BlendMode::kOverlay> {
  static constexpr BlendGroup kGroup = BlendGroup::kPremultipliedBy255;
};

template <BlendMode Mode>
inline constexpr BlendGroup kBlendGroup = BlendModeTraits<Mode>::kGroup;

// Modes that weigh straight colours (0..2) take the opacity; the
// premultiplied ones (3..7) ignore it.
template <BlendMode Mode>
inline constexpr bool kUsesOpacity =
    kBlendGroup<Mode> == BlendGroup::kWeightedMean || kBlendGroup<Mode> == BlendGroup::kScaledSum;

// For the static_assert that closes a chain of `if constexpr` over modes or
// groups: false, but only once the chain is instantiated for a case it misses.
template <auto>
inline constexpr bool kNoFormulaFor = false;

// The range rule: any number outside 0 .. kBlendModeCount - 1 (negative ones
// included) is no mode, and a blend in it writes nothing.
inline std::optional<BlendMode> blend_mode_of(int32_t mode) {
  if (static_cast<uint32_t>(mode) >= static_cast<uint32_t>(kBlendModeCount)) return std::nullopt;
  return static_cast<BlendMode>(mode);
}

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
// Pd = Cd * Ad / 255 (each in 0..255), one channel at a time.

// Multiply: Cn = Ps * Pd / 255
inline int32_t multiply_channel(int32_t ps, int32_t pd) { return ps * pd / 255; }

// Color dodge: Ps = 255: 255; else Cn = Pd * 255 / (255 - Ps), at most 255
inline int32_t color_dodge_channel(int32_t ps, int32_t pd) {
  if (ps == 255) return 255;
  if (ps == 0) return pd;  // Pd * 255 / 255
  return std::min(pd * 255 / (255 - ps), 255);
}

// Color burn: Ps = 0: 0; else Cn = 255 - ((255 - Pd) * 255 / Ps), at least 0
inline int32_t color_burn_channel(int32_t ps, int32_t pd) {
  if (ps == 0) return 0;
  if (ps == 255) return pd;  // 255 - (255 - Pd) * 255 / 255
  return std::max(255 - (255 - pd) * 255 / ps, 0);
}

// Screen: Cn = 255 - (255 - Ps) * (255 - Pd) / 255
inline int32_t screen_channel(int32_t ps, int32_t pd) {
  return 255 - (255 - ps) * (255 - pd) / 255;
}

// Overlay: Pd < 128: Cn = 2 * Ps * Pd / 255
//          else:     Cn = 2 * (Ps + Pd - Ps * Pd / 255) - 255, at most 255
// The destination picks the branch, channel by channel; 128 takes the second.
inline int32_t overlay_channel(int32_t ps, int32_t pd) {
  if (pd < 128) return 2 * ps * pd / 255;
  return std::min(2 * (ps + pd - ps * pd / 255) - 255, 255);
}

// The destination becomes opaque, even under a fully transparent source
// (Ps = 0), whatever the opacity.
template <BlendMode Mode>
inline void blend_premultiplied(const uint8_t* src, uint8_t* dst) {
  const int32_t as = src[kAlpha], ad = dst[kAlpha];
  for (int c = kBlue; c <= kRed; ++c) {
    const int32_t ps = src[c] * as / 255;
    const int32_t pd = dst[c] * ad / 255;
    int32_t cn;
    if constexpr (Mode == BlendMode::kMultiply) {
      cn = multiply_channel(ps, pd);
    } else if constexpr (Mode == BlendMode::kColorDodge) {
      cn = color_dodge_channel(ps, pd);
    } else if constexpr (Mode == BlendMode::kColorBurn) {
      cn = color_burn_channel(ps, pd);
    } else if constexpr (Mode == BlendMode::kScreen) {
      cn = screen_channel(ps, pd);
    } else if constexpr (Mode == BlendMode::kOverlay) {
      cn = overlay_channel(ps, pd);
    } else {
      static_assert(kNoFormulaFor<Mode>, "a premultiplied mode without its formula");
    }
    dst[c] = static_cast<uint8_t>(cn);
  }
  dst[kAlpha] = 255;
}

// One pair in `Mode`; `opacity` in 0..255 (read by modes 0..2 only).
template <BlendMode Mode>
inline void blend_pixel(uint8_t* dst, const uint8_t* src, int32_t opacity) {
  if constexpr (Mode == BlendMode::kNormal) {
    blend_normal(src, dst, opacity);
  } else if constexpr (Mode == BlendMode::kAdd) {
    blend_add(src, dst, opacity);
  } else if constexpr (Mode == BlendMode::kSubtract) {
    blend_subtract(src, dst, opacity);
  } else if constexpr (kBlendGroup<Mode> == BlendGroup::kPremultipliedBy255 ||
                       kBlendGroup<Mode> == BlendGroup::kPremultipliedRatio) {
    blend_premultiplied<Mode>(src, dst);
  } else {
    static_assert(kNoFormulaFor<Mode>, "a mode without its formula");
  }
}

template <BlendMode Mode>
using BlendModeTag = std::integral_constant<BlendMode, Mode>;

// Calls work(BlendModeTag<mode>{}): the one place where a mode becomes the
// compile-time one that the code of a walk and its kernels is made for. The
// switch names every enumerator, so a new mode is a warning (an error) here
// until it has its case.
template <typename Work>
void with_blend_mode(BlendMode mode, Work&& work) {
  switch (mode) {
    case BlendMode::kNormal:
      return work(BlendModeTag<BlendMode::kNormal>{});
    case BlendMode::kAdd:
      return work(BlendModeTag<BlendMode::kAdd>{});
    case BlendMode::kSubtract:
      return work(BlendModeTag<BlendMode::kSubtract>{});
    case BlendMode::kMultiply:
      return work(BlendModeTag<BlendMode::kMultiply>{});
    case BlendMode::kColorDodge:
      return work(BlendModeTag<BlendMode::kColorDodge>{});
    case BlendMode::kColorBurn:
      return work(BlendModeTag<BlendMode::kColorBurn>{});
    case BlendMode::kScreen:
      return work(BlendModeTag<BlendMode::kScreen>{});
    case BlendMode::kOverlay:
      return work(BlendModeTag<BlendMode::kOverlay>{});
  }
}

}  // namespace vellora
