// Tone shift and color inversion: whole-bitmap, per-pixel color changes that
// never touch alpha.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"

namespace vellora {

inline constexpr int32_t kToneAmountMax = 256;

// Each amount is clamped to -256..256; pixels of alpha 0 are left whole when
// skip_transparent is set. The buffer is one run of pixels: rows play no part.
void change_tone(const BitmapView& view, int32_t red, int32_t green, int32_t blue,
                 bool skip_transparent, InstructionSet set = best_instruction_set());

void invert_color(const BitmapView& view, InstructionSet set = best_instruction_set());

}  // namespace vellora
