// The seam between the operations and their kernels. An operation's walk
// (its clip, its rows, its order) is its own; the work on a run of pixels is a
// kernel, declared here once, in families (kernels/instruction_set.h), and
// defined for each tier that has its own version of the family:
//   kPlain  kernels/*_plain.cpp   plain C++, always built: the yardstick
//   kSse2   kernels/sse2.cpp      kernels/*_vector.h compiled for SSE2
//   kAvx2   kernels/avx2.cpp      kernels/*_vector.h compiled for AVX2
// The vector versions exist where VELLORA_VECTOR_KERNELS is set, give the
// plain version's bytes exactly, and hand their last pixels to it.
//
// Each family is a class template on the tier: Family<Set> is the tier's
// own (Family<Set, true>, declared here, defined in the tier's files) or,
// where the tier has none, derives from the next lower tier's, so a call
// such as ToneKernels<Set>::tone_pixels resolves at compile time to the
// nearest tier that has the kernel. Each walk is a template on the tier,
// picked through with_instruction_set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ops/kernels/blend_pixel.h"
#include "ops/kernels/instruction_set.h"

namespace vellora {

// ChangeTone's amounts after clamping, each -256..256, per stored channel.
struct ToneAmounts {
  int32_t blue;
  int32_t green;
  int32_t red;
};

template <InstructionSet Set, bool Own = has_own_kernels(Set, KernelFamily::kTone)>
struct ToneKernels : ToneKernels<next_lower_tier(Set)> {};
template <InstructionSet Set>
struct ToneKernels<Set, true> {
  // Every pixel of p[0 .. n) toned (alpha untouched); pixels of alpha 0 are
  // left whole when skip_transparent is set.
  static void tone_pixels(uint8_t* p, int32_t n, const ToneAmounts& amounts, bool skip_transparent);
  // Every color byte of p[0 .. n) complemented, alpha untouched.
  static void invert_pixels(uint8_t* p, int32_t n);
};

template <InstructionSet Set, bool Own = has_own_kernels(Set, KernelFamily::kClipMask)>
struct ClipMaskKernels : ClipMaskKernels<next_lower_tier(Set)> {};
template <InstructionSet Set>
struct ClipMaskKernels<Set, true> {
  // The alpha of each pixel of p[0 .. n) becomes m * alpha / 255, truncated,
  // with m the blue byte of the mask pixel at the same index.
  static void clip_alpha_by_mask(uint8_t* p, const uint8_t* mask, int32_t n);
  // The same with one m for every pixel, any int32_t: the low 8 bits of the
  // quotient are kept, the product taken in 64 bits.
  static void clip_alpha_by_value(uint8_t* p, int32_t m, int32_t n);
};

// A mosaic block: width x height pixels (at most kMosaicBlockPixelsMax32),
// its top row starting at `top` and each row down the image `row_back`
// bytes before the one above it (rows are stored bottom-up).
struct BlockRows {
  uint8_t* top;
  size_t row_back;
  int32_t width;
  int32_t height;
};

// The largest block whose weighted sums fit in 32 bits:
// 33,025 * 255 * 255 = 2,147,450,625 <= INT32_MAX.
inline constexpr int32_t kMosaicBlockPixelsMax32 = 33025;

template <InstructionSet Set, bool Own = has_own_kernels(Set, KernelFamily::kMosaic)>
struct MosaicKernels : MosaicKernels<next_lower_tier(Set)> {};
template <InstructionSet Set>
struct MosaicKernels<Set, true> {
  // sums = (sum B * A, sum G * A, sum R * A, sum A) over the block.
  static void sum_block(const BlockRows& block, uint32_t sums[4]);
  // Every pixel of the block set to `pixel` (its four bytes as stored).
  static void fill_block(const BlockRows& block, const uint8_t pixel[4]);
};

template <InstructionSet Set, bool Own = has_own_kernels(Set, KernelFamily::kBlend)>
struct BlendKernels : BlendKernels<next_lower_tier(Set)> {};
template <InstructionSet Set>
struct BlendKernels<Set, true> {
  // Pairs k = 0 .. n - 1 join destination d + 4k with source s + 4k (the two
  // runs equal or apart), blended in Mode with opacity 1..255 (not read by
  // modes that ignore it). Each tier instantiates it for every mode.
  template <BlendMode Mode>
  static void blend_pairs(uint8_t* d, const uint8_t* s, int32_t n, int32_t opacity);
};

// Instantiates tier SET's blend_pairs for every mode, in the file that
// defines it: the one list of the modes' runs.
static_assert(kBlendModeCount == 8, "add the new mode's run to VELLORA_BLEND_PAIRS_OF_EVERY_MODE");
#define VELLORA_BLEND_PAIRS_OF(SET, MODE)                                                          \
  template void BlendKernels<SET>::blend_pairs<BlendMode::MODE>(uint8_t*, const uint8_t*, int32_t, \
                                                                int32_t);
#define VELLORA_BLEND_PAIRS_OF_EVERY_MODE(SET) \
  VELLORA_BLEND_PAIRS_OF(SET, kNormal)         \
  VELLORA_BLEND_PAIRS_OF(SET, kAdd)            \
  VELLORA_BLEND_PAIRS_OF(SET, kSubtract)       \
  VELLORA_BLEND_PAIRS_OF(SET, kMultiply)       \
  VELLORA_BLEND_PAIRS_OF(SET, kColorDodge)     \
  VELLORA_BLEND_PAIRS_OF(SET, kColorBurn)      \
  VELLORA_BLEND_PAIRS_OF(SET, kScreen)         \
  VELLORA_BLEND_PAIRS_OF(SET, kOverlay)

// The blur's row pass reads a stored row of `width` pixels and writes, for
// each column c, the truncated alpha-weighted means (B, G, R, A) of the
// window of radius r around it to means + 4c. `multipliers` holds
// opaque_row_multiplier of each column's window count, readable for
// c < width + kBlurMultiplierPadding. `prefix` is scratch for the row's
// running sums, (width + 1) * 4 words, laid out as the tier's kernel keeps
// them.
inline constexpr int32_t kBlurMultiplierPadding = 4;
template <InstructionSet Set, bool Own = has_own_kernels(Set, KernelFamily::kBlurRows)>
struct BlurRowKernels : BlurRowKernels<next_lower_tier(Set)> {};
template <InstructionSet Set>
struct BlurRowKernels<Set, true> {
  // Whether every pixel of p[0 .. n) has alpha 255. Noise and sprites are
  // told at their first pixels.
  static bool pixels_opaque(const uint8_t* p, int32_t n);
  // The row pass over any row.
  static void weighted_row_means(const uint8_t* row, int32_t width, int32_t r,
                                 const uint32_t* multipliers, uint32_t* prefix, uint8_t* means);
  // The row pass over a row whose every pixel is opaque (pixels_opaque):
  // every window is opaque and every mean's alpha 255, and the colour means
  // are taken by the multipliers.
  static void opaque_row_means(const uint8_t* row, int32_t width, int32_t r,
                               const uint32_t* multipliers, uint32_t* prefix, uint8_t* means);
};

// The windows of one step of the blur's column pass: every column's window
// holds the same rows, `count` of them, and count_multiplier is
// opaque_row_multiplier of count. `opaque` when every row the step gives up
// or takes in or holds was opaque: then every mean alpha is 255, and the
// windows' means are taken by opaque_multiplier (opaque_column_multiplier of
// count).
struct BlurColumnWindows {
  uint32_t count;
  uint32_t count_multiplier;
  uint32_t opaque_multiplier;
  bool opaque;
};

template <InstructionSet Set, bool Own = has_own_kernels(Set, KernelFamily::kBlurColumns)>
struct BlurColumnKernels : BlurColumnKernels<next_lower_tier(Set)> {};
template <InstructionSet Set>
struct BlurColumnKernels<Set, true> {
  // One step of the column pass: each column's sums (B * A, G * A, R * A, A;
  // 4 words a column of `sums`, zeroed before the first step and laid out as
  // the tier's kernel keeps them) give up the row-pass means at `leaving` and
  // take in those at `entering` (either may be null: the step has no such
  // row); then, unless `out` is null (the rows before the first window),
  // `out` gets per column the truncated means of those sums over the
  // windows' samples.
  static void column_step(uint32_t* sums, const uint8_t* leaving, const uint8_t* entering,
                          int32_t width, const BlurColumnWindows& windows, uint8_t* out);
};

}  // namespace vellora
