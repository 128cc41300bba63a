// Blend transfer: an area of one bitmap blended onto another, pair by pair.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"
#include "vellora.h"

namespace vellora {

// The area's pairs: the pair at offset (i, j) joins destination pixel
// (dst_x + i, dst_y + j) with source pixel (src_x + i, src_y + j), both
// inside their bitmaps, for 0 <= i < width and 0 <= j < height.
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

// The whole transfer on resolved bitmaps: the area is clipped against both
// (any 32-bit arguments), a mode outside 0..7 writes nothing, the opacity is
// clamped to 0..255, and the pairs are blended. When source and destination
// share memory and the rectangles overlap, a source pixel is read when its
// pair comes up, so the order decides the result (include/vellora.h states
// it). Otherwise the order is not observable, and the rows are walked in
// memory order.
//
// Before a pixel is touched, the rows that the clipped area covers are
// asked for (bitmap_view.h), the destination's and then the source's; the
// first status other than VELLORA_OK is returned with nothing touched. An
// area that clips to nothing asks for none.
template <typename DstRowsReady, typename SrcRowsReady>
int32_t blend_blt(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
                  int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height,
                  int32_t mode, int32_t opacity, const DstRowsReady& dst_rows_ready,
                  const SrcRowsReady& src_rows_ready, InstructionSet set = best_instruction_set()) {
  BlendArea area;
  if (!clip_blend_area(dst, src, dst_x, dst_y, src_x, src_y, area_width, area_height, &area)) {
    return VELLORA_OK;
  }
  int32_t status = dst_rows_ready(area.dst_y, area.height);
  if (status == VELLORA_OK) status = src_rows_ready(area.src_y, area.height);
  if (status == VELLORA_OK) blend_area(dst, src, area, mode, opacity, set);
  return status;
}

// The same on bitmaps whose memory the caller owns.
inline void blend_blt(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
                      int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height,
                      int32_t mode, int32_t opacity, InstructionSet set = best_instruction_set()) {
  blend_blt(dst, src, dst_x, dst_y, src_x, src_y, area_width, area_height, mode, opacity,
            RowsAlwaysReady{}, RowsAlwaysReady{}, set);
}

}  // namespace vellora
