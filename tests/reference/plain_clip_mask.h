// The mask clip as written down: column by column, top row first, one
// division per pixel.
#pragma once

#include <cstdint>

#include "bitmap_view.h"

namespace vellora::plain {

void clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value);

}  // namespace vellora::plain
