// Blend transfer: an area of one bitmap blended onto another, pair by pair,
// in the order written down (columns outer, each from the top row down).
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/blend_blt.h"  // the clip, which the speed work leaves as it is

namespace vellora::plain {

// Blends every pair of a nonempty clipped area: columns from the left (outer),
// each column from the top row down (inner). When source and destination are
// one bitmap and the rectangles overlap, a source pixel is read when its pair
// comes up, so this order decides the result. `opacity` must be in 0..255.
void blend_area(const BitmapView& dst, const BitmapView& src, const BlendArea& area, int32_t mode,
                int32_t opacity);

// The whole transfer on resolved bitmaps: the opacity is clamped to 0..255,
// the area clipped, and the pairs blended.
void blend_blt(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
               int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height, int32_t mode,
               int32_t opacity);

}  // namespace vellora::plain
