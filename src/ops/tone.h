// Tone shift and color inversion: whole-bitmap, per-pixel color changes that
// never touch alpha.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/instruction_set.h"

namespace vellora {

inline constexpr int32_t kToneAmountMax = 256;

// One channel moved toward white (v > 0) or black (v < 0) on a scale of 256:
//   v > 0: ch + ((255 - ch) * v >> 8)      v < 0: ch * (v + 256) >> 8
// ch in 0..255, v in -256..256; the result stays in 0..255.
inline int32_t tone_channel(int32_t ch, int32_t v) {
  if (v > 0) return ch + (((255 - ch) * v) >> 8);
  if (v < 0) return (ch * (v + 256)) >> 8;
  return ch;
}

// Each amount is clamped to -256..256; pixels of alpha 0 are left whole when
// skip_transparent is set. The buffer is one run of pixels: rows play no part.
void change_tone(const BitmapView& view, int32_t red, int32_t green, int32_t blue,
                 bool skip_transparent, InstructionSet set = best_instruction_set());

void invert_color(const BitmapView& view, InstructionSet set = best_instruction_set());

}  // namespace vellora
