// Mosaic: a rectangular area, clipped to the bitmap, cut into a grid of blocks
// anchored at its clipped top-left corner; every pixel of a block becomes the
// block's alpha-weighted mean.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"

namespace vellora {

// x, y: the area's top-left pixel in image coordinates (either may be
// negative). An area_width or area_height of 0 or less, or an area wholly
// outside the view, changes nothing; block sizes below 1 act as 1. Blocks
// at the area's right and bottom edges are cut at that edge. Pixels outside
// the clipped area are neither read nor written. Blocks of any size have
// exact means: their sums are taken in 64 bits where 32 would not do.
void mosaic(const BitmapView& view, int32_t x, int32_t y, int32_t area_width, int32_t area_height,
            int32_t block_width, int32_t block_height, InstructionSet set = best_instruction_set());

}  // namespace vellora
