// Blend transfer: an area of one bitmap blended onto another, pair by pair.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"

namespace vellora {

// The whole transfer on resolved bitmaps: the area is clipped against both
// (any 32-bit arguments), a mode outside 0..7 writes nothing, the opacity is
// clamped to 0..255, and the pairs are blended. When source and destination
// share memory and the rectangles overlap, a source pixel is read when its
// pair comes up, so the order decides the result: columns from the left
// (outer), each column from the top row down (inner). Otherwise the order is
// not observable, and the rows are walked in memory order.
void blend_blt(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
               int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height, int32_t mode,
               int32_t opacity, InstructionSet set = best_instruction_set());

// The same in two steps, for a caller that checks the memory of the pairs
// before they are visited: the area's pairs, then their blend. The pair at
// offset (i, j) joins destination pixel (dst_x + i, dst_y + j) with source
// pixel (src_x + i, src_y + j), both inside their bitmaps, for 0 <= i < width
// and 0 <= j < height.
struct BlendArea {
  int32_t dst_x;
  int32_t dst_y;
  int32_t src_x;
  int32_t src_y;
  int32_t width;
  int32_t height;
};

// Cuts the requested area down to the pairs whose two pixels both exist,
// keeping the pairing. Returns false when no pair is left; *area is then not
// written.
bool clip_blend_area(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
                     int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height,
                     BlendArea* area);

// Blends the pairs of a clipped area.
void blend_area(const BitmapView& dst, const BitmapView& src, const BlendArea& area, int32_t mode,
                int32_t opacity, InstructionSet set = best_instruction_set());

}  // namespace vellora
